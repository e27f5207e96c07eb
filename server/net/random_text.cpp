#include "server/net/random_text.h"

#include <chrono>

namespace kt::net {

std::string MakeRandomText(int length, char first, char last, std::mt19937& rng) {
  const int span = last - first + 1;
  std::uniform_int_distribution<int> draw(0, span - 1);
  std::string out;
  int previous = 0;
  while (static_cast<int>(out.size()) < length) {
    int k = draw(rng);
    if (k == previous) continue;  // draw again
    out.push_back(static_cast<char>(first + k));
    previous = k;
  }
  return out;
}

std::string MakeRandomText(int length, char first, char last) {
  std::mt19937 rng(static_cast<unsigned>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count()));
  return MakeRandomText(length, first, last, rng);
}

}  // namespace kt::net
