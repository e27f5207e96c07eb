#include "tool/ui/program_flags.h"

#include <string>

#include "common/text/text.h"

namespace kt::ui {

ProgramFlags ParseProgramWord(std::string_view word) {
  const std::string upper = text::UpperAscii(word);
  ProgramFlags f;
  f.marlo = upper == "MARLO";
  f.rs232 = upper == "RS232";
  f.search_only = upper == "SEARCHONLY";
  return f;
}

}  // namespace kt::ui
