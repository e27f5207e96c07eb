// "Configure selected Corvane": the information panel about one terminal, its property pages,
// the settings-file and clone buttons and "Undo all" / "Apply now" / "Exit".
//
// The dialog only shows and collects values. It ends Accepted from "Apply now" once the page
// values pass the page rules and the configuration holds every extension record the terminal
// has (a configuration whose wireless record was not read offers no "Apply now" at all); the
// caller then runs the apply sequence with applied().
#pragma once

#include <QDialog>

#include <filesystem>
#include <functional>

#include "tool/config/configuration.h"
#include "tool/config/page_rules.h"
#include "tool/config/settings_file.h"
#include "tool/ui/config_pages.h"
#include "tool/ui/ui_services.h"

class QAbstractButton;
class QLabel;
class QTabWidget;

namespace kt::ui {

inline constexpr const char* kPasteAllTip =
    "Paste All has no function here. To configure a fleet of terminals from one settings file, "
    "use: kx25ctl apply --all FILE";

struct ConfigDialogOptions {
  bool rs232_word = false;         // the tool was started with "RS232"
  bool retail_chain_word = false;  // the tool was started with "MARLO"
  std::filesystem::path clone_file;  // where "Clone" writes and "Paste" reads
  bool clone_present = false;        // a clone was taken since the last scan
  // Called after a successful "Clone" (the main window marks the terminal's line).
  std::function<void()> on_clone;
};

class ConfigDialog : public QDialog {
  Q_OBJECT
 public:
  ConfigDialog(const config::Configuration& read, ConfigDialogOptions options, UiServices& services,
               QWidget* parent = nullptr);

  // The configuration as the pages show it now.
  config::Configuration PageValues() const;
  // What "Apply now" accepted.
  const config::Configuration& applied() const { return applied_; }
  const config::DialogPages& pages() const { return pages_; }

  void UndoAll();
  void ApplyNow();
  void Clone();
  void Paste();
  void SaveToFile();
  void LoadFromFile();

  QTabWidget* tabs() const { return tabs_; }
  NetworkPage* network() const { return network_; }
  WirelessPage* wireless() const { return wireless_; }
  MessagesPage* messages() const { return messages_; }
  Rs232Page* rs232() const { return rs232_; }
  MiscPage* misc() const { return misc_; }
  ActivationPage* activation() const { return activation_; }
  SpecificsPage* specifics() const { return specifics_; }
  QAbstractButton* clone_button() const { return clone_; }
  QAbstractButton* paste_button() const { return paste_; }
  QAbstractButton* paste_all_button() const { return paste_all_; }
  QAbstractButton* save_button() const { return save_; }
  QAbstractButton* load_button() const { return load_; }
  QAbstractButton* undo_button() const { return undo_; }
  QAbstractButton* apply_button() const { return apply_; }
  QAbstractButton* exit_button() const { return exit_; }
  QLabel* info(const char* name) const;

 private:
  QWidget* BuildInfoPanel();
  void Fill(const config::Configuration& c);
  void Box(const QString& caption, const std::string& text);
  // Loads a settings file into the pages; shows why when it cannot.
  void LoadInto(const std::filesystem::path& file);
  // Why the page values cannot go into a file (an extension record was not read); empty if they can.
  std::string WhyNotStorable() const;
  config::PageSet FilePages() const { return config::PageSet{pages_.rs232, pages_.specifics}; }

  const config::Configuration read_;
  config::Configuration shown_;  // the values the pages were last filled with
  config::Configuration applied_;
  ConfigDialogOptions options_;
  UiServices& services_;
  config::DialogPages pages_;
  std::vector<ConfigPage*> all_pages_;

  QTabWidget* tabs_ = nullptr;
  NetworkPage* network_ = nullptr;
  WirelessPage* wireless_ = nullptr;
  MessagesPage* messages_ = nullptr;
  Rs232Page* rs232_ = nullptr;
  MiscPage* misc_ = nullptr;
  ActivationPage* activation_ = nullptr;
  SpecificsPage* specifics_ = nullptr;
  QAbstractButton *clone_ = nullptr, *paste_ = nullptr, *paste_all_ = nullptr, *save_ = nullptr, *load_ = nullptr;
  QAbstractButton *undo_ = nullptr, *apply_ = nullptr, *exit_ = nullptr;
};

// The device picture of the information panel, drawn by the tool.
QPixmap DevicePicture(int width);

}  // namespace kt::ui
