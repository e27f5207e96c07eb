// The tool's one optional command-line word: "MARLO", "RS232" or "SEARCHONLY", any case.
#pragma once

#include <string_view>

namespace kt::ui {

struct ProgramFlags {
  bool marlo = false;       // retail-chain firmware variant (configuration pages)
  bool rs232 = false;       // serial-port pages (configuration pages)
  bool search_only = false; // graphical mode offers Scan only
};

// Only the first argument is looked at; anything else sets nothing.
ProgramFlags ParseProgramWord(std::string_view word);

}  // namespace kt::ui
