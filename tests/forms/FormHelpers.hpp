// Form files in memory, for the tests: stored, read, and converted both ways.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Classes.hpp"

namespace FormHelpers {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Store(Classes::TComponent* Root) {
  Classes::TMemoryStream Stream;
  Stream.WriteComponent(Root);
  return Stream.Memory();
}

inline void Load(const Bytes& Data, Classes::TComponent* Root) {
  Classes::TMemoryStream Stream(Data);
  Stream.ReadComponent(Root);
}

inline std::string AsText(const Bytes& Binary) {
  Classes::TMemoryStream In(Binary), Out;
  Classes::ObjectBinaryToText(In, Out);
  return {Out.Memory().begin(), Out.Memory().end()};
}

inline Bytes AsBinary(const std::string& Text) {
  Classes::TMemoryStream In(Bytes(Text.begin(), Text.end())), Out;
  Classes::ObjectTextToBinary(In, Out);
  return Out.Memory();
}

// A binary form built byte by byte: "TPF0", then what the test appends.
struct TStored {
  TStored() { Data.assign(Signature.begin(), Signature.end()); }
  static constexpr std::string_view Signature = "TPF0";
  Bytes Data;
  TStored& U8(unsigned V) { return Data.push_back(std::uint8_t(V)), *this; }
  TStored& U16(unsigned V) { return U8(V & 0xFF).U8(V >> 8); }
  TStored& U32(std::uint32_t V) { return U16(V & 0xFFFF).U16(V >> 16); }
  TStored& Str(const std::string& S) {  // a short string: length byte, bytes
    U8(unsigned(S.size()));
    Data.insert(Data.end(), S.begin(), S.end());
    return *this;
  }
  TStored& Raw(const Bytes& B) { return Data.insert(Data.end(), B.begin(), B.end()), *this; }
};

}  // namespace FormHelpers
