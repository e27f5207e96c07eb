#include "tool/config/settings_file.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "tool/config/archive.h"
#include "tool/config/wireless_record.h"

namespace kt::config {
namespace {

// Hand-written archive pieces for the expected files.
class Bytes {
 public:
  Bytes& I(int32_t v) {
    for (int i = 0; i < 4; ++i) b_.push_back(std::byte(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i))));
    return *this;
  }
  Bytes& B(uint8_t v) {
    b_.push_back(std::byte{v});
    return *this;
  }
  Bytes& W(uint16_t v) { return B(v & 0xFF).B(v >> 8); }
  Bytes& S(const std::u16string& s) {
    B(0xFF).W(0xFFFE).B(static_cast<uint8_t>(s.size()));
    for (char16_t c : s) W(c);
    return *this;
  }
  const std::vector<std::byte>& get() const { return b_; }

 private:
  std::vector<std::byte> b_;
};

Configuration Sample() {
  Configuration c;
  c.version = 2;
  c.firmware_version = "03.10";
  c.ip_address = 0x0A000005;
  c.subnet_mask = 0xFFFFFF00;
  c.gateway = 0x0A000001;
  c.remote_ip = 0x0A000002;
  c.udp_port = 10010;
  c.tcp_port = 9101;
  c.dhcp = true;
  c.tcp_server = false;
  c.udp = false;
  WirelessSettings& w = c.wireless;
  w.channel = 6;
  w.wpa_psk = true;
  w.ssid = "shop";
  w.wep_key = {0xAB, 0xCD};
  w.adhoc = false;
  w.shared_auth = true;
  w.own_mac = true;
  w.wep128 = true;
  w.auto_channel = false;
  w.tx_rate = 11;  // "54 [108]", list index 17
  w.channel_width = 1;
  w.stream_mask = 0x7F00;
  w.wpa_mode = 2;
  w.cipher = 3;
  w.psk = "pass";
  w.eap_type = 25;
  w.inner_auth = 4;
  w.eap_user = "u";
  w.eap_password = "p";
  const char* texts[] = {"I1", "I2", "I3", "E1", "E2", "Off"};
  for (int i = 0; i < kLineCount; ++i) {
    c.lines[i] = {texts[i], static_cast<uint8_t>(i == kIdle2 ? 1 : 0), static_cast<uint8_t>(10 + i),
                  static_cast<uint8_t>(30 + i), {1 + i % 3, 3 - i % 3}};
  }
  c.port1 = {19200, true};
  c.port2 = {9600, false};
  c.device_name = "Caf\xC3\xA9";
  c.invert = true;
  c.rotate = false;
  c.disable_beep = true;
  c.right_to_left = false;
  c.idle_gif = true;
  c.scan_interval = 75;
  c.speed_step = 4;
  c.volume_percent = 70;
  c.display_seconds = 3;
  c.host_wait_seconds = 5;
  c.codepage = 9;
  return c;
}

TEST(SettingsFile, EncodingIsByteExact) {
  Bytes e;
  e.S(u"SETTINGSKX25II").I(4004);
  // Network.
  e.S(u"PROP1_101").I(0x0A000005).I(static_cast<int32_t>(0xFFFFFF00)).I(0x0A000001).I(0x0A000002);
  e.I(10010).I(9101).I(1).I(0).I(1);
  // Wireless.
  e.S(u"PROP2_101").I(5).I(2).S(u"shop").S(u"ABCD0000000000000000000000");
  e.I(0).I(1).I(1).I(1).I(0).I(17).I(1).I(0x7F00).B(1).B(2).S(u"pass").B(25).B(4).S(u"u").S(u"p");
  // Messages: vertical, horizontal (idle 1-3, error 1-2, offline); texts (offline, errors, idles);
  // X (same order as texts); Y (offline, error 1, error 2, idle 1, idle 3, idle 2); fonts.
  e.S(u"PROP3_101");
  e.I(1).I(2).I(3).I(1).I(2).I(3);
  e.I(3).I(2).I(1).I(3).I(2).I(1);
  e.S(u"Off").S(u"E1").S(u"E2").S(u"I1").S(u"I2").S(u"I3");
  e.I(15).I(13).I(14).I(10).I(11).I(12);
  e.I(35).I(33).I(34).I(30).I(32).I(31);
  e.I(0).I(0).I(0).I(0).I(1).I(0);
  // Miscellaneous.
  e.S(u"PROP6_101").S(u"Caf\u00E9").I(1).I(0).I(1).I(0).I(1).I(75).I(4).I(70).I(3).I(5).I(9);

  EXPECT_EQ(EncodeSettingsFile(Sample(), kSettingsFileKind, {}), e.get());
}

