// One argument of a Windows command line, quoted so that the receiving program's argv shows it
// unchanged (backslashes doubled only before a quote). Windows builds only.
#pragma once

#include <string>

namespace kt::platform {

std::wstring QuoteCommandLineArgument(const std::wstring& arg);

}  // namespace kt::platform
