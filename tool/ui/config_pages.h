// The property pages of the configuration dialog. Each page shows part of a configuration
// (Fill) and writes what the user set back into one (Store); the rules behind the controls
// (limits, choices per firmware) come from tool/config/page_rules.h.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QValidator>
#include <QWidget>

#include <array>
#include <functional>
#include <span>

#include "tool/config/configuration.h"
#include "tool/config/wireless_record.h"

class QCheckBox;
class QFormLayout;
class QLabel;
class QRadioButton;
class QSpinBox;

namespace kt::ui {

// Accepts text whose encoding takes at most `max` bytes in a code page (1252 or UTF-8), so a limit
// counts what the terminal stores, not characters.
class EncodedBytesValidator : public QValidator {
 public:
  // `codepage` < 0: the ANSI code page whatever the terminal uses (wireless texts).
  EncodedBytesValidator(std::size_t max, int codepage, QObject* parent);
  State validate(QString& input, int& pos) const override;
  void SetCodepage(int codepage) { codepage_ = codepage; }
  void SetLimit(std::size_t max, int codepage) {
    max_ = max;
    codepage_ = codepage;
  }

 private:
  std::size_t max_;
  int codepage_;
};

// Shows a warning box ("caption", "text") on behalf of a page.
using PageWarning = std::function<void(const QString& caption, const QString& text)>;

class ConfigPage : public QWidget {
  Q_OBJECT
 public:
  using QWidget::QWidget;
  virtual void Fill(const config::Configuration& c) = 0;
  virtual void Store(config::Configuration& c) const = 0;
};

class NetworkPage : public ConfigPage {
  Q_OBJECT
 public:
  explicit NetworkPage(QWidget* parent = nullptr);
  void Fill(const config::Configuration& c) override;
  void Store(config::Configuration& c) const override;

  QLineEdit *ip, *mask, *gateway, *remote;
  QCheckBox* dhcp;
  QRadioButton *udp, *tcp, *client, *server;
  QSpinBox *udp_port, *tcp_port;
  QLabel* tcp_port_label;

 private:
  void UpdateRules();
  bool fixed_udp_ = false;
};

class WirelessPage : public ConfigPage {
  Q_OBJECT
 public:
  WirelessPage(PageWarning warn, QWidget* parent = nullptr);
  void Fill(const config::Configuration& c) override;
  void Store(config::Configuration& c) const override;

  QLineEdit *ssid, *wep_key, *psk, *eap_user, *eap_password;
  QComboBox *mode, *channel, *mode_80211, *tx_rate, *channel_width, *streams, *security, *auth, *wpa_mode,
      *cipher, *eap_type, *inner_auth, *wlan_mac;
  QCheckBox* auto_channel;
  QRadioButton *wep64, *wep128;

 private:
  void UpdateRows();
  void OwnMacChosen();
  PageWarning warn_;
  QFormLayout* form_ = nullptr;
  int firmware_ = 0;
  bool filling_ = false;
};

class MessagesPage : public ConfigPage {
  Q_OBJECT
 public:
  explicit MessagesPage(QWidget* parent = nullptr);
  void Fill(const config::Configuration& c) override;
  void Store(config::Configuration& c) const override;

  struct Row {
    QLineEdit* text;
    QSpinBox *x, *y;
    QComboBox *vertical, *horizontal, *font;
    EncodedBytesValidator* limit;
  };
  std::array<Row, config::kLineCount> rows{};

 private:
  config::Configuration shown_;  // what Fill showed: a line left as shown keeps what it lacked
};

class Rs232Page : public ConfigPage {
  Q_OBJECT
 public:
  explicit Rs232Page(QWidget* parent = nullptr);
  void Fill(const config::Configuration& c) override;
  void Store(config::Configuration& c) const override;

  struct Port {
    QRadioButton *b9600, *b19200, *xon, *none;
  };
  Port port1{}, port2{};
};

class MiscPage : public ConfigPage {
  Q_OBJECT
 public:
  explicit MiscPage(QWidget* parent = nullptr);
  void Fill(const config::Configuration& c) override;
  void Store(config::Configuration& c) const override;

  QLineEdit* name;
  EncodedBytesValidator* name_limit;
  QCheckBox *rotate, *invert, *disable_beep;
  QComboBox *direction, *idle_screen, *speed, *scan_interval, *volume, *codepage;
  QSpinBox *display_seconds, *host_wait;
};

class ActivationPage : public ConfigPage {
  Q_OBJECT
 public:
  explicit ActivationPage(QWidget* parent = nullptr);
  void Fill(const config::Configuration& c) override;
  void Store(config::Configuration& c) const override;
  QCheckBox* activate;
};

class SpecificsPage : public ConfigPage {
  Q_OBJECT
 public:
  explicit SpecificsPage(QWidget* parent = nullptr);
  void Fill(const config::Configuration& c) override;
  void Store(config::Configuration& c) const override;
  QSpinBox *pos_station, *mfs_station;
  QLineEdit* currency;
  EncodedBytesValidator* currency_limit;
  QComboBox *position, *decimals, *round_off;
};

// Selects the item holding `value`; a value outside the list gets an item of its own ("(N)") so it
// is shown and kept as read.
void SelectValue(QComboBox* box, uint32_t value);
// Fills a list with (name, value) entries.
void SetEntries(QComboBox* box, std::span<const config::ListEntry> entries);
uint32_t ValueOf(const QComboBox* box);

}  // namespace kt::ui
