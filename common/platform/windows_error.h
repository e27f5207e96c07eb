// The system's text for a Windows error code ("Access is denied", ...), without the trailing
// line break and full stop. Windows builds only.
#pragma once

#include <string>

namespace kt::platform {

std::string WindowsErrorText(unsigned long code);

}  // namespace kt::platform
