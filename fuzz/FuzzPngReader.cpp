// libFuzzer entry for the PNG reader against libpng alone; the body is Fuzz::PngReader.
#include "FuzzTargets.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  return Fuzz::PngReader(Data, Size);
}
