// kx25ctl, the scriptable face of the configuration tool: scan, show, save and apply.
#pragma once

#include <cstdio>

namespace kt::ctl {

// Runs one kx25ctl command line; prints results on `out` and errors on `err`. Returns the exit
// code: 0 success, 1 failure (terminal not found, file or socket error), 2 usage error.
int RunCtl(int argc, char** argv, std::FILE* out, std::FILE* err);

}  // namespace kt::ctl
