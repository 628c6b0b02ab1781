// The bodies of the fuzz targets, as plain functions so that ordinary tests
// can run them over the committed seed and crash files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Graphics.hpp"

namespace Fuzz {

// Small limits keep every input fast, unless the program's own limits were
// asked for. The caller's limits come back afterwards, since tests run these
// bodies inside their own process.
class TFuzzLimits {
public:
  TFuzzLimits();
  ~TFuzzLimits();
  TFuzzLimits(const TFuzzLimits&) = delete;
  TFuzzLimits& operator=(const TFuzzLimits&) = delete;

private:
  Graphics::TImageLimits FSaved;
};

// From now on the image readers run with the program's own limits (16,384
// pixels a side, 128 Mpx) instead of the small ones that keep inputs fast.
void UseProgramLimits();

// Each feeds the bytes to one reader and must return without crashing,
// hanging or exhausting memory, whatever the bytes are.
int BmpReader(const std::uint8_t* Data, std::size_t Size);
int PictureLoader(const std::uint8_t* Data, std::size_t Size);
// A PNG read by the reader and by libpng alone: both must give the same
// image, or raise the same fault with the same message; then the same again
// with every chunk's CRC made right. Not on Windows.
int PngReader(const std::uint8_t* Data, std::size_t Size);
// The package information record and the version block; the first byte
// chooses which.
int PackageRecords(const std::uint8_t* Data, std::size_t Size);
// A module file read as data, or its resource file alone; the first byte
// chooses which.
int ModuleFile(const std::uint8_t* Data, std::size_t Size);
// The walk in front of the Windows JPEG codec (markers and Huffman codes),
// with the program's pixel limit.
int JpegWalk(const std::uint8_t* Data, std::size_t Size);
// A Windows module read as data, as every system reads it: the headers, the
// exports as they are shown, the resources and the records among them. The
// first byte chooses whether the rest is a file or a loaded image.
int ModuleFilePe(const std::uint8_t* Data, std::size_t Size);
// Form files, binary and text: the tree, whose text and binary read back
// the same; then the components it names, with the filter image registered
// and what the host does not know kept (placeholders, stored values), which
// stored and read again store the same. In FuzzForms.cpp, which needs the
// package.
int FormBinary(const std::uint8_t* Data, std::size_t Size);
int FormText(const std::uint8_t* Data, std::size_t Size);

}  // namespace Fuzz
