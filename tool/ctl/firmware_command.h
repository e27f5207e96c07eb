// `kx25ctl firmware IP|MAC FILE.bin`: finds the terminal by discovery, checks that the image fits
// its flash, pins its address with a static ARP entry, uploads the image by TFTP, waits for the
// terminal to program and restart, and scans again; every step is printed. Exit status 0 only
// when the upload succeeded.
#pragma once

#include <cstdio>

namespace kt::ctl {

// argv[0] is "firmware".
int RunFirmwareCommand(int argc, char** argv, std::FILE* out, std::FILE* err);

}  // namespace kt::ctl
