// PE32 modules read as data. The bytes are outside data: every header and
// table is a named structure read field by field, little-endian, through
// the bounded byte reader, and the walks count what they visit, so a
// truncated or crafted module is refused rather than believed. The code
// needs no system header and reads alike on every system.
#include "System/PeFile.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "System/ModuleExports.hpp"

namespace SysUtils::Pe {

namespace {

constexpr std::uint16_t DosSignature = 0x5A4D;        // "MZ"
constexpr std::uint32_t NtSignature = 0x00004550;     // "PE\0\0"
constexpr std::uint16_t MachineI386 = 0x014C;
constexpr std::uint16_t FileDll = 0x2000;
constexpr std::uint16_t Optional32Magic = 0x010B;
constexpr std::size_t DirectoryCount = 16;
constexpr std::uint32_t SectionReadable = 0x40000000;
constexpr unsigned ExportDirectory = 0, ResourceDirectory = 2;

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

// ---- The structures, as the format lays them out ---------------------------

// Of the DOS header only its signature and where the PE headers begin matter.
struct TDosHeader {
  static constexpr std::size_t Bytes = 64;
  std::uint16_t Magic = 0;
  std::uint32_t NewHeader = 0;
  static TDosHeader Read(TByteReader& In) {
    TByteReader F = In.Sub(Bytes, "DOS header");
    TDosHeader H;
    H.Magic = F.U16();
    F.Skip(58);  // the fields of the DOS program
    H.NewHeader = F.U32();
    return H;
  }
};

struct TFileHeader {
  static constexpr std::size_t Bytes = 20;
  std::uint16_t Machine = 0, NumberOfSections = 0;
  std::uint32_t TimeDateStamp = 0, PointerToSymbolTable = 0, NumberOfSymbols = 0;
  std::uint16_t SizeOfOptionalHeader = 0, Characteristics = 0;
  static TFileHeader Read(TByteReader& In) {
    TByteReader F = In.Sub(Bytes, "file header");
    return {F.U16(), F.U16(), F.U32(), F.U32(), F.U32(), F.U16(), F.U16()};
  }
};

// The PE32 optional header up to its data directories.
struct TOptionalHeader {
  static constexpr std::size_t Bytes = 96;
  std::uint16_t Magic = 0;
  std::uint8_t MajorLinkerVersion = 0, MinorLinkerVersion = 0;
  std::uint32_t SizeOfCode = 0, SizeOfInitializedData = 0, SizeOfUninitializedData = 0, AddressOfEntryPoint = 0,
                BaseOfCode = 0, BaseOfData = 0, ImageBase = 0, SectionAlignment = 0, FileAlignment = 0;
  std::uint16_t MajorOperatingSystemVersion = 0, MinorOperatingSystemVersion = 0, MajorImageVersion = 0,
                MinorImageVersion = 0, MajorSubsystemVersion = 0, MinorSubsystemVersion = 0;
  std::uint32_t Win32VersionValue = 0, SizeOfImage = 0, SizeOfHeaders = 0, CheckSum = 0;
  std::uint16_t Subsystem = 0, DllCharacteristics = 0;
  std::uint32_t SizeOfStackReserve = 0, SizeOfStackCommit = 0, SizeOfHeapReserve = 0, SizeOfHeapCommit = 0,
                LoaderFlags = 0, NumberOfRvaAndSizes = 0;
  static TOptionalHeader Read(TByteReader& In) {
    TByteReader F = In.Sub(Bytes, "optional header");
    TOptionalHeader H;
    H.Magic = F.U16();
    H.MajorLinkerVersion = F.U8(), H.MinorLinkerVersion = F.U8();
    for (std::uint32_t* Field : {&H.SizeOfCode, &H.SizeOfInitializedData, &H.SizeOfUninitializedData,
                                 &H.AddressOfEntryPoint, &H.BaseOfCode, &H.BaseOfData, &H.ImageBase,
                                 &H.SectionAlignment, &H.FileAlignment})
      *Field = F.U32();
    for (std::uint16_t* Field : {&H.MajorOperatingSystemVersion, &H.MinorOperatingSystemVersion, &H.MajorImageVersion,
                                 &H.MinorImageVersion, &H.MajorSubsystemVersion, &H.MinorSubsystemVersion})
      *Field = F.U16();
    for (std::uint32_t* Field : {&H.Win32VersionValue, &H.SizeOfImage, &H.SizeOfHeaders, &H.CheckSum}) *Field = F.U32();
    H.Subsystem = F.U16(), H.DllCharacteristics = F.U16();
    for (std::uint32_t* Field : {&H.SizeOfStackReserve, &H.SizeOfStackCommit, &H.SizeOfHeapReserve,
                                 &H.SizeOfHeapCommit, &H.LoaderFlags, &H.NumberOfRvaAndSizes})
      *Field = F.U32();
    return H;
  }
};

struct TSectionHeader {
  static constexpr std::size_t Bytes = 40;
  std::array<std::uint8_t, 8> Name{};
  std::uint32_t VirtualSize = 0, VirtualAddress = 0, SizeOfRawData = 0, PointerToRawData = 0,
                PointerToRelocations = 0, PointerToLinenumbers = 0;
  std::uint16_t NumberOfRelocations = 0, NumberOfLinenumbers = 0;
  std::uint32_t Characteristics = 0;
  static TSectionHeader Read(TByteReader& In) {
    TByteReader F = In.Sub(Bytes, "section header");
    TSectionHeader H;
    const auto Name = F.Bytes(8);
    std::copy(Name.begin(), Name.end(), H.Name.begin());
    for (std::uint32_t* Field : {&H.VirtualSize, &H.VirtualAddress, &H.SizeOfRawData, &H.PointerToRawData,
                                 &H.PointerToRelocations, &H.PointerToLinenumbers})
      *Field = F.U32();
    H.NumberOfRelocations = F.U16(), H.NumberOfLinenumbers = F.U16();
    H.Characteristics = F.U32();
    return H;
  }
};

struct TExportDirectory {
  static constexpr std::size_t Bytes = 40;
  std::uint32_t Characteristics = 0, TimeDateStamp = 0;
  std::uint16_t MajorVersion = 0, MinorVersion = 0;
  std::uint32_t Name = 0, Base = 0, NumberOfFunctions = 0, NumberOfNames = 0, AddressOfFunctions = 0,
                AddressOfNames = 0, AddressOfNameOrdinals = 0;
  static TExportDirectory Read(TByteReader& In) {
    TByteReader F = In.Sub(Bytes, "export directory");
    TExportDirectory D;
    D.Characteristics = F.U32(), D.TimeDateStamp = F.U32();
    D.MajorVersion = F.U16(), D.MinorVersion = F.U16();
    for (std::uint32_t* Field : {&D.Name, &D.Base, &D.NumberOfFunctions, &D.NumberOfNames, &D.AddressOfFunctions,
                                 &D.AddressOfNames, &D.AddressOfNameOrdinals})
      *Field = F.U32();
    return D;
  }
};

struct TResourceDirectory {
  static constexpr std::size_t Bytes = 16;
  std::uint32_t Characteristics = 0, TimeDateStamp = 0;
  std::uint16_t MajorVersion = 0, MinorVersion = 0, NumberOfNamedEntries = 0, NumberOfIdEntries = 0;
  static TResourceDirectory Read(TByteReader& In) {
    TByteReader F = In.Sub(Bytes, "resource directory");
    return {F.U32(), F.U32(), F.U16(), F.U16(), F.U16(), F.U16()};
  }
};

// Name: an ordinal, or with the high bit the offset of a name in the tree.
// OffsetToData: with the high bit a subdirectory, else a data entry.
struct TResourceDirectoryEntry {
  static constexpr std::size_t Bytes = 8;
  std::uint32_t Name = 0, OffsetToData = 0;
  static TResourceDirectoryEntry Read(TByteReader& In) {
    TByteReader F = In.Sub(Bytes, "resource directory entry");
    return {F.U32(), F.U32()};
  }
};

struct TResourceDataEntry {
  static constexpr std::size_t Bytes = 16;
  std::uint32_t OffsetToData = 0, Size = 0, CodePage = 0, Reserved = 0;
  static TResourceDataEntry Read(TByteReader& In) {
    TByteReader F = In.Sub(Bytes, "resource data entry");
    return {F.U32(), F.U32(), F.U32(), F.U32()};
  }
};

// The structure at Offset in In, or nothing where In does not hold it whole.
template <class T>
std::optional<T> ReadHeld(const TByteReader& In, std::uint64_t Offset) {
  if (!In.Holds(Offset, T::Bytes)) return std::nullopt;
  TByteReader At = In.Range(Offset, T::Bytes, {});
  return T::Read(At);
}

std::string SectionName(const std::array<std::uint8_t, 8>& Raw) {
  std::string Name;
  for (std::size_t I = 0; I < 8 && Raw[I]; ++I) Name += Raw[I] >= 0x20 && Raw[I] < 0x7F ? char(Raw[I]) : '?';
  return Name.empty() ? "(unnamed)" : Name;
}

bool HasControlByte(std::string_view Text) {
  return std::any_of(Text.begin(), Text.end(), [](char C) { return std::uint8_t(C) < 0x20 || C == 0x7F; });
}

}  // namespace

bool LooksLikePe(std::span<const std::uint8_t> Bytes) {
  return Bytes.size() >= 2 && Le16(Bytes.data()) == DosSignature;
}

// A file must be a DLL for this processor; a module already loaded may be
// the program itself.
TReader::TReader(std::span<const std::uint8_t> Bytes, TLayout Layout, const std::string& Where)
    : FIn(Bytes, Where, RaiseFault<EPackageError>), FLayout(Layout) {
  TByteReader In = FIn;
  const TDosHeader Dos = TDosHeader::Read(In);
  if (Dos.Magic != DosSignature) Fail("not a module: no MZ signature");
  In.Seek(Dos.NewHeader, "PE signature");
  if (In.U32("PE signature") != NtSignature) Fail("not a module: no PE signature");
  const TFileHeader Header = TFileHeader::Read(In);
  if (FLayout == TLayout::File && Header.Machine != MachineI386) Fail("built for another processor");
  const std::uint64_t OptionalAt = In.Position();
  if (Le16(In.Peek(2, "optional header").data()) != Optional32Magic) Fail("not a 32-bit module");
  if (FLayout == TLayout::File && !(Header.Characteristics & FileDll)) Fail("not a DLL");

  // The fixed part, then as many data directories as the header says it
  // has; the system reads them by that count, so they must be there.
  if (Header.SizeOfOptionalHeader < TOptionalHeader::Bytes) Fail("the optional header is cut short");
  const TOptionalHeader Optional = TOptionalHeader::Read(In);
  FImageSize = Optional.SizeOfImage;
  FHeadersSize = Optional.SizeOfHeaders;
  const std::size_t Directories = std::min<std::size_t>(Optional.NumberOfRvaAndSizes, DirectoryCount);
  if (Header.SizeOfOptionalHeader < TOptionalHeader::Bytes + Directories * 8)
    Fail("the optional header is shorter than its data directories");
  for (std::size_t I = 0; I < Directories; ++I) {
    TByteReader Entry = In.Sub(8, "data directory");
    FDirectories.push_back({Entry.U32(), Entry.U32()});
  }

  if (Header.NumberOfSections > MaxSections) Fail("more than " + std::to_string(MaxSections) + " sections");
  TByteReader Table = FIn.Range(OptionalAt + Header.SizeOfOptionalHeader,
                                std::uint64_t(Header.NumberOfSections) * TSectionHeader::Bytes, "section table");
  for (std::size_t I = 0; I < Header.NumberOfSections; ++I) {
    const TSectionHeader Raw = TSectionHeader::Read(Table);
    TSection Section{SectionName(Raw.Name), Raw.VirtualSize, Raw.VirtualAddress, Raw.SizeOfRawData,
                     Raw.PointerToRawData, Raw.Characteristics};
    // The system finds a section by comparing 32-bit ends, which wrap.
    if (std::uint64_t(Section.VirtualAddress) + SectionSize(Section) > 0xFFFFFFFF)
      Fail("section " + Section.Name + " reaches past the last address");
    if (FLayout == TLayout::File) {
      if (Section.RawSize && !FIn.Holds(Section.RawOffset, Section.RawSize))
        FIn.Truncated(Section.RawOffset, "section " + Section.Name);
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
TByteReader TReader::DirectoryAt(unsigned Index, std::uint64_t Size, const std::string& What) const {
  const std::uint32_t Rva = Directory(Index).Rva;
  if (FLayout == TLayout::File && Rva < FHeadersSize) Fail(What + " lies in the headers");
  return At(Rva, Size, What);
}

// An address the sections do not hold is nowhere: that is how the system
// resolves it in a data file. A mapped image may be shorter than its
// sections say, which only a read into them finds.
TByteReader TReader::At(std::uint32_t Rva, std::uint64_t Size, const std::string& What) const {
  for (const TSection& Section : FSections) {
    const std::uint32_t Into = Rva - Section.VirtualAddress;
    if (Rva < Section.VirtualAddress || Into >= SectionSize(Section)) continue;
    // A section that is not readable is mapped with no access at all.
    if (FLayout == TLayout::Image && !(Section.Characteristics & SectionReadable))
      Fail(What + " lies in a section that cannot be read");
    const std::uint64_t Left = SectionSize(Section) - Into;
    if (Size > Left) Fail(What + " runs past the end of its section");
    const std::uint64_t Start = (FLayout == TLayout::File ? Section.RawOffset : Section.VirtualAddress);
    if (!FIn.Holds(Start, SectionSize(Section))) FIn.Truncated(Start, "section " + Section.Name);
    return FIn.Range(Start + Into, Left, What);
  }
  Fail(What + " lies in no section of " + Extent());
}

// The ordinal and address tables are checked too: looking a name up in a
// module loaded later reads them. An address inside the export directory
// is no code but the name of the module and entry it forwards to.
std::vector<TExport> TReader::Exports() const {
  const TDirectory Where = Directory(ExportDirectory);
  if (!Where.Rva) return {};
  TByteReader Table = DirectoryAt(ExportDirectory, TExportDirectory::Bytes, "the export directory");
  const TExportDirectory Exports = TExportDirectory::Read(Table);
  const std::uint32_t Functions = Exports.NumberOfFunctions, NameCount = Exports.NumberOfNames;
  if (NameCount > MaxExports || Functions > MaxExports) Fail("more exports than a module has");
  if (!NameCount) return {};
  TByteReader Names = At(Exports.AddressOfNames, std::uint64_t(NameCount) * 4, "the export name table");
  TByteReader Ordinals = At(Exports.AddressOfNameOrdinals, std::uint64_t(NameCount) * 2, "the export ordinal table");
  TByteReader Addresses = At(Exports.AddressOfFunctions, std::uint64_t(Functions) * 4, "the export address table");
  // A name or forwarder: NUL-terminated, not empty, no control bytes.
  std::size_t Text = 0;
  auto ReadText = [&](std::uint32_t Rva, const std::string& What) {
    const std::span<const std::uint8_t> Room = At(Rva, 1, "an " + What).Data();
    const char* Start = reinterpret_cast<const char*>(Room.data());
    const std::size_t Length = strnlen(Start, std::min(Room.size(), MaxExportName + 1));
    if (Length == Room.size()) Fail("an unterminated " + What);
    if (Length > MaxExportName) Fail("an " + What + " longer than " + std::to_string(MaxExportName) + " bytes");
    if (Length == 0) Fail("an empty " + What);
    if ((Text += Length) > MaxExportText) Fail("more exported names than a module has");
    std::string Result(Start, Length);
    if (HasControlByte(Result)) Fail("an " + What + " holding control bytes: " + PrintableText(Result));
    return Result;
  };
  std::vector<TExport> Result;
  for (std::uint32_t I = 0; I < NameCount; ++I) {
    const std::uint16_t Ordinal = Ordinals.U16();
    if (Ordinal >= Functions) Fail("an exported name for a function the module does not have");
    TExport Export{ReadText(Names.U32(), "exported name"), {}};
    Addresses.Seek(std::uint64_t(Ordinal) * 4);
    const std::uint32_t Address = Addresses.U32();
    const std::string Named = "the export " + PrintableText(Export.Name);
    if (Address - Where.Rva < Where.Size) {
      Export.Forwarder = ReadText(Address, "export forwarder");
      const std::size_t Dot = Export.Forwarder.find('.');
      if (Dot == 0 || Dot == std::string::npos || Dot + 1 == Export.Forwarder.size())
        Fail(Named + " forwards to " + PrintableText(Export.Forwarder) + ", which names no MODULE.entry");
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
  TResourceWalk(const TReader& Pe, const TByteReader& Tree) : FPe(Pe), FTree(Tree) {}

  void Directory(std::uint32_t Offset, int Level, bool Listed) {
    const auto Header = ReadHeld<TResourceDirectory>(FTree, Offset);
    if (!Header) Fail("a directory runs past the end of its section");
    const std::uint16_t NamedCount = Header->NumberOfNamedEntries;
    const std::uint64_t Count = std::uint64_t(NamedCount) + Header->NumberOfIdEntries;
    if ((FEntries += Count) > MaxResourceEntries) Fail("more directory entries than a module has");
    std::u16string PreviousName;
    std::uint32_t PreviousId = 0;
    for (std::uint64_t I = 0; I < Count; ++I) {
      const auto Entry = ReadHeld<TResourceDirectoryEntry>(
          FTree, Offset + TResourceDirectory::Bytes + I * TResourceDirectoryEntry::Bytes);
      if (!Entry) Fail("a directory's entries run past the end of its section");
      const std::uint32_t NameField = Entry->Name, DataField = Entry->OffsetToData;
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
      const auto Data = ReadHeld<TResourceDataEntry>(FTree, DataField);
      if (!Data) Fail("a data entry runs past the end of its section");
      const auto Bytes = FPe.At(Data->OffsetToData, Data->Size, "resources: a resource's data").Data().first(Data->Size);
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
    if (!FTree.Holds(Offset, 2)) Fail("a name runs past the end of its section");
    TByteReader In = FTree.Range(Offset, FTree.Size() - Offset, "resource name");
    const std::size_t Length = In.U16();
    if (Length > MaxResourceName) Fail("a name longer than " + std::to_string(MaxResourceName) + " characters");
    if ((FText += Length) > MaxResourceText) Fail("more names than a module has");
    if (In.Left() / 2 < Length) Fail("a name runs past the end of its section");
    std::u16string Name;
    for (std::size_t I = 0; I < Length; ++I) Name += char16_t(In.U16());
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
  TByteReader FTree;
  std::uint64_t FEntries = 0, FCount = 0, FText = 0;
  std::uint16_t FType = 0;
  std::string FName;
};

}  // namespace

std::vector<Windows::TResourceEntry> TReader::Resources() const {
  const TDirectory Where = Directory(ResourceDirectory);
  if (!Where.Rva) return {};
  // The system takes a directory too small for its own header for none at all.
  if (Where.Size < TResourceDirectory::Bytes) Fail("resources: the directory's size is too small");
  TResourceWalk Walk(*this, DirectoryAt(ResourceDirectory, TResourceDirectory::Bytes, "the resource directory"));
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

}  // namespace SysUtils::Pe
