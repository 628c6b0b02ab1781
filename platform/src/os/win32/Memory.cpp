// Memory for pixels. Large images come straight from the system, whose
// pages arrive zeroed and only when touched.
#include <cstdlib>
#include <new>

#include "os/Os.hpp"
#include "os/win32/Win32.hpp"

namespace Os {

namespace {
constexpr std::size_t Large = std::size_t(1) << 20;
}  // namespace

void* AllocatePixels(std::size_t Size) {
  void* Block = Size < Large ? std::malloc(Size ? Size : 1) : ::VirtualAlloc(nullptr, Size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!Block) throw std::bad_alloc();
  return Block;
}

void FreePixels(void* Block, std::size_t Size) {
  if (!Block) return;
  if (Size < Large)
    std::free(Block);
  else
    ::VirtualFree(Block, 0, MEM_RELEASE);
}

}  // namespace Os
