// libFuzzer entry for the BMP reader; the body is Fuzz::BmpReader.
#include "FuzzTargets.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  return Fuzz::BmpReader(Data, Size);
}
