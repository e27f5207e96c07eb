// The tool's five settings, the rules for reading them from storage, and the start-up adapter
// choice. Storage itself (registry / QSettings) belongs to the window; this file only decides.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kt::config {

inline constexpr const char* kDefaultAdapterMac = "00-00-00-00-00-00";
inline constexpr const char* kDefaultAdapterIp = "0.0.0.0";

struct ToolSettings {
  std::string adapter_mac = kDefaultAdapterMac;  // "%02X:%02X:..." once chosen in the dialog
  std::string adapter_ip = kDefaultAdapterIp;    // local address of every UDP socket
  uint16_t broadcast_port = 0;                   // local UDP port; 0 = system chooses
  bool ask_for_adapter = true;
  bool graphical_ui = true;
  bool operator==(const ToolSettings&) const = default;
};

// What storage held, value by value (nullopt = missing), and whether the key existed at all.
struct StoredToolSettings {
  bool key_existed = false;
  std::optional<std::string> adapter_mac;   // "Adapter MacAddress"
  std::optional<std::string> adapter_ip;    // "Adapter IPAddress"
  std::optional<uint32_t> broadcast_port;   // "BroadcastPort"
  std::optional<uint32_t> ask_for_adapter;  // "Ask for Adapter"
  std::optional<uint32_t> graphical_ui;     // "Graphical User Interface"
};

// Applies the read rules: a MAC text longer than 17 characters or missing gives the default; an
// IP text is taken when it is dotted IPv4 of at most 15 characters, else the default; the port
// keeps its low 16 bits; the two flags are true when non-zero or missing.
ToolSettings ApplyReadRules(const StoredToolSettings& stored);

// The values Save writes: (name, text) for the two strings and (name, number) for the rest.
struct SavedToolSettings {
  std::string adapter_mac, adapter_ip;
  uint32_t broadcast_port, ask_for_adapter, graphical_ui;
};
SavedToolSettings ToStorage(const ToolSettings& s);

// The local address every UDP socket binds to: the adapter IP text parsed as dotted IPv4;
// text that does not parse gives 0.0.0.0 (any local address).
uint32_t BindAddressOf(const ToolSettings& s);

// One network adapter as the system lists it.
struct AdapterInfo {
  std::string name;
  std::array<uint8_t, 6> hardware_address{};
  bool ethernet = false;
  // Wi-Fi adapters are listed beside Ethernet ones, so that a PC with Wi-Fi only finds terminals.
  bool wireless = false;
  std::vector<std::string> ipv4_addresses;  // dotted, in list order ("0.0.0.0" when none)
  std::string gateway;
  bool dhcp_enabled = false;
  std::string dhcp_server;
};

// Whether the adapter choice counts and shows the adapter: Ethernet or Wi-Fi.
inline bool IsListedAdapter(const AdapterInfo& a) { return a.ethernet || a.wireless; }

// "%02X:%02X:%02X:%02X:%02X:%02X" of an adapter's hardware address.
std::string FormatAdapterMac(const std::array<uint8_t, 6>& mac);

struct AdapterChoice {
  ToolSettings settings;
  bool loaded = false;        // storage was read
  bool ask_question = false;  // show "Multiple Network Adapters found..."
};

// The start-up adapter choice. `load` is called only when at least one listed adapter exists;
// `first_window` is false when the window is re-created after a mode toggle.
AdapterChoice ChooseAdapterAtStartup(const std::vector<AdapterInfo>& adapters,
                                     const std::function<StoredToolSettings()>& load,
                                     bool first_window);

}  // namespace kt::config