TEST(SettingsFile, OptionalBlocksAndRetalixOfflinePlaceholder) {
  Configuration c = Sample();
  c.version = 3;
  c.retalix = {1, 2, 100, "EUR", 2, 1, {}};
  const std::vector<std::byte> file = EncodeSettingsFile(c, kCloneFileKind, {true, true});
  Bytes rs232;
  rs232.S(u"PROP4_101").I(1).I(1).I(1).I(0).I(0).I(0).I(0).I(2).I(1).I(0).I(0).I(0);
  Bytes retalix;
  retalix.S(u"PROP7_101").B(1).W(100).S(u"EUR").B(2).B(2).S(u"").I(1).I(0);
  auto contains = [&](const std::vector<std::byte>& part) {
    return std::search(file.begin(), file.end(), part.begin(), part.end()) != file.end();
  };
  EXPECT_TRUE(contains(rs232.get()));
  EXPECT_TRUE(contains(retalix.get()));
  EXPECT_TRUE(std::equal(retalix.get().begin(), retalix.get().end(), file.end() - retalix.get().size()));
  Bytes placeholder;
  placeholder.S(u" Offline ");
  EXPECT_TRUE(contains(placeholder.get()));
  Bytes kind;
  kind.S(u"CLONEKX25II");
  EXPECT_TRUE(std::equal(kind.get().begin(), kind.get().end(), file.begin()));
}

TEST(SettingsFile, RoundTripWithEveryPageSet) {
  for (bool rs232 : {false, true}) {
    for (uint16_t version : {2, 3}) {
      Configuration c = Sample();
      c.version = version;
      c.retalix = {9, 8, 1000, "$", 3, 1, {}};
      if (version == 3) c.lines[kOffline] = {" Offline ", 0, 0, 20, {2, 2}};
      const PageSet pages = PagesFor(c, rs232);
      Configuration current = Configuration{};
      current.version = version;
      current.firmware_version = "03.10";
      current.ip_address = 0xC0A80001;
      Result<Configuration> got = DecodeSettingsFile(EncodeSettingsFile(c, kSettingsFileKind, pages), current, pages);
      ASSERT_TRUE(got.ok()) << got.status().ToString();
      Configuration expected = c;
      expected.ip_address = current.ip_address;  // the terminal keeps its own address
      if (!rs232) {
        expected.port1 = current.port1;
        expected.port2 = current.port2;
      }
      if (version != 3) expected.retalix = current.retalix;
      expected.wireless.stream_mask = current.wireless.stream_mask;  // written, not read
      EXPECT_EQ(*got, expected) << "rs232=" << rs232 << " version=" << version;
    }
  }
}

std::vector<std::byte> WithFormat(int32_t format) {
  Bytes b;
  b.S(u"SETTINGSKX25II").I(format);
  std::vector<std::byte> file = EncodeSettingsFile(Sample(), kSettingsFileKind, {});
  std::copy(b.get().begin(), b.get().end(), file.begin());
  return file;
}

