// `kx25ctl firmware IP|MAC FILE.bin`: finds the terminal by discovery, checks that the image fits
// its flash, pins its address with a static ARP entry, uploads the image by TFTP, waits for the
// terminal to program and restart, and scans again; every step is printed. Exit status 0 only
// when the upload succeeded.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "tool/discovery/scanner.h"
#include "tool/firmware/firmware_upload.h"

namespace kt::ctl {

struct FirmwareArgs {
  std::vector<std::string> positional;  // IP|MAC FILE.bin
  firmware::UploadOptions upload;
  bool no_rescan = false;
};

// Declares the command and its own options on `app`, filling `a` when parsed.
CLI::App* AddFirmwareCommand(CLI::App& app, FirmwareArgs& a);
// Runs the parsed command; `scan` holds the discovery options. Returns the exit code.
int RunFirmwareCommand(const FirmwareArgs& a, const discovery::ScanOptions& scan, std::FILE* out, std::FILE* err);

}  // namespace kt::ctl
