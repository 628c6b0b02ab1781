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

// Called by every reader with the size it is about to allocate, after its
// own limits were checked. While a form is read on this thread, all its
// pictures together are held to TImageLimits::MaxFormPixels: raises
// EInvalidGraphic naming What when the read has no room left for this one.
void ChargeFormPixels(std::int64_t Width, std::int64_t Height, const std::string& What);

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
