// The pixel loops of the unit, on raw rows. Kept apart so that the loops
// see only locals and the compiler can vectorise them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace LvFltImg::Blend {

// Image[i] = max(0, Image[i] - Filter[i]) for Count bytes.
void SubtractRow(std::uint8_t* Image, const std::uint8_t* Filter, std::size_t Count);
// Row[i] = 255 - Row[i] for Count bytes.
void InvertRow(std::uint8_t* Row, std::size_t Count);

}  // namespace LvFltImg::Blend
