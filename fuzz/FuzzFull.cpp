// The full configuration of a fuzz target: the program's own image limits,
// and inputs up to 64 KiB unless the command line sets -max_len itself.
#include <cstring>
#include <vector>

#include "FuzzTargets.hpp"

extern "C" int LLVMFuzzerInitialize(int* Argc, char*** Argv) {
  Fuzz::UseProgramLimits();
  for (int I = 1; I < *Argc; ++I)
    if (std::strncmp((*Argv)[I], "-max_len=", 9) == 0) return 0;
  static char MaxLen[] = "-max_len=65536";
  static std::vector<char*> Arguments;
  Arguments.assign(*Argv, *Argv + *Argc);
  Arguments.insert(Arguments.begin() + (*Argc > 0 ? 1 : 0), MaxLen);
  Arguments.push_back(nullptr);
  *Argc += 1;
  *Argv = Arguments.data();
  return 0;
}
