// The self-test text: random letters where no letter equals the one before it.
#pragma once

#include <random>
#include <string>

namespace kt::net {

// `length` characters from `first` to `last`. The "previous" offset starts at 0, so the first
// character is never `first` itself ("A" for the server's call with 18, 'A', 'Z').
// REQUIRES: first < last.
std::string MakeRandomText(int length, char first, char last, std::mt19937& rng);

// Same, with a generator seeded from the clock.
std::string MakeRandomText(int length, char first, char last);

}  // namespace kt::net
