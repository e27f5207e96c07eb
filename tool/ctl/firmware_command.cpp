#include "tool/ctl/firmware_command.h"

#include <charconv>
#include <chrono>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/net/udp_socket.h"
#include "tool/ctl/find_terminal.h"
#include "tool/firmware/firmware_upload.h"
#include "tool/firmware/flash_size.h"

namespace kt::ctl {
namespace {

void PrintBox(std::FILE* f, const firmware::MessageBox& box) {
  std::string text = box.text;
  while (!text.empty() && text.back() == '\n') text.pop_back();
  std::fprintf(f, "kx25ctl: %s: %s\n", box.caption.c_str(), text.c_str());
}

}  // namespace

CLI::App* AddFirmwareCommand(CLI::App& app, FirmwareArgs& a) {
  CLI::App* cmd = app.add_subcommand("firmware", "check and upload a firmware image by TFTP: firmware IP|MAC FILE.bin");
  cmd->add_option("ARGS", a.positional, "the terminal (IP or MAC) and the image");
  cmd->add_option("--tftp-port", a.upload.tftp_port, "the terminal's TFTP port (default 69)")
      ->type_name("N")
      ->check(CLI::Range(1, 65535));
  cmd->add_option("--tftp-client", a.upload.client, "the TFTP client program (default atftp)")
      ->type_name("PROG")
      ->check([](const std::string& v) { return v.empty() ? std::string("needs a program") : std::string(); });
  cmd->add_option_function<int>(
         "--limit-seconds", [&a](int n) { a.upload.limit = std::chrono::seconds(n); },
         "longest wait for the upload (default 60)")
      ->type_name("N")
      ->check(CLI::Range(1, 3600));
  cmd->add_flag("--no-rescan", a.no_rescan, "do not wait and scan again after a successful upload");
  return cmd;
}

int RunFirmwareCommand(const FirmwareArgs& a, const discovery::ScanOptions& scan, std::FILE* out, std::FILE* err) {
  const firmware::UploadOptions& upload = a.upload;
  const bool rescan = !a.no_rescan;
  const std::vector<std::string>& positional = a.positional;
  if (positional.size() != 2) {
    std::fprintf(err, "kx25ctl: firmware needs the terminal (IP or MAC) and FILE.bin\n");
    return 2;
  }
  const std::optional<TerminalName> name = ParseTerminalName(positional[0]);
  if (!name) {
    std::fprintf(err, "kx25ctl: '%s' is neither an IPv4 address nor a MAC address\n", positional[0].c_str());
    return 2;
  }
  const std::string& file = positional[1];

  std::fprintf(out, "Looking for %s...\n", name->text.c_str());
  std::fflush(out);
  const std::optional<discovery::DeviceEntry> entry = FindTerminal(scan, *name, err);
  if (!entry) {
    PrintBox(err, firmware::UnknownDeviceBox());
    return 1;
  }
  const discovery::DeviceSummary& d = entry->summary;
  std::fprintf(out, "%s\n", discovery::DeviceListLine(d).c_str());

  if (auto box = firmware::CheckImageFits(file, d.firmware)) {
    PrintBox(err, *box);
    return 1;
  }
  std::fprintf(out, "Flash size: %u bytes, image fits\n", firmware::FlashSizeForVersion(d.firmware));
  std::fflush(out);

  auto job = firmware::FirmwareUpload::Start(
      {d.ip, d.mac, file}, upload, [&](const firmware::UploadEvent& e) {
        switch (e.kind) {
          case firmware::UploadEvent::Kind::kArpEntry:
            std::fprintf(e.arp.outcome == firmware::ArpEntryResult::Outcome::kSet ||
                                 e.arp.outcome == firmware::ArpEntryResult::Outcome::kSkipped
                             ? out
                             : err,
                         "%s\n", e.text.c_str());
            break;
          case firmware::UploadEvent::Kind::kClientOutput:
            std::fprintf(out, "  %s: %s\n", upload.client.c_str(), e.text.c_str());
            break;
          case firmware::UploadEvent::Kind::kStatus:
            std::fprintf(out, "%s\n", e.text.c_str());
            break;
          case firmware::UploadEvent::Kind::kFinished:
            std::fprintf(out, "%s\n", e.text.c_str());
            if (auto box = firmware::ResultBox(e.result, e.system_text)) PrintBox(err, *box);
            break;
        }
        std::fflush(out);
      });
  const firmware::UploadResult result = job->Wait();
  if (result != firmware::UploadResult::kSuccess) return 1;
  if (!rescan) return 0;

  std::this_thread::sleep_for(std::chrono::milliseconds(firmware::kRescanPauseMs));  // programming and reboot
  std::fprintf(out, "Scanning again...\n");
  std::fflush(out);
  TerminalName by_mac;
  by_mac.mac = d.mac;
  by_mac.text = config::FormatMac(d.mac, ':');
  if (auto again = FindTerminal(scan, by_mac, err)) {
    std::fprintf(out, "%s\n", discovery::DeviceListLine(again->summary).c_str());
  }
  return 0;
}

}  // namespace kt::ctl
