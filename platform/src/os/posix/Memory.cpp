// Memory for pixels. Large images come straight from the system in huge
// pages, so a fresh 48 MB picture costs a few dozen page faults instead of
// twelve thousand; the most recently freed large block is kept for the next
// image of about its size, the way a picture is replaced by one of the same
// size again and again.
//
// Under AddressSanitizer the large blocks are poisoned the way the
// sanitizer's own heap would be: the slack after a block's requested size
// stays unaddressable, and so does the kept block until it is handed out
// again, for its new size only.
#include <cstdlib>
#include <mutex>
#include <new>
#include <sys/mman.h>
#include <utility>

#include "os/Os.hpp"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESSORIN_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) && !defined(TESSORIN_ASAN)
#define TESSORIN_ASAN 1
#endif
#ifdef TESSORIN_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace Os {

namespace {

constexpr std::size_t Large = std::size_t(2) << 20;  // one huge page
std::mutex GLock;
void* GSpare = nullptr;
std::size_t GSpareSize = 0;

std::size_t Rounded(std::size_t Size) { return (Size + Large - 1) / Large * Large; }

// Makes the first Size bytes of a mapped block addressable and the rest not.
void Expose([[maybe_unused]] void* Block, [[maybe_unused]] std::size_t Size, [[maybe_unused]] std::size_t Mapped) {
#ifdef TESSORIN_ASAN
  ASAN_UNPOISON_MEMORY_REGION(Block, Size);
  ASAN_POISON_MEMORY_REGION(static_cast<char*>(Block) + Size, Mapped - Size);
#endif
}

// Makes a whole mapped block unaddressable while it waits to be reused.
void Hide([[maybe_unused]] void* Block, [[maybe_unused]] std::size_t Mapped) {
#ifdef TESSORIN_ASAN
  ASAN_POISON_MEMORY_REGION(Block, Mapped);
#endif
}

// Clears the marks before the pages go back, so that whatever is mapped at
// the address later starts addressable.
void Release(void* Block, std::size_t Mapped) {
#ifdef TESSORIN_ASAN
  ASAN_UNPOISON_MEMORY_REGION(Block, Mapped);
#endif
  munmap(Block, Mapped);
}

}  // namespace

void* AllocatePixels(std::size_t Size) {
  if (Size < Large) {
    if (void* Block = std::malloc(Size ? Size : 1)) return Block;
    throw std::bad_alloc();
  }
  const std::size_t Mapped = Rounded(Size);
  void* Block = nullptr;
  {
    std::lock_guard Guard(GLock);
    if (GSpare && GSpareSize == Mapped) Block = std::exchange(GSpare, nullptr);
  }
  if (!Block) {
    Block = mmap(nullptr, Mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (Block == MAP_FAILED) throw std::bad_alloc();
    madvise(Block, Mapped, MADV_HUGEPAGE);
  }
  Expose(Block, Size, Mapped);
  return Block;
}

void FreePixels(void* Block, std::size_t Size) {
  if (!Block) return;
  if (Size < Large) {
    std::free(Block);
    return;
  }
  const std::size_t Mapped = Rounded(Size);
  Hide(Block, Mapped);
  void* Released = Block;
  std::size_t ReleasedSize = Mapped;
  {
    std::lock_guard Guard(GLock);
    std::swap(Released, GSpare);
    std::swap(ReleasedSize, GSpareSize);
  }
  if (Released) Release(Released, ReleasedSize);
}

}  // namespace Os
