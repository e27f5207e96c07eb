// kt-demo-data DIR: writes the demo accounting data (DIR/ST_DB) for the demo and benchmarks.
#include <cstdio>

#include "server/data/demo/demo_data.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kt-demo-data DIR\n");
    return 2;
  }
  if (kt::Status st = kt::data::demo::WriteDemoDataSet(argv[1]); !st.ok()) {
    std::fprintf(stderr, "kt-demo-data: %s\n", st.ToString().c_str());
    return 1;
  }
  std::printf("demo data written to %s/ST_DB\n", argv[1]);
  return 0;
}
