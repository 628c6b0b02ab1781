// Resources in the binary resource-file layout. Modules carry them as data
// that the loader and the package inspector read without running the
// module, so the reader trusts nothing: it reads through the bounded byte
// reader, each entry's header as a range of its own.
#include <algorithm>
#include <cstdio>

#include "SysUtils.hpp"

namespace SysUtils {
namespace {

// Windows keeps at most 65535 entries at each level of a module's resource
// directory; a file promising more is not a module's.
constexpr std::size_t MaxResources = 65535;
constexpr std::uint16_t OrdinalMark = 0xFFFF;
// Not loaded on demand but with the module, shared, discardable: what
// resource compilers write for everything a package carries.
constexpr std::uint16_t MemoryFlags = 0x1030;

std::size_t Aligned(std::size_t Size) { return (Size + 3) & ~std::size_t(3); }

// "#<number>", the name of a numbered resource or type.
std::string Numbered(unsigned Number) {
  std::string Text(1, '#');
  return Text.append(std::to_string(Number));
}

// A numbered item ("#2") as an ordinal, a named one as a UTF-16 string.
void WriteId(TByteWriter& Out, const std::string& Name) {
  unsigned Number = 0;
  int Used = 0;
  if (std::sscanf(Name.c_str(), "#%5u%n", &Number, &Used) == 1 && std::size_t(Used) == Name.size() &&
      Number <= 0xFFFF) {
    Out.U16(OrdinalMark).U16(std::uint16_t(Number));
    return;
  }
  for (unsigned char C : Name) Out.U16(C);
  Out.U16(0);
}

void WriteEntry(TByteWriter& Out, const std::string& Type, const std::string& Name, std::uint16_t Language,
                std::uint16_t Flags, std::span<const std::uint8_t> Data) {
  const std::size_t Start = Out.Size();
  Out.U32(std::uint32_t(Data.size()))
      .U32(0);  // header size, put below
  WriteId(Out, Type);
  WriteId(Out, Name);
  Out.Align(4)
      .U32(0)  // data version
      .U16(Flags)
      .U16(Language)
      .U32(0)   // version
      .U32(0);  // characteristics
  Out.PutU32(Start + 4, std::uint32_t(Out.Size() - Start));
  Out.Bytes(Data).Align(4);
}

// An ordinal as "#<number>", or a string of printable ASCII; false for a
// string. Fail takes a fault and the offset it is told at.
template <class F>
std::pair<std::string, bool> ReadId(TByteReader& Header, std::size_t Start, F Fail) {
  std::uint16_t C = Header.U16();
  if (C == OrdinalMark) return {Numbered(Header.U16()), true};
  std::string Name;
  for (; C != 0; C = Header.U16()) {
    if (C < 0x20 || C > 0x7E) Fail("a resource name that is not printable ASCII", Start + Header.Position());
    Name += char(C);
  }
  if (Name.empty()) Fail("an empty resource name", Start + Header.Position());
  return {Name, false};
}

}  // namespace

std::vector<std::uint8_t> EncodeResources(std::span<const Windows::TResourceEntry> Entries) {
  TByteWriter Out;
  // The empty entry that opens every resource file.
  WriteEntry(Out, "#0", "#0", 0, 0, {});
  for (const Windows::TResourceEntry& Entry : Entries)
    WriteEntry(Out, Numbered(Entry.Type), Entry.Name, Entry.Language, MemoryFlags, Entry.Data);
  return Out.Take();
}

std::vector<Windows::TResourceEntry> DecodeResources(std::span<const std::uint8_t> Data, const std::string& Where) {
  const std::string Source = Where + ": resources";
  TByteReader In(Data, Source, RaiseFault<EPackageError>);
  const auto Fail = [&](const std::string& Fault, std::size_t At) {
    In.Fail(Fault + " at offset " + std::to_string(At));
  };
  std::vector<Windows::TResourceEntry> Entries;
  while (!In.AtEnd()) {
    const std::size_t Start = In.Position();
    const std::span<const std::uint8_t> Sizes = In.Peek(8, "entry header");
    const std::uint32_t DataSize = Le32(&Sizes[0]), HeaderSize = Le32(&Sizes[4]);
    if (HeaderSize > In.Left() || HeaderSize < 8)
      Fail("entry header size " + std::to_string(HeaderSize) + " out of bounds", Start + 8);
    TByteReader Header = In.Sub(HeaderSize, "entry header");
    Header.Skip(8);
    const auto [Type, TypeIsNumber] = ReadId(Header, Start, Fail);
    const std::string Name = ReadId(Header, Start, Fail).first;
    Header.Seek(std::min(Aligned(Header.Position()), Header.Size()));
    Header.U32();  // data version
    Header.U16();  // memory flags
    const std::uint16_t Language = Header.U16();
    Header.U32();  // version
    Header.U32();  // characteristics
    const std::span<const std::uint8_t> Bytes = In.Bytes(DataSize, "resource data");
    In.Skip(std::min(Aligned(DataSize) - DataSize, In.Left()));
    if (!TypeIsNumber) Fail("named resource type '" + Type + "' is not supported", In.Position());
    const unsigned TypeNumber = unsigned(std::stoul(Type.substr(1)));
    if (TypeNumber == 0) continue;  // the empty opening entry
    if (Entries.size() == MaxResources) Fail("more than " + std::to_string(MaxResources) + " resources", In.Position());
    Entries.push_back({Name, std::uint16_t(TypeNumber), Language, Bytes});
  }
  return Entries;
}

std::string ResourceTypeName(std::uint16_t Type) {
  static const char* const Names[] = {nullptr,      "CURSOR",       "BITMAP", "ICON",  "MENU",       "DIALOG",
                                      "STRING",     "FONTDIR",      "FONT",   "ACCELERATOR", "RCDATA",
                                      "MESSAGETABLE", "GROUP_CURSOR", nullptr, "GROUP_ICON", nullptr,
                                      "VERSION",    "DLGINCLUDE",   nullptr,  "PLUGPLAY", "VXD",
                                      "ANICURSOR",  "ANIICON",      "HTML",   "MANIFEST"};
  if (Type < std::size(Names) && Names[Type]) return Names[Type];
  return Numbered(Type);
}

}  // namespace SysUtils
