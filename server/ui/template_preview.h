// TemplatePreview: the settings dialog's live preview of the three reply templates. It shows the
// display as a terminal would for the greeting (Connected), a found item (Scan OK) and a failed
// lookup (Scan Gagal), expanded from the template fields and redrawn at every change of a field.
//
// The found item is the item of the code typed into the preview's code field; else the first
// item of the open data folder that prices; else, without a database, a built-in sample with a
// 50-character name. The failure shows the typed code's lookup error, else "Kode tidak ketemu !"
// for a sample code. Where expansion sends template text as written, the place is underlined in
// the field and named in the note under it (noteLabel, placed by the dialog); saving is not
// affected. "Hex" shows the bytes of each stream.
//
// The preview owns a lookup object with its own work areas ("STOCKPRV", ...) and a silent sink:
// its lookups never reach the scan list nor share table positions with a session.
//
// Thread safety: window thread only.
#pragma once

#include <QWidget>

#include <array>
#include <memory>
#include <string>

#include "server/reply/expand.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace kt::data {
class GLOBALVARIABLE;
class ITEMPENJUAECERAN;
}  // namespace kt::data

namespace kt::ui {

class DisplayView;

class TemplatePreview : public QWidget {
  Q_OBJECT

 public:
  enum Template { kConnected = 0, kScanOk = 1, kScanFailed = 2 };
  static constexpr int kTemplates = 3;

  // The built-in item and code used when no database is open.
  static constexpr std::string_view kSampleName = "Minyak Goreng Kelapa Sawit Premium Refill 2 Liters";
  static constexpr std::string_view kSamplePrice = "32.500 / 1 PCS";
  static constexpr std::string_view kSampleCode = "8990000000000";

  // `globals` must outlive the preview. Looks for the first item that prices when a database is open.
  explicit TemplatePreview(data::GLOBALVARIABLE& globals, QWidget* parent = nullptr);
  ~TemplatePreview() override;

  // Follows `field` (its text is `which` template) from now on, and draws it at once.
  void attach(Template which, QPlainTextEdit* field);
  // The note naming the places `which` sends as written; hidden while there are none.
  QLabel* noteLabel(Template which) const { return parts_[which].note; }

  DisplayView* display(Template which) const { return parts_[which].display; }
  const std::string& stream(Template which) const { return parts_[which].stream; }
  const std::string& itemName() const { return item_.CNAMA; }

 private:
  struct Part {
    QPlainTextEdit* field = nullptr;
    DisplayView* display = nullptr;
    QPlainTextEdit* hex = nullptr;
    QLabel* note = nullptr;
    std::string stream;
  };

  void refresh(Template which);
  void refreshAll();
  void showHex(bool on);
  void useCode(const QString& code);  // the typed code, or the default item when empty
  void findFirstPricingItem();
  bool lookUp(const std::string& code);  // true and the item taken when it is found

  std::unique_ptr<data::ITEMPENJUAECERAN> lookup_;
  bool tables_open_ = false;
  reply::ItemTexts default_item_, item_;
  std::string default_price_, price_;
  std::string error_text_;

  QLineEdit* code_ = nullptr;
  QLabel* source_ = nullptr;
  QCheckBox* hex_toggle_ = nullptr;
  std::array<Part, kTemplates> parts_;
};

}  // namespace kt::ui
