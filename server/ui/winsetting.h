// WINSETTING ("Setting"): the modal settings dialog. It is filled from the settings object; "&Simpan"
// checks the fields in order (first failure: error box, focus back into that field), saves the
// settings table and applies it: a new port needs a restart (notice, result 2), a new location
// reopens the database, templates and price level apply at once (result 1).
//
// exec() returns kClosed (0), kSaved (1) or kCloseApplication (2).
//
// Thread safety: window thread only.
#pragma once

#include <QDialog>
#include <QString>

#include <filesystem>
#include <functional>

#include "server/ui/prompts.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;

namespace kt {
class EventSink;
}  // namespace kt

namespace kt::data {
class GLOBALVARIABLE;
}  // namespace kt::data

namespace kt::ui {

class TemplatePreview;

class WINSETTING : public QDialog {
  Q_OBJECT

 public:
  enum Result { kClosed = 0, kSaved = 1, kCloseApplication = 2 };

  WINSETTING(std::filesystem::path workdir, data::GLOBALVARIABLE& globals, EventSink& sink,
             Prompts prompts, QWidget* parent = nullptr);

  // The folder chooser (caption, start folder) -> chosen folder or empty; replaceable in tests.
  std::function<QString(QWidget*, const QString&, const QString&)> chooseFolder;

  void BUTTONBROWSE();
  void BUTTONRESETDEFAULT();
  void BUTTONSIMPAN();
  void BUTTONTUTUPAPLIKASI() { done(kCloseApplication); }
  void BUTTONTUTUP() { done(kClosed); }

 protected:
  void reject() override { done(kClosed); }

 private:
  const std::filesystem::path workdir_;
  data::GLOBALVARIABLE& globals_;
  EventSink& sink_;
  Prompts prompts_;

  QLineEdit* location_ = nullptr;
  QLineEdit* port_ = nullptr;
  QComboBox* price_level_ = nullptr;
  QPlainTextEdit* connected_ = nullptr;
  QPlainTextEdit* scan_ok_ = nullptr;
  QPlainTextEdit* scan_failed_ = nullptr;
  TemplatePreview* preview_ = nullptr;  // the live display of the three templates
};

}  // namespace kt::ui
