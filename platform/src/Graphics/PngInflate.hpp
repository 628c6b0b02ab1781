// PNG files of the common kind read without libpng: 8-bit grey, RGB or RGBA,
// not interlaced, every chunk well formed. The reader takes any file it is
// not sure of to libpng, which reads it and reports its faults, so a file
// reads the same either way.
#pragma once

#include <cstdint>
#include <span>

#include "Dib.hpp"

namespace Graphics::Detail {

// What the chunks of a file of that kind say.
struct TPlainPng {
  std::uint32_t Width = 0, Height = 0;
  int Channels = 0;  // 1 grey, 3 RGB, 4 RGBA
  TPixelFormat Format = pfDevice;
  std::span<const std::uint8_t> ImageChunks;  // the file from its first IDAT chunk on
};

// True when Data is a file of that kind whose sides are at most MaxSide:
// the signature, the header, every chunk's length, name and CRC, the IDAT
// chunks in one run and IEND checked, and no chunk that changes how pixels
// read. Looks at the chunks only, not at the image data.
bool FindPlainPng(std::span<const std::uint8_t> Data, std::uint32_t MaxSide, TPlainPng& Png);

// Inflates and unfilters the image data into Image, an image of Png's size
// and format with rows to fill, writing every byte of them. False when the
// data is anything but one zlib stream of exactly the rows, checksum right;
// Image is then partly written.
bool DecodePlainPng(const TPlainPng& Png, TDib& Image);

}  // namespace Graphics::Detail
