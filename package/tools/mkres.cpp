// mkres OUTPUT.cpp BUILD_OPTIONS
// Writes the package module's resources into a C++ source file: one byte
// array per resource and the table the loader finds through VclResourceTable.
#include <cstdio>
#include <exception>
#include <string>

#include "Graphics.hpp"
#include "Resources.hpp"

namespace {

using Tessorin::Resources::TResource;

std::string Hex(unsigned Value, int Digits) {
  char Text[16];
  std::snprintf(Text, sizeof Text, "0x%0*X", Digits, Value);
  return Text;
}

std::string ArrayName(std::size_t Index) { return "Resource" + std::to_string(Index); }

std::string ByteArray(const std::string& Name, const std::vector<std::uint8_t>& Data) {
  std::string Out = "const std::uint8_t " + Name + "[] = {";
  for (std::size_t I = 0; I < Data.size(); ++I) Out += (I % 16 == 0 ? "\n    " : " ") + Hex(Data[I], 2) + ",";
  return Out + "\n};\n\n";
}

// A resource with no bytes gets no array: C++ has no arrays of size zero.
std::string TableEntry(const TResource& R, std::size_t Index) {
  const std::string Data = R.Data.empty() ? "nullptr, 0" : ArrayName(Index) + ", sizeof " + ArrayName(Index);
  return "    {\"" + R.Name + "\", " + std::to_string(R.Type) + ", " + Hex(R.Language, 4) + ", " + Data + "},\n";
}

std::string Source(const std::vector<TResource>& Resources) {
  std::string Out =
      "// Written by mkres at build time; do not edit.\n"
      "#include <cstddef>\n#include <cstdint>\n#include <iterator>\n\n#include \"Windows.hpp\"\n\n"
      "namespace {\n\n";
  for (std::size_t I = 0; I < Resources.size(); ++I)
    if (!Resources[I].Data.empty()) Out += ByteArray(ArrayName(I), Resources[I].Data);
  Out += "const Windows::TResourceEntry Table[] = {\n";
  for (std::size_t I = 0; I < Resources.size(); ++I) Out += TableEntry(Resources[I], I);
  return Out +
         "};\n\n}  // namespace\n\n"
         "extern \"C\" __attribute__((visibility(\"default\"))) const Windows::TResourceEntry* "
         "VclResourceTable(std::size_t* Count) {\n"
         "  if (Count) *Count = std::size(Table);\n"
         "  return Table;\n"
         "}\n";
}

}  // namespace

int main(int Argc, char** Argv) {
  if (Argc != 3) {
    std::fprintf(stderr, "usage: mkres OUTPUT.cpp BUILD_OPTIONS\n");
    return 2;
  }
  try {
    const std::string Text = Source(Tessorin::Resources::ModuleResources(Argv[2]));
    Graphics::WriteFileBytes(Argv[1], {reinterpret_cast<const std::uint8_t*>(Text.data()), Text.size()});
  } catch (const std::exception& E) {
    std::fprintf(stderr, "mkres: %s\n", E.what());
    return 1;
  }
  return 0;
}
