// `kx25ctl terminal IP [PORT]`: the TCP terminal in the text console. What the terminal sends is
// shown by the log rules, typed keys follow the typing rules (with --hex, hex digits make bytes),
// Ctrl-] (or the end of standard input) leaves; with --respond scanned codes are answered with
// demonstration screens.
//
// Without PORT the terminal is first found by discovery, which gives its TCP port and code page
// and lets the opening checks run (MARLO firmware, TCP-server configuration) and the static ARP
// entry be made; with PORT it connects at once (code page from --codepage, default 1).
#pragma once

#include <cstdio>

namespace kt::ctl {

// argv[0] is "terminal".
int RunTerminalCommand(int argc, char** argv, std::FILE* out, std::FILE* err);

}  // namespace kt::ctl
