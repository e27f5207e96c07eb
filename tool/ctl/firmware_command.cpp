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

constexpr const char* kUsage =
    "usage: kx25ctl firmware IP|MAC FILE.bin [options]\n"
    "Checks the image against the terminal's flash size, uploads it by TFTP and scans again.\n"
    "options:\n"
    "%s"
    "  --tftp-port N      the terminal's TFTP port (default 69)\n"
    "  --tftp-client PROG the TFTP client (default atftp)\n"
    "  --limit-seconds N  longest wait for the upload (default 60)\n"
    "  --no-rescan        do not wait and scan again after a successful upload\n";

void Usage(std::FILE* f) { std::fprintf(f, kUsage, kDiscoveryOptionsUsage); }

void PrintBox(std::FILE* f, const firmware::MessageBox& box) {
  std::string text = box.text;
  while (!text.empty() && text.back() == '\n') text.pop_back();
  std::fprintf(f, "kx25ctl: %s: %s\n", box.caption.c_str(), text.c_str());
}

bool ParseLong(std::string_view text, long lo, long hi, long& out) {
  long v = 0;
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc() || p != text.data() + text.size() || v < lo || v > hi) return false;
  out = v;
  return true;
}

}  // namespace

int RunFirmwareCommand(int argc, char** argv, std::FILE* out, std::FILE* err) {
  discovery::ScanOptions scan;
  firmware::UploadOptions upload;
  bool rescan = true;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    std::string error;
    long n = 0;
    if (a == "--help" || a == "-h") {
      Usage(out);
      return 0;
    } else if (ParseDiscoveryOption(argc, argv, i, scan, error)) {
    } else if (a == "--tftp-port") {
      ++i;
      if (!v || !ParseLong(v, 1, 65535, n)) error = "--tftp-port needs a number from 1 to 65535";
      upload.tftp_port = static_cast<uint16_t>(n);
    } else if (a == "--tftp-client") {
      ++i;
      if (!v || !*v) error = "--tftp-client needs a program";
      else upload.client = v;
    } else if (a == "--limit-seconds") {
      ++i;
      if (!v || !ParseLong(v, 1, 3600, n)) error = "--limit-seconds needs a number from 1 to 3600";
      upload.limit = std::chrono::seconds(n);
    } else if (a == "--no-rescan") {
      rescan = false;
    } else if (a.size() > 1 && a[0] == '-') {
      error = "unknown option " + std::string(a);
    } else {
      positional.emplace_back(a);
    }
    if (!error.empty()) {
      std::fprintf(err, "kx25ctl: %s\n", error.c_str());
      Usage(err);
      return 2;
    }
  }
  if (positional.size() != 2) {
    std::fprintf(err, "kx25ctl: firmware needs the terminal (IP or MAC) and FILE.bin\n");
    Usage(err);
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
          case firmware::UploadEvent::Kind::kFinished:
            std::fprintf(out, "%s\n", e.text.c_str());
            if (auto box = firmware::ResultBox(e.result, e.system_text);
                e.kind == firmware::UploadEvent::Kind::kFinished && box) {
              PrintBox(err, *box);
            }
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
