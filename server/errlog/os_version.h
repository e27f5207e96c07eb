// The operating-system line of the error report: kernel name, release and build.
#pragma once

#include <string>

namespace kt::errlog {

// "Linux 6.1.0-18-amd64 (x86_64), Build: #1 SMP PREEMPT_DYNAMIC ..." from uname();
// "Error using uname() ..." when the query fails. Windows: "Windows 10.0, Build: 19045".
std::string OsVersionLine();

}  // namespace kt::errlog
