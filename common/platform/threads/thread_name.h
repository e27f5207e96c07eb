// Names the calling thread for process listings and debuggers (top -H and ps -L on Linux, the
// debugger's thread list on Windows). At most 15 characters are kept on Linux.
#pragma once

namespace kt::platform {

void SetThreadName(const char* name);

}  // namespace kt::platform