TEST(SettingsFile, FormatNumberWindow) {
  const Configuration current = Configuration{};
  for (int32_t format : {4001, 4004, 4999}) {
    EXPECT_TRUE(DecodeSettingsFile(WithFormat(format), current, {}).ok()) << format;
  }
  for (int32_t format : {4000, 5000, 0, -1}) {
    Result<Configuration> got = DecodeSettingsFile(WithFormat(format), current, {});
    ASSERT_FALSE(got.ok()) << format;
    EXPECT_EQ(got.status().message(), "Incompatible V4 settings file\nno settings loaded");
  }
}

TEST(SettingsFile, FileFromAnotherPageSetIsRefused) {
  Configuration c = Sample();
  c.version = 3;
  const std::vector<std::byte> with_rs232 = EncodeSettingsFile(c, kSettingsFileKind, {true, false});
  Result<Configuration> got = DecodeSettingsFile(with_rs232, c, {false, false});
  ASSERT_FALSE(got.ok());
  EXPECT_NE(got.status().message().find("'PROP4_101' where 'PROP6_101'"), std::string::npos)
      << got.status().message();
  const std::vector<std::byte> with_retalix = EncodeSettingsFile(c, kSettingsFileKind, {false, true});
  got = DecodeSettingsFile(with_retalix, c, {false, false});
  ASSERT_FALSE(got.ok());
  EXPECT_NE(got.status().message().find("after its last page block"), std::string::npos);
  EXPECT_FALSE(DecodeSettingsFile(EncodeSettingsFile(c, kSettingsFileKind, {}), c, {true, true}).ok());
}

TEST(SettingsFile, OutOfListValuesAreReplacedOnLoad) {
  Configuration c = Sample();
  c.scan_interval = 250;
  c.speed_step = 0;
  c.volume_percent = 5;
  const std::vector<std::byte> file = EncodeSettingsFile(c, kSettingsFileKind, {});
  Result<Configuration> got = DecodeSettingsFile(file, Configuration{}, {});
  ASSERT_TRUE(got.ok());
  EXPECT_EQ(got->scan_interval, 50);
  EXPECT_EQ(got->speed_step, 10);
  EXPECT_EQ(got->volume_percent, 100);
}

