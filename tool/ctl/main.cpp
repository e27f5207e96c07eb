#include <cstdio>

#include "tool/ctl/ctl.h"

int main(int argc, char** argv) { return kt::ctl::RunCtl(argc, argv, stdout, stderr); }
