#include "tool/config/tool_settings.h"

#include <gtest/gtest.h>

namespace kt::config {
namespace {

TEST(ToolSettings, DefaultsAndReadRules) {
  EXPECT_EQ(ApplyReadRules({}), ToolSettings{});
  const ToolSettings d;
  EXPECT_EQ(d.adapter_mac, "00-00-00-00-00-00");
  EXPECT_EQ(d.adapter_ip, "0.0.0.0");
  EXPECT_EQ(d.broadcast_port, 0);
  EXPECT_TRUE(d.ask_for_adapter);
  EXPECT_TRUE(d.graphical_ui);

  StoredToolSettings s;
  s.key_existed = true;
  s.adapter_mac = "02:FC:00:00:00:01";
  s.adapter_ip = "192.168.100.200";  // 15 characters, kept
  s.broadcast_port = 0x12345;        // low 16 bits
  s.ask_for_adapter = 0;
  s.graphical_ui = 7;
  const ToolSettings t = ApplyReadRules(s);
  EXPECT_EQ(t.adapter_mac, "02:FC:00:00:00:01");
  EXPECT_EQ(t.adapter_ip, "192.168.100.200");
  EXPECT_EQ(t.broadcast_port, 0x2345);
  EXPECT_FALSE(t.ask_for_adapter);
  EXPECT_TRUE(t.graphical_ui);

  s.adapter_mac = "02:FC:00:00:00:01:FF";  // longer than 17
  s.adapter_ip = "not an address";
  const ToolSettings u = ApplyReadRules(s);
  EXPECT_EQ(u.adapter_mac, "00-00-00-00-00-00");
  EXPECT_EQ(u.adapter_ip, "0.0.0.0");

  EXPECT_EQ(BindAddressOf(t), 0xC0A864C8u);
  EXPECT_EQ(BindAddressOf(u), 0u);

  const SavedToolSettings saved = ToStorage(t);
  EXPECT_EQ(saved.broadcast_port, 0x2345u);
  EXPECT_EQ(saved.ask_for_adapter, 0u);
  EXPECT_EQ(saved.graphical_ui, 1u);
}

AdapterInfo Adapter(uint8_t last, bool ethernet, std::vector<std::string> ips) {
  AdapterInfo a;
  a.name = "eth" + std::to_string(last);
  a.hardware_address = {0x02, 0xFC, 0, 0, 0, last};
  a.ethernet = ethernet;
  a.ipv4_addresses = std::move(ips);
  return a;
}

struct ChoiceCase {
  const char* what;
  std::vector<AdapterInfo> adapters;
  StoredToolSettings stored;
  bool first_window;
  bool expect_loaded;
  bool expect_question;
  std::string expect_ip;
  std::string expect_mac;
};

StoredToolSettings Stored(std::string mac, std::string ip, uint32_t ask = 1) {
  StoredToolSettings s;
  s.key_existed = true;
  s.adapter_mac = std::move(mac);
  s.adapter_ip = std::move(ip);
  s.ask_for_adapter = ask;
  return s;
}

TEST(AdapterChoice, StartUpRules) {
  const AdapterInfo a1 = Adapter(1, true, {"10.0.0.5", "10.0.0.6"});
  const AdapterInfo a2 = Adapter(2, true, {"192.168.1.9"});
  const AdapterInfo wifi = Adapter(3, false, {"172.16.0.2"});
  const ChoiceCase cases[] = {
      {"no ethernet adapter: storage not read", {wifi}, Stored("02:FC:00:00:00:03", "172.16.0.2"), true,
       false, false, "0.0.0.0", "00-00-00-00-00-00"},
      {"one adapter, no key: no question", {a1}, {}, true, true, false, "0.0.0.0", "00-00-00-00-00-00"},
      {"two adapters, no key: question at the first window", {a1, a2}, {}, true, true, true, "0.0.0.0",
       "00-00-00-00-00-00"},
      {"two adapters, no key, window re-created: no question", {a1, a2}, {}, false, true, false, "0.0.0.0",
       "00-00-00-00-00-00"},
      {"stored adapter and address found", {a1, a2}, Stored("02:FC:00:00:00:01", "10.0.0.5"), true, true,
       false, "10.0.0.5", "02:FC:00:00:00:01"},
      {"stored address gone: adapter's last address", {a1, a2}, Stored("02:FC:00:00:00:01", "10.0.0.99"),
       true, true, false, "10.0.0.6", "02:FC:00:00:00:01"},
      {"stored adapter removed: reset and ask", {a1, a2}, Stored("02:FC:00:00:00:09", "10.9.9.9"), true,
       true, true, "0.0.0.0", "00-00-00-00-00-00"},
      {"stored adapter removed, asking switched off", {a1, a2}, Stored("02:FC:00:00:00:09", "10.9.9.9", 0),
       true, true, false, "0.0.0.0", "00-00-00-00-00-00"},
      {"stored adapter removed, only one ethernet adapter", {a1, wifi},
       Stored("02:FC:00:00:00:09", "10.9.9.9"), true, true, false, "0.0.0.0", "00-00-00-00-00-00"},
  };
  for (const ChoiceCase& k : cases) {
    bool load_called = false;
    const AdapterChoice c = ChooseAdapterAtStartup(
        k.adapters, [&] { load_called = true; return k.stored; }, k.first_window);
    EXPECT_EQ(c.loaded, k.expect_loaded) << k.what;
    EXPECT_EQ(load_called, k.expect_loaded) << k.what;
    EXPECT_EQ(c.ask_question, k.expect_question) << k.what;
    EXPECT_EQ(c.settings.adapter_ip, k.expect_ip) << k.what;
    EXPECT_EQ(c.settings.adapter_mac, k.expect_mac) << k.what;
  }
}

TEST(AdapterChoice, WirelessAdaptersCountLikeEthernet) {
  AdapterInfo wifi = Adapter(3, false, {"172.16.0.2"});
  wifi.wireless = true;
  const AdapterInfo a1 = Adapter(1, true, {"10.0.0.5"});
  // A PC with Wi-Fi only still reads its settings and keeps the stored adapter.
  AdapterChoice c = ChooseAdapterAtStartup({wifi}, [] { return Stored("02:FC:00:00:00:03", "172.16.0.2"); }, true);
  EXPECT_TRUE(c.loaded);
  EXPECT_EQ(c.settings.adapter_ip, "172.16.0.2");
  // One Ethernet and one Wi-Fi adapter are two adapters: the question is asked.
  c = ChooseAdapterAtStartup({a1, wifi}, [] { return StoredToolSettings{}; }, true);
  EXPECT_TRUE(c.ask_question);
}

}  // namespace
}  // namespace kt::config