// Every value a terminal's records can hold is written so that the reader takes it back: a file
// or clone saved from any terminal can always be loaded, and loads the same values.
TEST(SettingsFile, EveryValueATerminalHoldsRoundTrips) {
  struct Field {
    const char* name;
    int lo, hi;
    std::function<void(Configuration&, int)> set;
    std::function<int(const Configuration&)> get;
  };
  std::vector<Field> fields = {
      {"udp port", 0, 65535, [](Configuration& c, int v) { c.udp_port = v; }, [](const Configuration& c) { return int(c.udp_port); }},
      {"tcp port", 0, 65535, [](Configuration& c, int v) { c.tcp_port = v; }, [](const Configuration& c) { return int(c.tcp_port); }},
      {"dhcp", 0, 1, [](Configuration& c, int v) { c.dhcp = v; }, [](const Configuration& c) { return int(c.dhcp); }},
      {"server", 0, 1, [](Configuration& c, int v) { c.tcp_server = v; }, [](const Configuration& c) { return int(c.tcp_server); }},
      {"udp", 0, 1, [](Configuration& c, int v) { c.udp = v; }, [](const Configuration& c) { return int(c.udp); }},
      {"channel", 0, 15, [](Configuration& c, int v) { c.wireless.channel = v; }, [](const Configuration& c) { return int(c.wireless.channel); }},
      {"security", 0, 3, [](Configuration& c, int v) { SetSecurityMode(c.wireless, SecurityMode(v)); },
       [](const Configuration& c) { return int(SecurityModeOf(c.wireless, c.firmware_number())); }},
      {"wep key byte", 0, 255, [](Configuration& c, int v) { c.wireless.wep_key[12] = v; }, [](const Configuration& c) { return int(c.wireless.wep_key[12]); }},
      {"adhoc", 0, 1, [](Configuration& c, int v) { c.wireless.adhoc = v; }, [](const Configuration& c) { return int(c.wireless.adhoc); }},
      {"shared", 0, 1, [](Configuration& c, int v) { c.wireless.shared_auth = v; }, [](const Configuration& c) { return int(c.wireless.shared_auth); }},
      {"own mac", 0, 1, [](Configuration& c, int v) { c.wireless.own_mac = v; }, [](const Configuration& c) { return int(c.wireless.own_mac); }},
      {"wep128", 0, 1, [](Configuration& c, int v) { c.wireless.wep128 = v; }, [](const Configuration& c) { return int(c.wireless.wep128); }},
      {"auto channel", 0, 1, [](Configuration& c, int v) { c.wireless.auto_channel = v; }, [](const Configuration& c) { return int(c.wireless.auto_channel); }},
      {"tx rate entry", 0, int(TxRateList().size()) - 1, [](Configuration& c, int v) { c.wireless.tx_rate = TxRateList()[v].value; },
       [](const Configuration& c) { return ListIndexOf(TxRateList(), c.wireless.tx_rate); }},
      {"channel width", 0, 255, [](Configuration& c, int v) { c.wireless.channel_width = v; }, [](const Configuration& c) { return int(c.wireless.channel_width); }},
      {"wpa mode", 0, 255, [](Configuration& c, int v) { c.wireless.wpa_mode = v; }, [](const Configuration& c) { return int(c.wireless.wpa_mode); }},
      {"cipher", 0, 255, [](Configuration& c, int v) { c.wireless.cipher = v; }, [](const Configuration& c) { return int(c.wireless.cipher); }},
      {"eap type", 0, 255, [](Configuration& c, int v) { c.wireless.eap_type = v; }, [](const Configuration& c) { return int(c.wireless.eap_type); }},
      {"inner auth", 0, 255, [](Configuration& c, int v) { c.wireless.inner_auth = v; }, [](const Configuration& c) { return int(c.wireless.inner_auth); }},
      {"port 1 baud", 0, 1, [](Configuration& c, int v) { c.port1.baud = v ? 19200 : 9600; }, [](const Configuration& c) { return int(c.port1.baud == 19200); }},
      {"port 2 xon", 0, 1, [](Configuration& c, int v) { c.port2.xon_xoff = v; }, [](const Configuration& c) { return int(c.port2.xon_xoff); }},
      {"invert", 0, 1, [](Configuration& c, int v) { c.invert = v; }, [](const Configuration& c) { return int(c.invert); }},
      {"rotate", 0, 1, [](Configuration& c, int v) { c.rotate = v; }, [](const Configuration& c) { return int(c.rotate); }},
      {"no beep", 0, 1, [](Configuration& c, int v) { c.disable_beep = v; }, [](const Configuration& c) { return int(c.disable_beep); }},
      {"rtl", 0, 1, [](Configuration& c, int v) { c.right_to_left = v; }, [](const Configuration& c) { return int(c.right_to_left); }},
      {"gif", 0, 1, [](Configuration& c, int v) { c.idle_gif = v; }, [](const Configuration& c) { return int(c.idle_gif); }},
      {"scan interval", 0, 200, [](Configuration& c, int v) { c.scan_interval = v; }, [](const Configuration& c) { return int(c.scan_interval); }},
      {"speed", 1, 10, [](Configuration& c, int v) { c.speed_step = v; }, [](const Configuration& c) { return int(c.speed_step); }},
      {"volume", 10, 100, [](Configuration& c, int v) { c.volume_percent = v; }, [](const Configuration& c) { return int(c.volume_percent); }},
      {"display time", 0, 15, [](Configuration& c, int v) { c.display_seconds = v; }, [](const Configuration& c) { return int(c.display_seconds); }},
      {"host wait", 0, 15, [](Configuration& c, int v) { c.host_wait_seconds = v; }, [](const Configuration& c) { return int(c.host_wait_seconds); }},
      {"code page", 0, 15, [](Configuration& c, int v) { c.codepage = v; }, [](const Configuration& c) { return int(c.codepage); }},
      {"pos station", 0, 255, [](Configuration& c, int v) { c.retalix.pos_station = v; }, [](const Configuration& c) { return int(c.retalix.pos_station); }},
      {"mfs station", 0, 255, [](Configuration& c, int v) { c.retalix.mfs_station = v; }, [](const Configuration& c) { return int(c.retalix.mfs_station); }},
      {"round-off", 0, 65535, [](Configuration& c, int v) { c.retalix.round_off = v; }, [](const Configuration& c) { return int(c.retalix.round_off); }},
      {"decimals", 0, 255, [](Configuration& c, int v) { c.retalix.decimals = v; }, [](const Configuration& c) { return int(c.retalix.decimals); }},
      {"symbol position", 0, 255, [](Configuration& c, int v) { c.retalix.symbol_position = v; }, [](const Configuration& c) { return int(c.retalix.symbol_position); }},
  };
  for (int i = 0; i < kLineCount - 1; ++i) {  // the offline line of a version-3 file is fixed
    fields.push_back({"font", 0, 255, [i](Configuration& c, int v) { c.lines[i].font = v; }, [i](const Configuration& c) { return int(c.lines[i].font); }});
    fields.push_back({"x", 0, 255, [i](Configuration& c, int v) { c.lines[i].x = v; }, [i](const Configuration& c) { return int(c.lines[i].x); }});
    fields.push_back({"y", 0, 255, [i](Configuration& c, int v) { c.lines[i].y = v; }, [i](const Configuration& c) { return int(c.lines[i].y); }});
    fields.push_back({"alignment code", 0, 255, [i](Configuration& c, int v) { c.lines[i].align = AlignmentFromCode(v); },
                      [i](const Configuration& c) { return int(AlignmentCode(c.lines[i].align)); }});
  }
  Configuration current;
  current.version = 3;
  current.firmware_version = "03.10";
  const PageSet pages{true, true};
  for (const Field& f : fields) {
    const int step = f.hi - f.lo > 1000 ? 97 : 1;  // 16-bit fields: a stride plus both ends
    for (int v = f.lo; v <= f.hi + step - 1; v += step) {
      const int value = std::min(v, f.hi);
      Configuration c = Sample();
      c.version = 3;
      f.set(c, value);
      const int expected = f.get(c);  // alignment codes past 11 all read as None/None
      Result<Configuration> got = DecodeSettingsFile(EncodeSettingsFile(c, kSettingsFileKind, pages), current, pages);
      ASSERT_TRUE(got.ok()) << f.name << " " << value << ": " << got.status().ToString();
      EXPECT_EQ(f.get(*got), expected) << f.name << " " << value;
    }
  }
}

