// ktdb: inspects the tables and indexes of a data folder (see ktdb --help).
#include <iostream>
#include <string>
#include <vector>

#include "server/tools/ktdb/ktdb.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  return kt::tools::RunKtdb(args, std::cout, std::cerr);
}
