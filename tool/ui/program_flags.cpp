#include "tool/ui/program_flags.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace kt::ui {

ProgramFlags ParseProgramWord(std::string_view word) {
  std::string upper(word);
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  ProgramFlags f;
  f.marlo = upper == "MARLO";
  f.rs232 = upper == "RS232";
  f.search_only = upper == "SEARCHONLY";
  return f;
}

}  // namespace kt::ui
