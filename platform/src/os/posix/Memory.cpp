// Memory for pixels. Large images come straight from the system in huge
// pages, so a fresh 48 MB picture costs a few dozen page faults instead of
// twelve thousand; the most recently freed large block is kept for the next
// image of about its size, the way a picture is replaced by one of the same
// size again and again.
#include <cstdlib>
#include <mutex>
#include <new>
#include <sys/mman.h>
#include <utility>

#include "os/Os.hpp"

namespace Os {

namespace {

constexpr std::size_t Large = std::size_t(2) << 20;  // one huge page
std::mutex GLock;
void* GSpare = nullptr;
std::size_t GSpareSize = 0;

std::size_t Rounded(std::size_t Size) { return (Size + Large - 1) / Large * Large; }

}  // namespace

void* AllocatePixels(std::size_t Size) {
  if (Size < Large) {
    if (void* Block = std::malloc(Size ? Size : 1)) return Block;
    throw std::bad_alloc();
  }
  const std::size_t Mapped = Rounded(Size);
  {
    std::lock_guard Guard(GLock);
    if (GSpare && GSpareSize == Mapped) return std::exchange(GSpare, nullptr);
  }
  void* Block = mmap(nullptr, Mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (Block == MAP_FAILED) throw std::bad_alloc();
  madvise(Block, Mapped, MADV_HUGEPAGE);
  return Block;
}

void FreePixels(void* Block, std::size_t Size) {
  if (!Block) return;
  if (Size < Large) {
    std::free(Block);
    return;
  }
  const std::size_t Mapped = Rounded(Size);
  void* Released = Block;
  std::size_t ReleasedSize = Mapped;
  {
    std::lock_guard Guard(GLock);
    std::swap(Released, GSpare);
    std::swap(ReleasedSize, GSpareSize);
  }
  if (Released) munmap(Released, ReleasedSize);
}

}  // namespace Os
