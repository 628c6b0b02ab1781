// What every PNG path here knows of the format: the signature, the header
// chunk's fields, colour types and row filters, the limits libpng reads
// with as it is set up, and one walk over a file's chunks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <utility>

#include "SysUtils.hpp"

namespace Graphics::Detail::PngFormat {

constexpr std::uint8_t Signature[8] = {137, 'P', 'N', 'G', 13, 10, 26, 10};
inline bool HasSignature(std::span<const std::uint8_t> Data) {
  return Data.size() >= 8 && std::memcmp(Data.data(), Signature, 8) == 0;
}

// The most libpng buffers of any chunk but IDAT, as the reader sets it up.
constexpr std::uint32_t MaxChunkBytes = 8u << 20;
// No chunk is longer than this in any PNG.
constexpr std::uint32_t MaxChunkLength = 0x7FFFFFFF;

using SysUtils::Be32;

enum class TColourType : std::uint8_t { Grey = 0, Rgb = 2, Palette = 3, GreyAlpha = 4, RgbAlpha = 6 };
// The colour type a header's byte names, if it names one.
inline std::optional<TColourType> ColourTypeOf(std::uint8_t Byte) {
  switch (Byte) {
    case 0: case 2: case 3: case 4: case 6: return TColourType(Byte);
    default: return std::nullopt;
  }
}

enum TRowFilter : std::uint8_t { ftNone, ftSub, ftUp, ftAverage, ftPaeth };

// The Paeth predictor of a byte from the one before it (A), above it (B)
// and above that (C).
inline std::uint8_t Paeth(int A, int B, int C) {
  const int P = A + B - C, PA = std::abs(P - A), PB = std::abs(P - B), PC = std::abs(P - C);
  return std::uint8_t(PA <= PB && PA <= PC ? A : PB <= PC ? B : C);
}

// The header chunk, the first of every file, as it stands after the signature.
struct THeader {
  std::uint32_t Width = 0, Height = 0;
  std::uint8_t BitDepth = 0, ColourType = 0, Compression = 0, Filter = 0, Interlace = 0;
};
// Where its parts lie in the file.
constexpr std::size_t HeaderName = 12, HeaderFields = 16, HeaderCrc = 29, HeaderEnd = 33;

// The sides the header gives, where the file holds them after an IHDR
// name, whatever else it holds: enough to refuse an oversized picture first.
inline std::optional<std::pair<std::uint32_t, std::uint32_t>> Sides(std::span<const std::uint8_t> Data) {
  if (Data.size() < HeaderFields + 8 || std::memcmp(Data.data() + HeaderName, "IHDR", 4) != 0) return std::nullopt;
  return std::pair{Be32(Data.data() + HeaderFields), Be32(Data.data() + HeaderFields + 4)};
}

// The header's fields, if the file starts with the signature and an IHDR
// chunk of the right length; its CRC is not checked.
inline std::optional<THeader> ReadHeader(std::span<const std::uint8_t> Data) {
  if (Data.size() < HeaderEnd || !HasSignature(Data)) return std::nullopt;
  if (Be32(Data.data() + 8) != 13 || std::memcmp(Data.data() + HeaderName, "IHDR", 4) != 0) return std::nullopt;
  const std::uint8_t* F = Data.data() + HeaderFields;
  return THeader{Be32(F), Be32(F + 4), F[8], F[9], F[10], F[11], F[12]};
}

// One chunk as the walk finds it. Length is what the chunk says; Data is
// what the file holds of it, which is less for a chunk cut off by the
// file's end (Whole then false, and the walk ends with it).
struct TChunk {
  std::size_t Position = 0;  // of its length field
  std::uint32_t Length = 0;
  const std::uint8_t* Name = nullptr;
  std::span<const std::uint8_t> Data;
  bool Whole = false;        // its data and CRC are all in the file
  bool Is(const char* Four) const { return std::memcmp(Name, Four, 4) == 0; }
  std::uint32_t Crc() const { return Be32(Data.data() + Length); }
};

// Calls Visit with each chunk after the signature, in order, until Visit
// answers false or the file ends; a chunk whose length and name are not
// all in the file ends the walk unvisited.
template <class F>
void WalkChunks(std::span<const std::uint8_t> Data, F Visit) {
  for (std::size_t Position = 8; Data.size() >= Position && Data.size() - Position >= 8;) {
    TChunk Chunk;
    Chunk.Position = Position;
    Chunk.Length = Be32(Data.data() + Position);
    Chunk.Name = Data.data() + Position + 4;
    const std::size_t Left = Data.size() - Position - 8;
    Chunk.Whole = Left >= 4 && Chunk.Length <= Left - 4;
    Chunk.Data = Data.subspan(Position + 8, Chunk.Whole ? std::size_t(Chunk.Length) : std::min<std::size_t>(Chunk.Length, Left));
    if (!Visit(Chunk) || !Chunk.Whole) return;
    Position += 12 + std::size_t(Chunk.Length);
  }
}

}  // namespace Graphics::Detail::PngFormat
