// The tool's Windows system services, as far as Wine can run them: ICMP echo, name resolution,
// the adapter list, the static ARP entry's refusals and the TFTP client's command line. The
// Linux counterparts are icmp_echo_test.cpp, static_arp_test.cpp, upload_test.cpp and
// tool/adapters/adapters_test.cpp.
#include <windows.h>

#include <gtest/gtest.h>

#include "tool/adapters/adapter_list.h"
#include "tool/firmware/icmp_echo.h"
#include "tool/firmware/static_arp.h"
#include "tool/firmware/tftp_client.h"

namespace kt::firmware {
namespace {

TEST(WindowsIcmpEcho, LoopbackAnswersWithTheSameData) {
  auto echo = IcmpEcho::Open();
  ASSERT_TRUE(echo.ok()) << echo.status().ToString();
  for (std::size_t size : {std::size_t{32}, std::size_t{0}, std::size_t{1400}}) {
    EchoOptions o;
    o.data_size = size;
    auto reply = echo->Check(0x7F000001, o);
    if (!reply.ok() && size == 32 && reply.status().IsIOError()) {
      GTEST_SKIP() << "this Wine cannot send ICMP echo here: " << reply.status().ToString();
    }
    ASSERT_TRUE(reply.ok()) << size << ": " << reply.status().ToString();
    EXPECT_EQ(reply->from, 0x7F000001u);
  }
}

TEST(WindowsIcmpEcho, ResolvesDottedTextAndNames) {
  EXPECT_EQ(ResolveIpv4("10.1.2.3"), 0x0A010203u);
  EXPECT_EQ(ResolveIpv4("localhost"), 0x7F000001u);
  EXPECT_FALSE(ResolveIpv4("no-such-host.invalid"));
}

TEST(WindowsStaticArp, NoEntryForALoopbackAddress) {
  const ArpEntryResult r = PinTerminalAddress(0x7F000001, {0x00, 0x0A, 0x0B, 0x0C, 0x0D, 0x10});
  EXPECT_NE(r.outcome, ArpEntryResult::Outcome::kSet) << r.detail;
  EXPECT_FALSE(r.detail.empty());
}

TEST(WindowsTftpClient, CommandLineAsTheAccountingPcsUseIt) {
  TftpPut put;
  put.host = "10.0.0.5";
  put.file = "C:\\fw\\new.bin";
  const std::vector<std::string> expected = {"tftp.exe", "-i", "10.0.0.5", "put", "\"C:\\\\fw\\\\new.bin\"", "/"};
  EXPECT_EQ(TftpPutArguments(put), expected);
}

TEST(WindowsTftpClient, AMissingClientIsAStartFailureWithTheSystemsReason) {
  TftpPut put;
  put.client = "no-such-tftp-client.exe";
  put.host = "127.0.0.1";
  put.file = "C:\\fw\\new.bin";
  const TftpOutcome out = RunTftpPut(put);
  EXPECT_EQ(out.result, UploadResult::kStartFailed);
  EXPECT_FALSE(out.system_text.empty());

  put.client = "tftp.exe";
  put.port = 6969;  // tftp.exe has no way to take it
  EXPECT_EQ(RunTftpPut(put).result, UploadResult::kStartFailed);
}

TEST(WindowsAdapters, ListedAdaptersCarryTheirAddresses) {
  auto list = adapters::ListAdapters();
  ASSERT_TRUE(list.ok()) << list.status().ToString();
  for (const config::AdapterInfo& a : *list) {
    EXPECT_FALSE(a.name.empty());
    EXPECT_FALSE(a.ipv4_addresses.empty()) << a.name;  // "0.0.0.0" at least
    EXPECT_EQ(adapters::DhcpText(a), a.dhcp_enabled && !a.dhcp_server.empty() ? a.dhcp_server : "N/A");
  }
}

}  // namespace
}  // namespace kt::firmware
