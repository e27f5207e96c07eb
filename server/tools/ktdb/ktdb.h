// ktdb: the data-folder inspection tool's commands, apart from main() so tests can run them.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace kt::tools {

// Runs one ktdb command line (without the program name). Results go to `out`; an error is one
// line on `err`. Returns the exit status: 0 success, 1 failure, 2 bad usage.
int RunKtdb(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kt::tools
