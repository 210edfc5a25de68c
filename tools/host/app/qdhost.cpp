// qdhost: a command-line VST2 host. See `qdhost --help`.
#include <iostream>

#include "tools/host/Commands.h"

int main(int argc, char** argv) {
  return qd::host::RunCommandLine(argc, argv, std::cout, std::cerr);
}
