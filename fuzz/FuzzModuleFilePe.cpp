// libFuzzer entry for Windows modules; the body is Fuzz::ModuleFilePe.
#include "FuzzTargets.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  return Fuzz::ModuleFilePe(Data, Size);
}
