// The bitmap's image: a device-independent block of top-down rows. Shared
// by bitmaps that were assigned from one another until one of them writes.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "Graphics.hpp"
#include "os/Os.hpp"

namespace Graphics::Detail {

// Pixel memory comes from the system's pixel allocator, and growing a
// buffer leaves the new bytes uninitialised: whoever makes an image writes
// every byte of it, padding included.
template <class T>
struct TPixelAllocator {
  using value_type = T;
  TPixelAllocator() = default;
  template <class U>
  TPixelAllocator(const TPixelAllocator<U>&) {}
  T* allocate(std::size_t Count) { return static_cast<T*>(Os::AllocatePixels(Count * sizeof(T))); }
  void deallocate(T* Block, std::size_t Count) { Os::FreePixels(Block, Count * sizeof(T)); }
  template <class U>
  void construct(U* Place) noexcept {
    ::new (static_cast<void*>(Place)) U;
  }
  template <class U, class... Args>
  void construct(U* Place, Args&&... Arguments) {
    ::new (static_cast<void*>(Place)) U(std::forward<Args>(Arguments)...);
  }
  friend bool operator==(const TPixelAllocator&, const TPixelAllocator&) { return true; }
};
using TPixelBuffer = std::vector<std::uint8_t, TPixelAllocator<std::uint8_t>>;

struct TDib {
  TDib() = default;
  // Copies go through memcpy: a vector with its own allocator would copy
  // byte by byte.
  TDib(const TDib& Other)
      : Width(Other.Width), Height(Other.Height), Format(Other.Format), Palette(Other.Palette), Stride(Other.Stride) {
    Bits.resize(Other.Bits.size());
    if (!Bits.empty()) std::memcpy(Bits.data(), Other.Bits.data(), Bits.size());
  }
  TDib& operator=(const TDib& Other) {
    if (this != &Other) *this = TDib(Other);
    return *this;
  }
  TDib(TDib&&) noexcept = default;
  TDib& operator=(TDib&&) noexcept = default;

  int Width = 0;
  int Height = 0;
  TPixelFormat Format = pfDevice;
  std::vector<TRGBQuad> Palette;  // indexed formats only
  std::size_t Stride = 0;         // bytes per row, a multiple of 4
  TPixelBuffer Bits;              // Height rows, row 0 at the top

  std::uint8_t* Row(int Y) { return Bits.data() + std::size_t(Y) * Stride; }
  const std::uint8_t* Row(int Y) const { return Bits.data() + std::size_t(Y) * Stride; }
  bool Empty() const { return Width == 0 || Height == 0; }
};

// A black image of the given size and format, with the format's default
// palette. Raises EInvalidGraphic (naming What) when a side is negative or
// the image exceeds the configured limits, EOutOfResources when memory fails.
TDib MakeDib(int Width, int Height, TPixelFormat Format, const std::string& What = "bitmap");
// The same, with rows left for the caller to fill, every byte of them.
TDib MakeUnfilledDib(int Width, int Height, TPixelFormat Format, const std::string& What = "bitmap");
// Checks a size against the limits without allocating; raises like MakeDib.
void CheckImageSize(std::int64_t Width, std::int64_t Height, const std::string& What);

// The palette a new indexed bitmap starts with: black and white for 1 bit,
// the standard 16 colours for 4 bits, and for 8 bits the 16 standard colours
// followed by a 6x6x6 colour cube and a 24-step grey ramp.
std::vector<TRGBQuad> DefaultPalette(TPixelFormat Format);
bool IsIndexed(TPixelFormat Format);
// An indexed image's palette, padded with black to cover every index a
// pixel uses (black is what such a pixel shows as), for writers whose
// formats refuse a pixel beyond the palette.
std::vector<TRGBQuad> PaddedPalette(const TDib& Image);
// The image as the system's native bitmaps and windows take it.
Os::TBitmapImage NativeImage(const TDib& Image);
// 256 steps from black to white, for grey pictures read from files.
std::vector<TRGBQuad> GreyPalette();

// Widens a channel of Bits bits (1 to 16) to 8: round(v * 255 / max).
std::uint8_t Widen(unsigned Value, int Bits);

// Row Y decoded to Width pixels of blue, green, red, alpha (alpha 255 unless
// the format carries one).
void DecodeRow(const TDib& Image, int Y, TRGBQuad* Out);

// Maps colours to the nearest palette entry, remembering recent answers.
class TNearestColor {
public:
  explicit TNearestColor(const std::vector<TRGBQuad>& Palette);
  std::uint8_t operator()(TRGBQuad Colour);

private:
  const std::vector<TRGBQuad>& FPalette;
  std::vector<std::uint32_t> FKeys;
  std::vector<std::uint8_t> FValues;
};

// Writes Width pixels into row Y in the image's format. Nearest is needed
// for the indexed formats only.
void EncodeRow(TDib& Image, int Y, const TRGBQuad* In, TNearestColor* Nearest);

// The same picture in another format, keeping size and colours as far as
// the format allows.
TDib Convert(const TDib& Source, TPixelFormat Format);

// The same picture at another size; overlapping content kept, new area black.
TDib Resize(const TDib& Source, int Width, int Height);

}  // namespace Graphics::Detail
