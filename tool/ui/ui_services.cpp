#include "tool/ui/ui_services.h"

#include <QDialog>
#include <QMenu>

#include "tool/adapters/adapter_list.h"

namespace kt::ui {

UiServices DefaultServices() {
  static QSettingsStore store;
  UiServices s;
  s.run_modal = [](QDialog& d) { return d.exec(); };
  s.run_menu = [](QMenu& m, const QPoint& at) { return m.exec(at); };
  s.list_adapters = [] { return adapters::ListAdapters(); };
  s.broadcast_interfaces = [] { return adapters::BroadcastInterfaces(); };
  s.check_port = [](uint16_t port) { return adapters::CheckLocalPort(port); };
  s.settings = &store;
  return s;
}

}  // namespace kt::ui
