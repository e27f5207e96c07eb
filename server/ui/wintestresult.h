// WINTESTRESULT ("Simple Test Result"): looks a code up at the server PC without a terminal.
// Typed characters (upper-cased) collect in the code buffer, Enter looks it up exactly as a
// terminal's code, Backspace drops the last character, Delete empties the buffer; Ctrl+V looks
// up the clipboard text after its leading "1" (other texts are ignored). The three labels show
// the code, the item name and the price text of the reply's "{hargajual}".
//
// The window owns its lookup object, with work areas named "STOCKTST", "PELANGTST", ... so its
// tables never share positions with a terminal session. Lookup errors go to the scan list.
//
// Thread safety: window thread only.
#pragma once

#include <QDialog>
#include <QString>

#include <memory>

class QLabel;

namespace kt {
class EventSink;
}  // namespace kt

namespace kt::data {
class GLOBALVARIABLE;
class ITEMPENJUAECERAN;
}  // namespace kt::data

namespace kt::ui {

class WINTESTRESULT : public QDialog {
  Q_OBJECT

 public:
  // `globals` and `sink` must outlive the window. Opens the window's tables once (DBSUBOPEN).
  WINTESTRESULT(data::GLOBALVARIABLE& globals, EventSink& sink, QWidget* parent = nullptr);
  ~WINTESTRESULT() override;

  void SetBarcode(const QString& text);  // BARCODE := text: shows it, resets name and price
  const QString& BARCODE() const { return barcode_; }
  void BARCODEREAD(QChar key);
  void CHECKBARCODEEX();
  void SHOWDATA();
  void Paste();

  QString codeText() const;
  QString nameText() const;
  QString priceText() const;
  data::ITEMPENJUAECERAN& lookup() { return *lookup_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  std::unique_ptr<data::ITEMPENJUAECERAN> lookup_;
  QString barcode_;
  QLabel* code_ = nullptr;   // 100
  QLabel* name_ = nullptr;   // 101
  QLabel* price_ = nullptr;  // 102
};

}  // namespace kt::ui
