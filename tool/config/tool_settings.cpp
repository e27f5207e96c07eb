#include "tool/config/tool_settings.h"

#include <cstdio>

#include "common/net/udp_socket.h"

namespace kt::config {

ToolSettings ApplyReadRules(const StoredToolSettings& stored) {
  ToolSettings s;
  if (stored.adapter_mac && stored.adapter_mac->size() <= 17) s.adapter_mac = *stored.adapter_mac;
  if (stored.adapter_ip && stored.adapter_ip->size() <= 15 && net::ParseIpv4(*stored.adapter_ip)) {
    s.adapter_ip = *stored.adapter_ip;
  }
  if (stored.broadcast_port) s.broadcast_port = static_cast<uint16_t>(*stored.broadcast_port & 0xFFFF);
  if (stored.ask_for_adapter) s.ask_for_adapter = *stored.ask_for_adapter != 0;
  if (stored.graphical_ui) s.graphical_ui = *stored.graphical_ui != 0;
  return s;
}

uint32_t BindAddressOf(const ToolSettings& s) { return net::ParseIpv4(s.adapter_ip).value_or(0); }

SavedToolSettings ToStorage(const ToolSettings& s) {
  return {s.adapter_mac, s.adapter_ip, s.broadcast_port, s.ask_for_adapter ? 1u : 0u,
          s.graphical_ui ? 1u : 0u};
}

std::string FormatAdapterMac(const std::array<uint8_t, 6>& m) {
  char buf[18];
  std::snprintf(buf, sizeof buf, "%02X:%02X:%02X:%02X:%02X:%02X", m[0], m[1], m[2], m[3], m[4], m[5]);
  return buf;
}

AdapterChoice ChooseAdapterAtStartup(const std::vector<AdapterInfo>& adapters,
                                     const std::function<StoredToolSettings()>& load,
                                     bool first_window) {
  AdapterChoice choice;
  int ethernet = 0;
  for (const AdapterInfo& a : adapters) ethernet += IsListedAdapter(a) ? 1 : 0;
  if (ethernet == 0) return choice;  // storage is not read; defaults stay

  const StoredToolSettings stored = load();
  choice.loaded = true;
  choice.settings = ApplyReadRules(stored);
  ToolSettings& s = choice.settings;
  const bool may_ask = ethernet > 1 && s.ask_for_adapter && first_window;

  if (!stored.key_existed) {
    choice.ask_question = may_ask;
    return choice;
  }
  for (const AdapterInfo& a : adapters) {
    if (FormatAdapterMac(a.hardware_address) != s.adapter_mac) continue;
    bool listed = false;
    for (const std::string& ip : a.ipv4_addresses) listed = listed || ip == s.adapter_ip;
    if (!listed) s.adapter_ip = a.ipv4_addresses.empty() ? kDefaultAdapterIp : a.ipv4_addresses.back();
    return choice;
  }
  s.adapter_ip = kDefaultAdapterIp;
  s.adapter_mac = kDefaultAdapterMac;
  choice.ask_question = may_ask;
  return choice;
}

}  // namespace kt::config
