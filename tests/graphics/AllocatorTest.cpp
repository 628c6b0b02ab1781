// Large pixel blocks come from the system and are kept for reuse; under
// AddressSanitizer they must still be watched as closely as the sanitizer's
// own heap watches small ones.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>

#include "Graphics.hpp"
#include "os/Os.hpp"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ALLOCATOR_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) && !defined(ALLOCATOR_TEST_ASAN)
#define ALLOCATOR_TEST_ASAN 1
#endif

namespace {

#ifdef ALLOCATOR_TEST_ASAN
constexpr bool UnderAsan = true;
#else
constexpr bool UnderAsan = false;
#endif

constexpr std::size_t MiB = std::size_t(1) << 20;
// What the sanitizer says about a poisoned byte; a byte in the last, partly
// addressable 8-byte granule of a mapping it cannot put a name to.
constexpr const char* Poisoned = "ERROR: AddressSanitizer: (use-after-poison|unknown-crash)";

void Poke(std::uint8_t* Place) { *static_cast<volatile std::uint8_t*>(Place) = 1; }

// Writes every byte of the range in a child process and reports whether that
// went through unnoticed.
void ExpectWritable(std::uint8_t* Block, std::size_t Size) {
  EXPECT_EXIT(
      {
        std::memset(Block, 0x5a, Size);
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace

TEST(PixelAllocator, WritePastTheLastRowOfALargeBitmapIsReported) {
  if (!UnderAsan) GTEST_SKIP() << "built without AddressSanitizer";
  // 1000 pixels of 3 bytes are 3000 bytes a row; 700 rows are 2,100,000
  // bytes, past the 2 MiB where blocks come from the system, and far from a
  // multiple of it.
  Graphics::TBitmap Bitmap;
  Bitmap.SetPixelFormat(Graphics::pf24bit);
  Bitmap.SetSize(1000, 700);
  std::uint8_t* LastRow = Bitmap.ScanLine(699);
  ExpectWritable(Bitmap.ScanLine(0), std::size_t(700) * 3000);
  EXPECT_DEATH(Poke(LastRow + 3000), Poisoned);
}

TEST(PixelAllocator, WriteIntoAFreedLargeBitmapIsReported) {
  if (!UnderAsan) GTEST_SKIP() << "built without AddressSanitizer";
  std::uint8_t* Pixels = nullptr;
  {
    Graphics::TBitmap Bitmap;
    Bitmap.SetPixelFormat(Graphics::pf24bit);
    Bitmap.SetSize(1000, 700);
    Pixels = Bitmap.ScanLine(350);
  }
  // The block is kept for the next bitmap of its size, not returned.
  EXPECT_DEATH(Poke(Pixels), Poisoned);
}

// Blocks handed out again are addressable for their new size only, however
// that compares with the size they had before.
TEST(PixelAllocator, ReusedBlocksAreAddressableForTheirNewSizeOnly) {
  if (!UnderAsan) GTEST_SKIP() << "built without AddressSanitizer";
  const struct {
    const char* Name;
    std::size_t Before, After;  // both round up to the same mapping
  } Cases[] = {
      {"same size", 3 * MiB + 5, 3 * MiB + 5},
      {"smaller", 4 * MiB - 1, 2 * MiB + 3},
      {"larger", 2 * MiB + 1, 4 * MiB - 6},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    auto* First = static_cast<std::uint8_t*>(Os::AllocatePixels(Case.Before));
    std::memset(First, 1, Case.Before);
    Os::FreePixels(First, Case.Before);
    EXPECT_DEATH(Poke(First), Poisoned);
    EXPECT_DEATH(Poke(First + Case.Before - 1), Poisoned);

    auto* Again = static_cast<std::uint8_t*>(Os::AllocatePixels(Case.After));
    ASSERT_EQ(Again, First) << "the kept block was not reused";
    ExpectWritable(Again, Case.After);
    EXPECT_DEATH(Poke(Again + Case.After), Poisoned);
    EXPECT_DEATH(Poke(Again + 4 * MiB - 1), Poisoned);
    Os::FreePixels(Again, Case.After);
  }
}

// A block given back to the system leaves no marks behind for whatever is
// mapped at its address next.
TEST(PixelAllocator, ReleasedBlocksLeaveNoPoisonBehind) {
  if (!UnderAsan) GTEST_SKIP() << "built without AddressSanitizer";
  const std::size_t Size = 2 * MiB + 1, Mapped = 4 * MiB;
  void* First = Os::AllocatePixels(Size);
  Os::FreePixels(First, Size);  // kept, poisoned
  void* Other = Os::AllocatePixels(6 * MiB);
  Os::FreePixels(Other, 6 * MiB);  // kept instead; the first goes back
  void* Mapping =
      mmap(First, Mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
  if (Mapping == MAP_FAILED) GTEST_SKIP() << "the address was taken again before the test could map it";
  ASSERT_EQ(Mapping, First);
  ExpectWritable(static_cast<std::uint8_t*>(Mapping), Mapped);
  munmap(Mapping, Mapped);
}
