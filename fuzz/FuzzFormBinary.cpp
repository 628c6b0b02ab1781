// libFuzzer entry for binary form files; the body is Fuzz::FormBinary.
#include "FuzzTargets.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  return Fuzz::FormBinary(Data, Size);
}
