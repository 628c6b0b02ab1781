// PE32 modules read as data. The bytes are outside data: every offset and
// size is checked against them before use, and the walks count what they
// visit, so a truncated or crafted module is refused rather than believed.
// Fields are read at their documented offsets, little-endian, so the code
// needs no system header and reads alike on every system.
#include "os/PeFile.hpp"

#include <algorithm>
#include <cstring>

#include "SysUtils.hpp"
#include "os/Os.hpp"

namespace Os::Pe {

namespace {

using SysUtils::EPackageError;

constexpr std::uint16_t DosSignature = 0x5A4D;        // "MZ"
constexpr std::uint32_t NtSignature = 0x00004550;     // "PE\0\0"
constexpr std::uint16_t MachineI386 = 0x014C;
constexpr std::uint16_t FileDll = 0x2000;
constexpr std::uint16_t Optional32Magic = 0x010B;
constexpr std::size_t FileHeaderSize = 20;
constexpr std::size_t OptionalFixedSize = 96;         // up to the data directories
constexpr std::size_t DirectoryCount = 16;
constexpr std::size_t SectionHeaderSize = 40;
constexpr std::uint32_t SectionReadable = 0x40000000;
constexpr unsigned ExportDirectory = 0, ResourceDirectory = 2;
constexpr std::size_t ExportDirectorySize = 40;
constexpr std::size_t ResourceDirectorySize = 16, ResourceEntrySize = 8, ResourceDataSize = 16;

// Bounds on what a crafted file costs; each well past any real module.
constexpr std::uint32_t MaxExports = 1 << 20;
constexpr std::size_t MaxExportName = 4096;
constexpr std::size_t MaxExportText = 16 << 20;
// The loader refuses more.
constexpr std::size_t MaxSections = 96;
// Directories may share subdirectories, so a small file can describe a huge
// tree: the walk counts what it visits, not what the file holds.
constexpr std::size_t MaxResources = 65535;
constexpr std::size_t MaxResourceEntries = 3 * MaxResources;
constexpr std::size_t MaxResourceName = 4096;
constexpr std::size_t MaxResourceText = 16 << 20;
constexpr std::uint32_t HighBit = 0x80000000u;

std::uint16_t Le16(std::span<const std::uint8_t> In, std::size_t At) {
  return std::uint16_t(In[At] | In[At + 1] << 8);
}
std::uint32_t Le32(std::span<const std::uint8_t> In, std::size_t At) {
  return Le16(In, At) | std::uint32_t(Le16(In, At + 2)) << 16;
}

// Size bytes at Offset, or an empty span when they are not all there.
std::span<const std::uint8_t> Piece(std::span<const std::uint8_t> In, std::uint64_t Offset, std::uint64_t Size) {
  if (Offset > In.size() || In.size() - Offset < Size) return {};
  return In.subspan(Offset, Size);
}

std::string SectionName(std::span<const std::uint8_t> Raw) {
  std::string Name;
  for (std::size_t I = 0; I < 8 && Raw[I]; ++I) Name += Raw[I] >= 0x20 && Raw[I] < 0x7F ? char(Raw[I]) : '?';
  return Name.empty() ? "(unnamed)" : Name;
}

bool HasControlByte(std::string_view Text) {
  return std::any_of(Text.begin(), Text.end(), [](char C) { return std::uint8_t(C) < 0x20 || C == 0x7F; });
}

}  // namespace

bool LooksLikePe(std::span<const std::uint8_t> Bytes) {
  return Bytes.size() >= 2 && Le16(Bytes, 0) == DosSignature;
}

void TReader::Fail(const std::string& Fault) const { throw EPackageError(FWhere + ": " + Fault); }

// A file must be a DLL for this processor; a module already loaded may be
// the program itself.
TReader::TReader(std::span<const std::uint8_t> Bytes, TLayout Layout, const std::string& Where)
    : FBytes(Bytes), FLayout(Layout), FWhere(Where) {
  auto Need = [&](std::uint64_t Offset, std::uint64_t Size, const char* What) {
    const auto Found = Piece(FBytes, Offset, Size);
    if (Found.size() != Size || Size == 0)
      Fail(std::string("truncated: ") + What + " lies past the end of " + Extent());
    return Found;
  };
  const auto Dos = Need(0, 64, "the DOS header");
  if (Le16(Dos, 0) != DosSignature) Fail("not a module: no MZ signature");
  const std::uint64_t NtAt = Le32(Dos, 0x3C);
  if (Le32(Need(NtAt, 4, "the PE signature"), 0) != NtSignature) Fail("not a module: no PE signature");
  const auto Header = Need(NtAt + 4, FileHeaderSize, "the file header");
  const std::uint16_t Machine = Le16(Header, 0), SectionCount = Le16(Header, 2);
  const std::uint16_t OptionalSize = Le16(Header, 16), Characteristics = Le16(Header, 18);
  if (FLayout == TLayout::File && Machine != MachineI386) Fail("built for another processor");
  const std::uint64_t OptionalAt = NtAt + 4 + FileHeaderSize;
  if (Le16(Need(OptionalAt, 2, "the optional header"), 0) != Optional32Magic) Fail("not a 32-bit module");
  if (FLayout == TLayout::File && !(Characteristics & FileDll)) Fail("not a DLL");

  // The fixed part, then as many data directories as the header says it
  // has; the system reads them by that count, so they must be there.
  if (OptionalSize < OptionalFixedSize) Fail("the optional header is cut short");
  const auto Optional = Need(OptionalAt, OptionalFixedSize, "the optional header");
  FImageSize = Le32(Optional, 56);
  FHeadersSize = Le32(Optional, 60);
  const std::size_t Directories = std::min<std::size_t>(Le32(Optional, 92), DirectoryCount);
  if (OptionalSize < OptionalFixedSize + Directories * 8) Fail("the optional header is shorter than its data directories");
  for (std::size_t I = 0; I < Directories; ++I) {
    const auto Entry = Need(OptionalAt + OptionalFixedSize + I * 8, 8, "a data directory");
    FDirectories.push_back({Le32(Entry, 0), Le32(Entry, 4)});
  }

  if (SectionCount > MaxSections) Fail("more than " + std::to_string(MaxSections) + " sections");
  const std::uint64_t TableAt = OptionalAt + OptionalSize;
  const auto Table = Piece(FBytes, TableAt, std::uint64_t(SectionCount) * SectionHeaderSize);
  if (Table.size() != std::size_t(SectionCount) * SectionHeaderSize) Fail("the section table is cut short");
  for (std::size_t I = 0; I < SectionCount; ++I) {
    const auto Raw = Table.subspan(I * SectionHeaderSize, SectionHeaderSize);
    TSection Section{SectionName(Raw), Le32(Raw, 8), Le32(Raw, 12), Le32(Raw, 16), Le32(Raw, 20), Le32(Raw, 36)};
    // The system finds a section by comparing 32-bit ends, which wrap.
    if (std::uint64_t(Section.VirtualAddress) + SectionSize(Section) > 0xFFFFFFFF)
      Fail("section " + Section.Name + " reaches past the last address");
    if (FLayout == TLayout::File) {
      const std::uint64_t End = std::uint64_t(Section.RawOffset) + Section.RawSize;
      if (Section.RawSize && End > FBytes.size())
        Fail("truncated: section " + Section.Name + " ends at byte " + std::to_string(End) + " but the file has " +
             std::to_string(FBytes.size()));
    } else if (std::uint64_t(Section.VirtualAddress) + SectionSize(Section) > FImageSize) {
      Fail("section " + Section.Name + " runs past the end of the image");
    }
    FSections.push_back(std::move(Section));
  }
}

std::uint64_t TReader::SectionSize(const TSection& Section) const {
  if (FLayout == TLayout::File || !Section.VirtualSize) return Section.RawSize;
  return Section.VirtualSize;
}

// In a file the system takes an address below the headers' size as an
// offset into the file, whatever the sections say; no module keeps a
// directory there.
std::span<const std::uint8_t> TReader::DirectoryAt(unsigned Index, std::uint64_t Size, const std::string& What) const {
  const std::uint32_t Rva = Directory(Index).Rva;
  if (FLayout == TLayout::File && Rva < FHeadersSize) Fail(What + " lies in the headers");
  return At(Rva, Size, What);
}

// An address the sections do not hold is nowhere: that is how the system
// resolves it in a data file.
std::span<const std::uint8_t> TReader::At(std::uint32_t Rva, std::uint64_t Size, const std::string& What) const {
  for (const TSection& Section : FSections) {
    const std::uint32_t Into = Rva - Section.VirtualAddress;
    if (Rva < Section.VirtualAddress || Into >= SectionSize(Section)) continue;
    // A section that is not readable is mapped with no access at all.
    if (FLayout == TLayout::Image && !(Section.Characteristics & SectionReadable))
      Fail(What + " lies in a section that cannot be read");
    const std::uint64_t Left = SectionSize(Section) - Into;
    if (Size > Left) Fail(What + " runs past the end of its section");
    const std::uint64_t Start = (FLayout == TLayout::File ? Section.RawOffset : Section.VirtualAddress);
    const auto Found = Piece(FBytes, Start + Into, Left);
    if (Found.size() != Left) Fail(What + " lies past the end of " + Extent());
    return Found;
  }
  Fail(What + " lies in no section of " + Extent());
}

// The ordinal and address tables are checked too: looking a name up in a
// module loaded later reads them. An address inside the export directory
// is no code but the name of the module and entry it forwards to.
std::vector<TExport> TReader::Exports() const {
  const TDirectory Where = Directory(ExportDirectory);
  if (!Where.Rva) return {};
  const auto Table = DirectoryAt(ExportDirectory, ExportDirectorySize, "the export directory");
  const std::uint32_t Functions = Le32(Table, 20), NameCount = Le32(Table, 24);
  if (NameCount > MaxExports || Functions > MaxExports) Fail("more exports than a module has");
  if (!NameCount) return {};
  const auto Names = At(Le32(Table, 32), std::uint64_t(NameCount) * 4, "the export name table");
  const auto Ordinals = At(Le32(Table, 36), std::uint64_t(NameCount) * 2, "the export ordinal table");
  const auto Addresses = At(Le32(Table, 28), std::uint64_t(Functions) * 4, "the export address table");
  // A name or forwarder: NUL-terminated, not empty, no control bytes.
  std::size_t Text = 0;
  auto ReadText = [&](std::uint32_t Rva, const std::string& What) {
    const auto Room = At(Rva, 1, "an " + What);
    const char* Start = reinterpret_cast<const char*>(Room.data());
    const std::size_t Length = strnlen(Start, std::min(Room.size(), MaxExportName + 1));
    if (Length == Room.size()) Fail("an unterminated " + What);
    if (Length > MaxExportName) Fail("an " + What + " longer than " + std::to_string(MaxExportName) + " bytes");
    if (Length == 0) Fail("an empty " + What);
    if ((Text += Length) > MaxExportText) Fail("more exported names than a module has");
    std::string Result(Start, Length);
    if (HasControlByte(Result)) Fail("an " + What + " holding control bytes: " + SysUtils::PrintableText(Result));
    return Result;
  };
  std::vector<TExport> Result;
  for (std::uint32_t I = 0; I < NameCount; ++I) {
    const std::uint16_t Ordinal = Le16(Ordinals, std::size_t(I) * 2);
    if (Ordinal >= Functions) Fail("an exported name for a function the module does not have");
    TExport Export{ReadText(Le32(Names, std::size_t(I) * 4), "exported name"), {}};
    const std::uint32_t Address = Le32(Addresses, std::size_t(Ordinal) * 4);
    const std::string Named = "the export " + SysUtils::PrintableText(Export.Name);
    if (Address - Where.Rva < Where.Size) {
      Export.Forwarder = ReadText(Address, "export forwarder");
      const std::size_t Dot = Export.Forwarder.find('.');
      if (Dot == 0 || Dot == std::string::npos || Dot + 1 == Export.Forwarder.size())
        Fail(Named + " forwards to " + SysUtils::PrintableText(Export.Forwarder) + ", which names no MODULE.entry");
    } else if (Address == 0) {
      Fail(Named + " has no address");
    } else if (Address < FHeadersSize) {
      Fail(Named + " has its address in the headers");
    } else if (Address >= FImageSize) {
      Fail(Named + " has its address past the end of the image");
    }
    Result.push_back(std::move(Export));
  }
  return Result;
}

namespace {

// The resource directory: types, then names, then languages, each level a
// table of entries that the system searches by halving, so the entries must
// be in order. Everything the walk reads lies in the section holding the
// directory, where the system looks for it; the data may lie in any section.
// Types given by name are never listed, so only the bounds of what lies
// under them matter.
class TResourceWalk {
public:
  TResourceWalk(const TReader& Pe, std::span<const std::uint8_t> Tree) : FPe(Pe), FTree(Tree) {}

