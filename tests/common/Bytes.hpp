// Files and records forged byte by byte, little-endian, for the tests of
// the readers; and fields read and changed at their offsets.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace TestBytes {

using Bytes = std::vector<std::uint8_t>;

// Each call answers the builder (Self, for a builder that adds fields of
// its own), so that a record is written as one chain.
template <class Self>
struct TBuilder {
  Bytes Data;
  Self& U8(unsigned V) { return Data.push_back(std::uint8_t(V)), Me(); }
  Self& U16(unsigned V) { return U8(V & 0xFF).U8(V >> 8 & 0xFF); }
  Self& U32(std::uint32_t V) { return U16(V & 0xFFFF).U16(V >> 16); }
  Self& Raw(const Bytes& B) { return Data.insert(Data.end(), B.begin(), B.end()), Me(); }
  Self& Chars(std::string_view S) { return Data.insert(Data.end(), S.begin(), S.end()), Me(); }
  Self& Zeros(std::size_t Count) { return Data.resize(Data.size() + Count), Me(); }

private:
  Self& Me() { return static_cast<Self&>(*this); }
};

struct TBytes : TBuilder<TBytes> {};

inline unsigned Get16(const Bytes& B, std::size_t At) { return B.at(At) | B.at(At + 1) << 8; }
inline std::uint32_t Get32(const Bytes& B, std::size_t At) { return Get16(B, At) | std::uint32_t(Get16(B, At + 2)) << 16; }
// Grows B to hold the field where it is past the end.
inline void Put16(Bytes& B, std::size_t At, std::uint32_t V) {
  if (B.size() < At + 2) B.resize(At + 2);
  B[At] = std::uint8_t(V), B[At + 1] = std::uint8_t(V >> 8);
}
inline void Put32(Bytes& B, std::size_t At, std::uint32_t V) { Put16(B, At, V & 0xFFFF), Put16(B, At + 2, V >> 16); }

}  // namespace TestBytes
