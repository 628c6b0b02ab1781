// Form files in memory, for the tests: stored, read, and converted both ways.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Classes.hpp"
#include "common/Bytes.hpp"

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
struct TStored : TestBytes::TBuilder<TStored> {
  TStored() { Chars("TPF0"); }
  TStored& Str(const std::string& S) { return U8(unsigned(S.size())).Chars(S); }  // a short string
};

}  // namespace FormHelpers
