// libFuzzer entry for the walk in front of the Windows JPEG codec: plain
// code, so it is fuzzed on Linux. The body is Fuzz::JpegWalk, which the
// Windows suite runs over the seeds.
#include <cstdint>
#include <stdexcept>

#include "FuzzTargets.hpp"
#include "os/win32/JpegWalk.hpp"

namespace Fuzz {

int JpegWalk(const std::uint8_t* Data, std::size_t Size) {
  try {
    // The program's limit on pixels, which the codec applies through this.
    Os::Win32::WalkJpeg({Data, Size}, [](std::uint32_t Width, std::uint32_t Height) {
      if (std::uint64_t(Width) * Height > (std::uint64_t(128) << 20)) throw std::length_error("too large");
    });
  } catch (const std::length_error&) {
  }
  return 0;
}

}  // namespace Fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) { return Fuzz::JpegWalk(Data, Size); }
