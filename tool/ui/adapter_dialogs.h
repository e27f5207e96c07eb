// The adapter question ("Multiple Network Adapters found...") and the adapter dialog ("Local
// Network Adapter(s)"). Both work on the tool settings in memory; the settings reach storage at
// the next save (Exit, mode toggle).
#pragma once

#include <QDialog>

#include <vector>

#include "tool/config/tool_settings.h"
#include "tool/ui/ui_services.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace kt::ui {

inline constexpr const char* kAdapterQuestionText =
    "There's more than one network adapter and/or IP Address in this computer.\n\n"
    "For security reasons, it could be necessary to select a specific\n"
    "local IP Address and Port to communicate with.\n\n"
    "Would you like to make this selection now?";

// Yes accepts, No rejects. Every click of "Don't ask this question again" sets "ask for adapter"
// to the opposite of the box at once, whichever button ends the dialog.
class AdapterQuestion : public QDialog {
  Q_OBJECT
 public:
  AdapterQuestion(config::ToolSettings& settings, QWidget* parent = nullptr);
  QCheckBox* dont_ask() const { return dont_ask_; }
  QPushButton* yes() const { return yes_; }
  QPushButton* no() const { return no_; }

 private:
  QCheckBox* dont_ask_;
  QPushButton* yes_;
  QPushButton* no_;
};

class AdapterDialog : public QDialog {
  Q_OBJECT
 public:
  AdapterDialog(config::ToolSettings& settings, UiServices& services, QWidget* parent = nullptr);

  QLineEdit* interface_name() const { return name_; }
  QLineEdit* mac() const { return mac_; }
  QComboBox* ip() const { return ip_; }
  QLineEdit* gateway() const { return gateway_; }
  QLineEdit* dhcp() const { return dhcp_; }
  QLineEdit* port() const { return port_; }
  QPushButton* next() const { return next_; }
  QPushButton* refresh() const { return refresh_; }
  QPushButton* ok() const { return ok_; }
  QPushButton* cancel() const { return cancel_; }

  // Fetches the list, fills the port and shows the stored adapter. Called by the constructor.
  void Open();

 private:
  void Fetch();
  // Shows the listed adapter at `index` with `preferred_ip` selected when it is one of its
  // addresses, else its last address.
  void Display(std::size_t index, const std::string& preferred_ip = {});
  void Next();
  void Refresh();
  void Accept();
  void Message(const QString& caption, const QString& text);

  config::ToolSettings& settings_;
  UiServices& services_;
  std::vector<config::AdapterInfo> adapters_;  // listed adapters only
  std::size_t shown_ = 0;

  QLineEdit* name_;
  QLineEdit* mac_;
  QComboBox* ip_;
  QLineEdit* gateway_;
  QLineEdit* dhcp_;
  QLineEdit* port_;
  QPushButton* next_;
  QPushButton* refresh_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

}  // namespace kt::ui