  void Directory(std::uint32_t Offset, int Level, bool Listed) {
    const auto Header = Piece(FTree, Offset, ResourceDirectorySize);
    if (Header.empty()) Fail("a directory runs past the end of its section");
    const std::uint16_t NamedCount = Le16(Header, 12);
    const std::uint64_t Count = std::uint64_t(NamedCount) + Le16(Header, 14);
    if ((FEntries += Count) > MaxResourceEntries) Fail("more directory entries than a module has");
    std::u16string PreviousName;
    std::uint32_t PreviousId = 0;
    for (std::uint64_t I = 0; I < Count; ++I) {
      const auto Entry = Piece(FTree, Offset + ResourceDirectorySize + I * ResourceEntrySize, ResourceEntrySize);
      if (Entry.empty()) Fail("a directory's entries run past the end of its section");
      const std::uint32_t NameField = Le32(Entry, 0), DataField = Le32(Entry, 4);
      const bool Named = NameField & HighBit;
      if (Named != (I < NamedCount)) Fail("named and numbered entries out of order");
      std::string Label;
      if (Named) {
        if (Level == 2) Fail("a language given by name");
        std::u16string Name = ReadName(NameField & ~HighBit, Listed && Level == 1);
        if (I > 0 && Name <= PreviousName) Fail("entries out of order");
        Label.assign(Name.begin(), Name.end());  // printable ASCII where it is listed
        PreviousName = std::move(Name);
      } else {
        const std::uint16_t Id = std::uint16_t(NameField);
        if (I > NamedCount && Id <= PreviousId) Fail("entries out of order");
        PreviousId = Id;
        Label.assign(1, '#').append(std::to_string(Id));
      }
      const bool Subdirectory = DataField & HighBit;
      if (Subdirectory != (Level < 2)) Fail("an entry at the wrong level of the directory");
      if (Level == 0) FType = Named ? 0 : std::uint16_t(NameField);
      if (Level == 1) FName = Label;
      if (Subdirectory) {
        Directory(DataField & ~HighBit, Level + 1, Listed && !(Level == 0 && Named));
        continue;
      }
      const auto Data = Piece(FTree, DataField, ResourceDataSize);
      if (Data.empty()) Fail("a data entry runs past the end of its section");
      const std::uint32_t Size = Le32(Data, 4);
      const auto Bytes = FPe.At(Le32(Data, 0), Size, "resources: a resource's data").first(Size);
      if (++FCount > MaxResources) Fail("more than " + std::to_string(MaxResources) + " resources");
      if (Listed) Found.push_back({FName, FType, std::uint16_t(NameField), Bytes});
    }
  }

