// The palette bitmap as it must look, drawn by hand: 24 rows of letters.
#pragma once

#include <string>

#include "Graphics.hpp"

namespace PaletteDrawing {

// o olive, k black, y yellow, b blue, g lime; column 0 at the left, row 0 at the top.
inline const std::string O24(24, 'o');
inline const std::string Rows[24] = {
    O24, O24, O24,
    "okkkkkkkkkkkkkkkkkoooooo",  // 3: the yellow top
    "okyyyyyyyyyyyyyyykoooooo", "okyyyyyyyyyyyyyyykoooooo", "okyyyyyyyyyyyyyyykoooooo",
    "okyyyyyyyyyyyyyyykoooooo",
    "okyyyyyykkkkkkkkkkkkkkko",  // 8: the blue top crosses the yellow inside
    "okyyyyyykggggggggkbbbbko", "okyyyyyykggggggggkbbbbko", "okyyyyyykggggggggkbbbbko",
    "okyyyyyykggggggggkbbbbko",
    "okkkkkkkkkkkkkkkkkbbbbko",  // 13: the yellow bottom crosses the blue inside
    "ooooooookbbbbbbbbbbbbbko", "ooooooookbbbbbbbbbbbbbko", "ooooooookbbbbbbbbbbbbbko",
    "ooooooookbbbbbbbbbbbbbko",
    "ooooooookkkkkkkkkkkkkkko",  // 18: the blue bottom
    O24, O24, O24, O24, O24};

// The colour a letter stands for.
inline Graphics::TColor ColourOf(char Letter) {
  switch (Letter) {
    case 'o': return Graphics::RGB(128, 128, 0);
    case 'k': return Graphics::RGB(0, 0, 0);
    case 'y': return Graphics::RGB(255, 255, 0);
    case 'b': return Graphics::RGB(0, 0, 255);
    case 'g': return Graphics::RGB(0, 255, 0);
  }
  return Graphics::clNone;
}

}  // namespace PaletteDrawing
