// Readers and writers of picture files. Readers take untrusted bytes: they
// check every length and offset before use, apply the image limits before
// allocating, and raise EInvalidGraphic "<name>: <fault>" on anything wrong.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <vector>

#include "Dib.hpp"

namespace Graphics::Detail {

using Graphics::TFileFormat;
using Graphics::FormatForFileName;

// The pixels that all the pictures read on this thread while it is open may
// hold together: a stored form opens one around its read, so that a form
// of many pictures is held to TImageLimits::MaxFormPixels and not only each
// picture to its own limits. The innermost open budget is the one charged.
class TPictureBudget {
public:
  TPictureBudget();
  ~TPictureBudget();
  TPictureBudget(const TPictureBudget&) = delete;
  TPictureBudget& operator=(const TPictureBudget&) = delete;

  // Called by every reader with the size it is about to allocate, after its
  // own limits were checked; raises EInvalidGraphic naming What when the
  // open budget has no room left for it. Does nothing while none is open.
  static void Charge(std::int64_t Width, std::int64_t Height, const std::string& What);

private:
  std::uint64_t FLeft;
  TPictureBudget* FOuter;
};

TFileFormat SniffFormat(std::span<const std::uint8_t> Data);

// A picture file is taken in from its head: how much of the file, from its
// start, the picture in it can need, worked out from the file's first
// PictureHeadBytes bytes (all of it when it is shorter) and its size, and
// never more than that size. A file that is no picture, or whose BMP header
// is bad, is refused at once with the fault its reader would raise. A BMP
// header says where the pixels are and how many; PNG and JPEG carry no such
// length and are read as streams that stop at the picture's end, so for
// them it is the whole file, of which a mapped file reads what they touch.
constexpr std::size_t PictureHeadBytes = 4096;
std::uint64_t PictureExtent(std::span<const std::uint8_t> Head, std::uint64_t FileSize, const std::string& Name);
std::uint64_t BmpExtent(std::span<const std::uint8_t> Head, std::uint64_t FileSize, const std::string& Name);

TDib ReadBmp(std::span<const std::uint8_t> Data, const std::string& Name);
std::vector<std::uint8_t> WriteBmp(const TDib& Image);
// The same bytes, written to a stream a row at a time.
void WriteBmp(const TDib& Image, std::ostream& Out);

TDib ReadPng(std::span<const std::uint8_t> Data, const std::string& Name);
// The same with every file read by libpng, which ReadPng leaves the files of
// uncommon kinds to: the plain path that tests hold the fast one against.
TDib ReadPngThroughLibpng(std::span<const std::uint8_t> Data, const std::string& Name);
std::vector<std::uint8_t> WritePng(const TDib& Image, TPngCompression Compression = TPngCompression::Default);

TDib ReadJpeg(std::span<const std::uint8_t> Data, const std::string& Name);
std::vector<std::uint8_t> WriteJpeg(const TDib& Image, int Quality = 90);

// Recognises the format and reads it.
TDib ReadImage(std::span<const std::uint8_t> Data, const std::string& Name);
std::vector<std::uint8_t> WriteImage(const TDib& Image, TFileFormat Format);

}  // namespace Graphics::Detail
