#include "tool/ui/settings_store.h"

#include <QSettings>

namespace kt::ui {
namespace {

constexpr const char* kMac = "Adapter MacAddress";
constexpr const char* kIp = "Adapter IPAddress";
constexpr const char* kPort = "BroadcastPort";
constexpr const char* kAsk = "Ask for Adapter";
constexpr const char* kGraphical = "Graphical User Interface";

QSettings Open() { return QSettings(QSettings::NativeFormat, QSettings::UserScope, "Vistrand ID", "KX25 Config Tool"); }

std::optional<std::string> Text(const QSettings& s, const char* name) {
  const QVariant v = s.value(name);
  if (!v.isValid()) return std::nullopt;
  return v.toString().toStdString();
}

// A number that does not read as one counts as missing. The file format keeps no types, so
// numbers come back as text.
std::optional<uint32_t> Number(const QSettings& s, const char* name) {
  const QVariant v = s.value(name);
  if (!v.isValid()) return std::nullopt;
  bool ok = false;
  const uint value = v.toUInt(&ok);
  if (!ok) return std::nullopt;
  return value;
}

}  // namespace

config::StoredToolSettings QSettingsStore::Load() {
  const QSettings s = Open();
  config::StoredToolSettings out;
  out.key_existed = !s.childKeys().isEmpty();
  out.adapter_mac = Text(s, kMac);
  out.adapter_ip = Text(s, kIp);
  out.broadcast_port = Number(s, kPort);
  out.ask_for_adapter = Number(s, kAsk);
  out.graphical_ui = Number(s, kGraphical);
  return out;
}

void QSettingsStore::Save(const config::ToolSettings& settings) {
  QSettings s = Open();
  const config::SavedToolSettings v = config::ToStorage(settings);
  s.setValue(kMac, QString::fromStdString(v.adapter_mac));
  s.setValue(kIp, QString::fromStdString(v.adapter_ip));
  s.setValue(kPort, static_cast<quint32>(v.broadcast_port));
  s.setValue(kAsk, static_cast<quint32>(v.ask_for_adapter));
  s.setValue(kGraphical, static_cast<quint32>(v.graphical_ui));
  s.sync();
}

}  // namespace kt::ui