TEST(SettingsFile, EveryTruncatedPrefixFailsCleanly) {
  const std::vector<std::byte> file = EncodeSettingsFile(Sample(), kSettingsFileKind, {true, false});
  for (std::size_t n = 0; n < file.size(); ++n) {
    Result<Configuration> got = DecodeSettingsFile(std::span(file).first(n), Configuration{}, {true, false});
    EXPECT_FALSE(got.ok()) << "prefix of " << n << " bytes";
  }
}

TEST(SettingsFile, HostileStringLengthsFailWithoutAllocating) {
  // A string claiming four billion UTF-16 units, and one claiming 65,000 with 4 bytes left.
  Bytes huge;
  huge.S(u"SETTINGSKX25II").I(4004).B(0xFF).W(0xFFFE).B(0xFF).W(0xFFFF).I(-1).W('x');
  Result<Configuration> got = DecodeSettingsFile(huge.get(), Configuration{}, {});
  ASSERT_FALSE(got.ok());
  EXPECT_TRUE(got.status().IsCorruption());
  EXPECT_NE(got.status().message().find("4294967295"), std::string::npos) << got.status().message();

  Bytes medium;
  medium.B(0xFF).W(0xFFFE).B(0xFF).W(65000).I(0);
  EXPECT_TRUE(DecodeSettingsFile(medium.get(), Configuration{}, {}).status().IsCorruption());
}

