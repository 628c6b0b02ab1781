// The image data of a PNG, filtered and deflated on every core.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "Graphics.hpp"

namespace Graphics::Detail {

// Rows of 8-bit samples, as the PNG holds them (red first).
struct TFilterInput {
  int Height = 0;
  std::size_t RowBytes = 0, BytesPerPixel = 0;
  std::function<void(int Y, std::uint8_t* Out)> Row;  // called from several threads at once
};

enum class TPngSpeed {
  Fast,     // every row through the Sub filter
  Balanced  // each row through the filter that leaves it nearest zero
};

// The zlib stream of a PNG's IDAT chunks.
std::vector<std::uint8_t> DeflateImageData(const TFilterInput& In, TPngSpeed Speed);

}  // namespace Graphics::Detail
