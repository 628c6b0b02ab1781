// libFuzzer entry for the package records; the body is Fuzz::PackageRecords.
#include "FuzzTargets.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  return Fuzz::PackageRecords(Data, Size);
}
