// Form files in memory, for the tests: stored, read, and converted both ways.
#pragma once

#include <string>
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

}  // namespace FormHelpers
