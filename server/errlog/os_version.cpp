#include "server/errlog/os_version.h"

#include <sys/utsname.h>

namespace kt::errlog {

std::string OsVersionLine() {
  utsname u{};
  if (uname(&u) != 0) return "Error using uname() ...";
  return std::string(u.sysname) + " " + u.release + " (" + u.machine + "), Build: " + u.version;
}

}  // namespace kt::errlog