  std::vector<Windows::TResourceEntry> Found;

private:
  [[noreturn]] void Fail(const std::string& Fault) const { FPe.Fail("resources: " + Fault); }

  // A resource's name must be one the system finds again: it looks names
  // up in capitals, and takes "#<number>" for a number.
  std::u16string ReadName(std::uint32_t Offset, bool ResourceName) {
    const auto LengthField = Piece(FTree, Offset, 2);
    if (LengthField.empty()) Fail("a name runs past the end of its section");
    const std::size_t Length = Le16(LengthField, 0);
    if (Length > MaxResourceName) Fail("a name longer than " + std::to_string(MaxResourceName) + " characters");
    if ((FText += Length) > MaxResourceText) Fail("more names than a module has");
    const auto Units = Piece(FTree, std::uint64_t(Offset) + 2, Length * 2);
    if (Units.size() != Length * 2) Fail("a name runs past the end of its section");
    std::u16string Name;
    for (std::size_t I = 0; I < Length; ++I) Name += char16_t(Le16(Units, I * 2));
    if (!ResourceName) return Name;
    if (Name.empty()) Fail("an empty resource name");
    for (char16_t C : Name)
      if (C < 0x20 || C > 0x7E) Fail("a resource name that is not printable ASCII");
    if (std::any_of(Name.begin(), Name.end(), [](char16_t C) { return C >= u'a' && C <= u'z'; }))
      Fail("a resource name in lower case");
    if (Name[0] == u'#') Fail("a resource name that begins with '#'");
    return Name;
  }

  const TReader& FPe;
  std::span<const std::uint8_t> FTree;
  std::uint64_t FEntries = 0, FCount = 0, FText = 0;
  std::uint16_t FType = 0;
  std::string FName;
};

}  // namespace

std::vector<Windows::TResourceEntry> TReader::Resources() const {
  const TDirectory Where = Directory(ResourceDirectory);
  if (!Where.Rva) return {};
  // The system takes a directory too small for its own header for none at all.
  if (Where.Size < ResourceDirectorySize) Fail("resources: the directory's size is too small");
  TResourceWalk Walk(*this, DirectoryAt(ResourceDirectory, ResourceDirectorySize, "the resource directory"));
  Walk.Directory(0, 0, true);
  return std::move(Walk.Found);
}

std::vector<std::string> ExportNames(const std::vector<TExport>& Exports) {
  std::vector<std::string> Mangled;
  for (const TExport& Export : Exports) Mangled.push_back(Export.Name);
  std::vector<std::string> Names = NameExports(Mangled);
  for (std::size_t I = 0; I < Exports.size(); ++I)
    if (!Exports[I].Forwarder.empty()) Names[I] += " [forwarded to " + Exports[I].Forwarder + "]";
  return Names;
}

}  // namespace Os::Pe
