// libFuzzer entry for module files; the body is Fuzz::ModuleFile.
#include "FuzzTargets.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  return Fuzz::ModuleFile(Data, Size);
}
