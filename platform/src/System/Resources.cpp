// Resources in the binary resource-file layout. Modules carry them as data
// that the loader and the package inspector read without running the
// module, so the reader trusts nothing: every length is checked against
// what is left before it is used.
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

class TWriter {
public:
  void U16(std::uint16_t V) {
    FBytes.push_back(std::uint8_t(V));
    FBytes.push_back(std::uint8_t(V >> 8));
  }
  void U32(std::uint32_t V) {
    U16(std::uint16_t(V));
    U16(std::uint16_t(V >> 16));
  }
  // A numbered item ("#2") as an ordinal, a named one as a UTF-16 string.
  void Id(const std::string& Name) {
    unsigned Number = 0;
    int Used = 0;
    if (std::sscanf(Name.c_str(), "#%5u%n", &Number, &Used) == 1 && std::size_t(Used) == Name.size() &&
        Number <= 0xFFFF) {
      U16(OrdinalMark);
      U16(std::uint16_t(Number));
      return;
    }
    for (unsigned char C : Name) U16(C);
    U16(0);
  }
  void Pad() { FBytes.resize(Aligned(FBytes.size())); }
  void Bytes(std::span<const std::uint8_t> Data) { FBytes.insert(FBytes.end(), Data.begin(), Data.end()); }
  std::size_t Size() const { return FBytes.size(); }
  void PatchU32(std::size_t At, std::uint32_t V) {
    for (int B = 0; B < 4; ++B) FBytes[At + std::size_t(B)] = std::uint8_t(V >> (8 * B));
  }
  std::vector<std::uint8_t> Take() { return std::move(FBytes); }

private:
  std::vector<std::uint8_t> FBytes;
};

void WriteEntry(TWriter& Out, const std::string& Type, const std::string& Name, std::uint16_t Language,
                std::uint16_t Flags, std::span<const std::uint8_t> Data) {
  const std::size_t Start = Out.Size();
  Out.U32(std::uint32_t(Data.size()));
  Out.U32(0);  // header size, patched below
  Out.Id(Type);
  Out.Id(Name);
  Out.Pad();
  Out.U32(0);  // data version
  Out.U16(Flags);
  Out.U16(Language);
  Out.U32(0);  // version
  Out.U32(0);  // characteristics
  Out.PatchU32(Start + 4, std::uint32_t(Out.Size() - Start));
  Out.Bytes(Data);
  Out.Pad();
}

class TReader {
public:
  TReader(std::span<const std::uint8_t> Data, const std::string& Where) : FData(Data), FWhere(Where) {}

  [[noreturn]] void Fail(const std::string& Fault) const {
    throw EPackageError(FWhere + ": resources: " + Fault + " at offset " + std::to_string(FPos));
  }
  bool AtEnd() const { return FPos == FData.size(); }
  std::size_t Pos() const { return FPos; }
  std::size_t Left() const { return FData.size() - FPos; }

  std::uint16_t U16(std::size_t End) {
    if (End - FPos < 2) Fail("entry header truncated");
    const std::uint16_t V = std::uint16_t(FData[FPos] | FData[FPos + 1] << 8);
    FPos += 2;
    return V;
  }
  std::uint32_t U32(std::size_t End) {
    const std::uint32_t Low = U16(End);
    return Low | std::uint32_t(U16(End)) << 16;
  }
  // An ordinal as "#<number>", or a string of printable ASCII.
  std::pair<std::string, bool> Id(std::size_t End) {
    std::uint16_t C = U16(End);
    if (C == OrdinalMark) return {Numbered(U16(End)), true};
    std::string Name;
    for (; C != 0; C = U16(End)) {
      if (C < 0x20 || C > 0x7E) Fail("a resource name that is not printable ASCII");
      Name += char(C);
    }
    if (Name.empty()) Fail("an empty resource name");
    return {Name, false};
  }
  void Seek(std::size_t To) { FPos = To; }
  std::span<const std::uint8_t> Slice(std::size_t From, std::size_t Size) const { return FData.subspan(From, Size); }

private:
  std::span<const std::uint8_t> FData;
  const std::string& FWhere;
  std::size_t FPos = 0;
};

}  // namespace

std::vector<std::uint8_t> EncodeResources(std::span<const Windows::TResourceEntry> Entries) {
  TWriter Out;
  // The empty entry that opens every resource file.
  WriteEntry(Out, "#0", "#0", 0, 0, {});
  for (const Windows::TResourceEntry& Entry : Entries)
    WriteEntry(Out, Numbered(Entry.Type), Entry.Name, Entry.Language, MemoryFlags, Entry.Data);
  return Out.Take();
}

std::vector<Windows::TResourceEntry> DecodeResources(std::span<const std::uint8_t> Data, const std::string& Where) {
  std::vector<Windows::TResourceEntry> Entries;
  TReader In(Data, Where);
  while (!In.AtEnd()) {
    const std::size_t Start = In.Pos();
    if (In.Left() < 8) In.Fail("entry header truncated");
    const std::uint32_t DataSize = In.U32(Data.size());
    const std::uint32_t HeaderSize = In.U32(Data.size());
    if (HeaderSize > In.Left() + 8 || HeaderSize < 8) In.Fail("entry header size " + std::to_string(HeaderSize) + " out of bounds");
    const std::size_t HeaderEnd = Start + HeaderSize;
    const auto [Type, TypeIsNumber] = In.Id(HeaderEnd);
    const std::string Name = In.Id(HeaderEnd).first;
    In.Seek(std::min(Start + Aligned(In.Pos() - Start), HeaderEnd));
    In.U32(HeaderEnd);  // data version
    In.U16(HeaderEnd);  // memory flags
    const std::uint16_t Language = In.U16(HeaderEnd);
    In.U32(HeaderEnd);  // version
    In.U32(HeaderEnd);  // characteristics
    if (DataSize > Data.size() - HeaderEnd) In.Fail("resource data past the end");
    In.Seek(std::min(HeaderEnd + Aligned(DataSize), Data.size()));
    if (!TypeIsNumber) In.Fail("named resource type '" + Type + "' is not supported");
    const unsigned TypeNumber = unsigned(std::stoul(Type.substr(1)));
    if (TypeNumber == 0) continue;  // the empty opening entry
    if (Entries.size() == MaxResources) In.Fail("more than " + std::to_string(MaxResources) + " resources");
    Entries.push_back({Name, std::uint16_t(TypeNumber), Language, Data.subspan(HeaderEnd, DataSize)});
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
