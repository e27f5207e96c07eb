// The three reply templates a new settings store starts with, and that "Reset to Default
// Command" restores: greeting on connect, scan found, scan failed.
#pragma once

#include <string>

namespace kt::reply {

std::string DefaultComConn();
std::string DefaultComOk();
std::string DefaultComFail();

}  // namespace kt::reply