TEST(SettingsFile, DamagedBytesNeverCrash) {
  const std::vector<std::byte> good = EncodeSettingsFile(Sample(), kSettingsFileKind, {true, true});
  for (std::size_t i = 0; i < good.size(); ++i) {
    for (uint8_t v : {0x00, 0x7F, 0xFE, 0xFF}) {
      std::vector<std::byte> bad = good;
      bad[i] = std::byte{v};
      Result<Configuration> ignored = DecodeSettingsFile(bad, Configuration{}, {true, true});
      (void)ignored;
    }
  }
}

TEST(SettingsFile, ValuesThatDoNotFitTheirFieldAreRefused) {
  Configuration c = Sample();
  std::vector<std::byte> file = EncodeSettingsFile(c, kSettingsFileKind, {});
  // UDP port is the first integer after the four addresses of the Network block.
  Bytes prefix;
  prefix.S(u"SETTINGSKX25II").I(4004).S(u"PROP1_101");
  const std::size_t udp_port = prefix.get().size() + 16;
  file[udp_port + 2] = std::byte{0x01};  // 10010 + 65536
  Result<Configuration> got = DecodeSettingsFile(file, Configuration{}, {});
  ASSERT_FALSE(got.ok());
  EXPECT_NE(got.status().message().find("udp port"), std::string::npos);
}

TEST(Archive, StringLengthForms) {
  for (std::size_t n : {0u, 254u, 255u, 0xFFFDu, 0xFFFEu, 0x10000u}) {
    std::vector<std::byte> out;
    ArchiveWriter w(out);
    const std::string text(n, 'q');
    w.String(text);
    const std::size_t header = n < 255 ? 4 : n < 0xFFFE ? 6 : 10;
    ASSERT_EQ(out.size(), header + 2 * n) << n;
    ArchiveReader r(out);
    EXPECT_EQ(r.String(), text) << n;
    EXPECT_TRUE(r.status().ok());
    EXPECT_TRUE(r.AtEnd());
  }
  // The older 8-bit form: a length byte and Windows-1252 bytes.
  const std::vector<std::byte> ansi = {std::byte{3}, std::byte{'a'}, std::byte{0xE9}, std::byte{0x80}};
  ArchiveReader r(ansi);
  EXPECT_EQ(r.String(), "a\xC3\xA9\xE2\x82\xAC");
  // Characters beyond the basic plane travel as surrogate pairs.
  std::vector<std::byte> out;
  ArchiveWriter w(out);
  w.String("\xF0\x9F\x99\x82");
  EXPECT_EQ(out.size(), 4u + 4u);
  ArchiveReader back(out);
  EXPECT_EQ(back.String(), "\xF0\x9F\x99\x82");
}

class SettingsFileOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("kx_settings_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
};

TEST_F(SettingsFileOnDisk, WriteThenReadAndFailuresChangeNothing) {
  const std::filesystem::path file = dir_ / "till.KX25";
  ASSERT_TRUE(WriteSettingsFile(file, Sample(), kSettingsFileKind, {}).ok());
  Configuration current;
  current.firmware_version = "03.10";
  Result<Configuration> got = ReadSettingsFile(file, current, {});
  ASSERT_TRUE(got.ok());
  EXPECT_EQ(got->device_name, "Caf\xC3\xA9");

  // A truncated copy is refused and left as it was.
  const std::uintmax_t size = std::filesystem::file_size(file);
  std::filesystem::resize_file(file, size - 3);
  EXPECT_TRUE(ReadSettingsFile(file, current, {}).status().IsCorruption());
  EXPECT_EQ(std::filesystem::file_size(file), size - 3);

  EXPECT_TRUE(ReadSettingsFile(dir_ / "missing.KX25", current, {}).status().IsIOError());
  EXPECT_TRUE(WriteSettingsFile(dir_ / "no" / "such" / "dir.KX25", Sample(), kSettingsFileKind, {})
                  .IsIOError());

  // Something far larger than any settings file is refused before it is read.
  const std::filesystem::path big = dir_ / "big.KX25";
  { std::ofstream(big) << ""; }
  std::filesystem::resize_file(big, 8 << 20);
  EXPECT_TRUE(ReadSettingsFile(big, current, {}).status().IsCorruption());
}

