// libFuzzer entry for picture loading by content; the body is Fuzz::PictureLoader.
#include "FuzzTargets.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  return Fuzz::PictureLoader(Data, Size);
}
