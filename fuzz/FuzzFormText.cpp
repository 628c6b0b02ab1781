// libFuzzer entry for text form files; the body is Fuzz::FormText.
#include "FuzzTargets.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  return Fuzz::FormText(Data, Size);
}