// Runs `body` in a child process (so it may change its user or mount namespace) and returns its
// text; "skip: ..." when the child could not set itself up.
std::string InChild(const std::function<std::string()>& body) {
  int fds[2];
  if (::pipe(fds) != 0) return "skip: pipe";
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    const std::string text = body();
    const ssize_t ignored = ::write(fds[1], text.data(), text.size());
    (void)ignored;
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string out;
  char buf[512];
  for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<std::size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return out;
}

std::string Contents(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The outcome of writing over `file` as the child sees it: the error text, whether the old
// content is still there and whether a temporary file was left behind.
std::string WriteOver(const std::filesystem::path& file) {
  const Status st = WriteSettingsFile(file, Sample(), kSettingsFileKind, {true, true});
  std::filesystem::path tmp = file;
  tmp += ".tmp";
  return st.message() + (Contents(file) == "old settings" ? "|old kept" : "|old lost") +
         (std::filesystem::exists(tmp) ? "|tmp left" : "");
}

TEST_F(SettingsFileOnDisk, WriteFailuresNameTheSystemReasonAndKeepTheOldFile) {
  // A folder that does not exist.
  Status st = WriteSettingsFile(dir_ / "no" / "such.KX25", Sample(), kSettingsFileKind, {});
  EXPECT_NE(st.message().find("No such file or directory"), std::string::npos) << st.message();

  // A folder the user may not write to (root is made an ordinary user first).
  const std::filesystem::path locked = dir_ / "locked";
  std::filesystem::create_directories(locked);
  { std::ofstream(locked / "till.KX25") << "old settings"; }
  std::filesystem::permissions(locked, std::filesystem::perms(0555));
  std::string got = InChild([&] {
    if (::geteuid() == 0 && ::setuid(65534) != 0) return std::string("skip: setuid");
    return WriteOver(locked / "till.KX25");
  });
  std::filesystem::permissions(locked, std::filesystem::perms(0755));
  EXPECT_NE(got.find("Permission denied"), std::string::npos) << got;
  EXPECT_NE(got.find("|old kept"), std::string::npos) << got;

  // A full disk: a tiny file system of its own in a private mount namespace (needs root).
  const std::filesystem::path small = dir_ / "small";
  std::filesystem::create_directories(small);
  got = InChild([&] {
    if (::unshare(CLONE_NEWNS) != 0) return std::string("skip: no mount namespace");
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("none", small.c_str(), "tmpfs", 0, "size=64k") != 0) {
      return std::string("skip: cannot mount");
    }
    { std::ofstream(small / "till.KX25") << "old settings"; }
    std::ofstream filler(small / "filler", std::ios::binary);
    const std::string block(4096, 'x');
    for (int i = 0; i < 64 && filler.write(block.data(), block.size()).flush(); ++i) {
    }
    return WriteOver(small / "till.KX25");
  });
  if (got.rfind("skip:", 0) == 0) GTEST_SKIP() << got;
  EXPECT_NE(got.find("No space left on device"), std::string::npos) << got;
  EXPECT_EQ(got.find("|old lost"), std::string::npos) << got;
  EXPECT_EQ(got.find("|tmp left"), std::string::npos) << got;
}

TEST_F(SettingsFileOnDisk, CloneFileName) {
  const std::filesystem::path file = dir_ / std::string(kCloneFileName);
  ASSERT_TRUE(WriteSettingsFile(file, Sample(), kCloneFileKind, {}).ok());
  EXPECT_EQ(file.filename(), "clone.KX25");
  EXPECT_TRUE(ReadSettingsFile(file, Configuration{}, {}).ok());
}

}  // namespace
}  // namespace kt::config
