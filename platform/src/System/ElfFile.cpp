// ELF shared modules read as data. The file is outside data: every header
// and table is a named structure read field by field, little-endian, through
// the bounded byte reader, and every offset and size is checked against the
// file before use, so a truncated or crafted file is refused rather than
// mapped.
#include "System/ElfFile.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "SysUtils.hpp"
#include "System/ModuleExports.hpp"

namespace SysUtils::Elf {

namespace {

// The machines whose modules are read: this build's own; a Windows build
// reads those of the Linux builds, as data only.
#if defined(__x86_64__)
constexpr std::uint16_t Machines[] = {62};  // EM_X86_64
#elif defined(__aarch64__)
constexpr std::uint16_t Machines[] = {183};  // EM_AARCH64
#elif defined(_WIN32)
constexpr std::uint16_t Machines[] = {62, 183};
#else
#error "which ELF machine is this?"
#endif

constexpr char Magic[4] = {0x7F, 'E', 'L', 'F'};
constexpr std::uint8_t Class64 = 2, LittleEndian = 1;
constexpr std::size_t IdentClass = 4, IdentData = 5;
constexpr std::uint16_t SharedObject = 3;                          // ET_DYN
constexpr std::uint32_t LoadSegment = 1, DynamicSegment = 2, NoteSegment = 4;
constexpr std::uint32_t DynamicSymbols = 11, StringTable = 3;     // SHT_DYNSYM, SHT_STRTAB
constexpr std::int64_t TagNull = 0, TagHash = 4, TagStrings = 5, TagSymbols = 6, TagStringsSize = 10,
                       TagSymbolSize = 11, TagGnuHash = 0x6FFFFEF5;
constexpr unsigned BindGlobal = 1, BindWeak = 2;
constexpr std::uint16_t UndefinedSection = 0;

// More than any real module exports; bounds on what a crafted file costs.
constexpr std::uint64_t MaxSymbols = 1 << 20;
constexpr std::size_t MaxSymbolName = 4096;
constexpr std::size_t MaxExportText = 16 << 20;
constexpr char ResourceNoteOwner[] = "VCL";
constexpr std::uint32_t ResourceNoteType = 1;

// ---- The structures, as the format lays them out ---------------------------

struct TFileHeader {
  static constexpr std::size_t Bytes = 64;
  std::array<std::uint8_t, 16> Ident{};
  std::uint16_t Type = 0, Machine = 0;
  std::uint32_t Version = 0;
  std::uint64_t Entry = 0, ProgramHeaderOffset = 0, SectionHeaderOffset = 0;
  std::uint32_t Flags = 0;
  std::uint16_t HeaderSize = 0, ProgramHeaderSize = 0, ProgramHeaderCount = 0, SectionHeaderSize = 0,
                SectionHeaderCount = 0, SectionNameIndex = 0;
  static TFileHeader Read(TByteReader& F) {
    TFileHeader H;
    const auto Ident = F.Bytes(16);
    std::copy(Ident.begin(), Ident.end(), H.Ident.begin());
    H.Type = F.U16(), H.Machine = F.U16();
    H.Version = F.U32();
    H.Entry = F.U64(), H.ProgramHeaderOffset = F.U64(), H.SectionHeaderOffset = F.U64();
    H.Flags = F.U32();
    for (std::uint16_t* Field : {&H.HeaderSize, &H.ProgramHeaderSize, &H.ProgramHeaderCount, &H.SectionHeaderSize,
                                 &H.SectionHeaderCount, &H.SectionNameIndex})
      *Field = F.U16();
    return H;
  }
};

struct TProgramHeader {
  static constexpr std::size_t Bytes = 56;
  std::uint32_t Type = 0, Flags = 0;
  std::uint64_t Offset = 0, VirtualAddress = 0, PhysicalAddress = 0, FileSize = 0, MemorySize = 0, Align = 0;
  static TProgramHeader Read(TByteReader& F) {
    return {F.U32(), F.U32(), F.U64(), F.U64(), F.U64(), F.U64(), F.U64(), F.U64()};
  }
};

struct TSectionHeader {
  static constexpr std::size_t Bytes = 64;
  std::uint32_t Name = 0, Type = 0;
  std::uint64_t Flags = 0, Address = 0, Offset = 0, Size = 0;
  std::uint32_t Link = 0, Info = 0;
  std::uint64_t AddressAlign = 0, EntrySize = 0;
  static TSectionHeader Read(TByteReader& F) {
    return {F.U32(), F.U32(), F.U64(), F.U64(), F.U64(), F.U64(), F.U32(), F.U32(), F.U64(), F.U64()};
  }
};

struct TDynamic {
  static constexpr std::size_t Bytes = 16;
  std::int64_t Tag = 0;
  std::uint64_t Value = 0;  // a number or an address, as the tag says
  static TDynamic Read(TByteReader& F) { return {std::int64_t(F.U64()), F.U64()}; }
};

struct TSymbol {
  static constexpr std::size_t Bytes = 24;
  std::uint32_t Name = 0;
  std::uint8_t Info = 0, Other = 0;
  std::uint16_t SectionIndex = 0;
  std::uint64_t Value = 0, Size = 0;
  unsigned Binding() const { return Info >> 4; }
  static TSymbol Read(TByteReader& F) { return {F.U32(), F.U8(), F.U8(), F.U16(), F.U64(), F.U64()}; }
};

struct TNoteHeader {
  static constexpr std::size_t Bytes = 12;
  std::uint32_t NameSize = 0, DescriptionSize = 0, Type = 0;
  static TNoteHeader Read(TByteReader& F) { return {F.U32(), F.U32(), F.U32()}; }
};

// The structure at Offset in the file; What names it in a fault.
template <class T>
T ReadAt(const TByteReader& In, std::uint64_t Offset, std::string_view What) {
  TByteReader Fields = In.Range(Offset, T::Bytes, What);
  return T::Read(Fields);
}

// Where the loader finds the bytes of an address: the loadable segment
// whose file part holds Size bytes from it.
struct TSegments {
  std::vector<TProgramHeader> Loads;
  std::uint64_t Offset(const TByteReader& In, std::uint64_t Address, std::uint64_t Size, const std::string& What) const {
    for (const TProgramHeader& Load : Loads)
      if (Address >= Load.VirtualAddress && Address - Load.VirtualAddress < Load.FileSize) {
        if (Size > Load.FileSize - (Address - Load.VirtualAddress)) break;
        return Load.Offset + (Address - Load.VirtualAddress);
      }
    In.Fail(What + " lies outside the module's loaded segments");
  }
};

// How many entries the dynamic symbol table has. It states no size of its
// own: the loader finds symbols through a hash table, whose chains end at
// the last one.
std::uint64_t SymbolCount(const TByteReader& In, const TSegments& Segments, std::uint64_t Hash, std::uint64_t GnuHash) {
  if (Hash) {
    TByteReader Header = In.Range(Segments.Offset(In, Hash, 8, "the symbol hash table"), 8, "symbol hash table");
    Header.Skip(4);  // buckets
    return Header.U32();
  }
  if (!GnuHash) return 0;
  const std::uint64_t At = Segments.Offset(In, GnuHash, 16, "the symbol hash table");
  TByteReader Fields = In.Range(At, 16, "symbol hash table");
  const std::uint32_t BucketCount = Fields.U32(), FirstHashed = Fields.U32(), BloomWords = Fields.U32();
  const std::uint64_t BucketsAt = At + 16 + std::uint64_t(BloomWords) * 8;
  TByteReader Buckets = In.Range(BucketsAt, std::uint64_t(BucketCount) * 4, "symbol hash table");
  std::uint64_t Last = 0;
  for (std::size_t B = 0; B < BucketCount; ++B) Last = std::max<std::uint64_t>(Last, Buckets.U32());
  if (Last < FirstHashed) return FirstHashed;
  // The chain holding the last start ends at the table's last symbol.
  const std::uint64_t ChainsAt = BucketsAt + std::uint64_t(BucketCount) * 4;
  for (std::uint64_t Symbol = Last;; ++Symbol) {
    if (Symbol - FirstHashed > MaxSymbols) In.Fail("symbol table too large");
    if (In.Range(ChainsAt + (Symbol - FirstHashed) * 4, 4, "symbol hash table").U32() & 1) return Symbol + 1;
  }
}

// The exported symbols' names, read as the loader reads them: through the
// dynamic segment, whatever the section headers say.
std::vector<std::string> ExportedSymbols(const TByteReader& In, const TSegments& Segments,
                                         std::optional<TByteReader> Dynamic) {
  std::uint64_t SymbolsAt = 0, NamesAt = 0, NamesSize = 0, Entry = TSymbol::Bytes, Hash = 0, GnuHash = 0;
  while (Dynamic && Dynamic->Left() >= TDynamic::Bytes) {
    const TDynamic Tag = TDynamic::Read(*Dynamic);
    if (Tag.Tag == TagNull) break;
    if (Tag.Tag == TagSymbols) SymbolsAt = Tag.Value;
    if (Tag.Tag == TagStrings) NamesAt = Tag.Value;
    if (Tag.Tag == TagStringsSize) NamesSize = Tag.Value;
    if (Tag.Tag == TagSymbolSize) Entry = Tag.Value;
    if (Tag.Tag == TagHash) Hash = Tag.Value;
    if (Tag.Tag == TagGnuHash) GnuHash = Tag.Value;
  }
  if (!SymbolsAt) return {};
  if (Entry != TSymbol::Bytes) In.Fail("unexpected symbol size");
  if (!NamesAt) In.Fail("the symbol table has no string table");
  if (!Hash && !GnuHash) In.Fail("the symbol table has no hash table");
  const std::span<const std::uint8_t> Names =
      In.Range(Segments.Offset(In, NamesAt, NamesSize, "the symbol name table"), NamesSize, "symbol name table").Data();
  const std::uint64_t Count = SymbolCount(In, Segments, Hash, GnuHash);
  if (Count > MaxSymbols) In.Fail("symbol table too large");
  const std::uint64_t TableAt = Segments.Offset(In, SymbolsAt, Count * TSymbol::Bytes, "the symbol table");
  std::vector<std::string> Symbols;
  std::size_t Text = 0;
  for (std::uint64_t S = 1; S < Count; ++S) {
    const TSymbol Symbol = ReadAt<TSymbol>(In, TableAt + S * TSymbol::Bytes, "symbol table");
    const unsigned Binding = Symbol.Binding();
    if (Symbol.SectionIndex == UndefinedSection || (Binding != BindGlobal && Binding != BindWeak)) continue;
    if (Symbol.Name >= Names.size()) In.Fail("symbol name past its string table");
    const char* Name = reinterpret_cast<const char*>(Names.data() + Symbol.Name);
    const std::size_t Room = Names.size() - Symbol.Name;
    const std::size_t Length = strnlen(Name, std::min(Room, MaxSymbolName + 1));
    if (Length == Room) In.Fail("unterminated symbol name");
    if (Length > MaxSymbolName) In.Fail("a symbol name longer than " + std::to_string(MaxSymbolName) + " bytes");
    if (Length == 0) In.Fail("an exported symbol without a name");
    const std::string_view View(Name, Length);
    if (std::any_of(View.begin(), View.end(), [](char C) { return std::uint8_t(C) < 0x20 || C == 0x7F; }))
      In.Fail("a symbol name holding control bytes: " + PrintableText(View));
    if ((Text += Length) > MaxExportText) In.Fail("more exported names than a module has");
    Symbols.emplace_back(View);
  }
  return Symbols;
}

// The section headers are no part of loading, but tools read them: a
// dynamic symbol table whose string table link lies makes the module
// malformed.
void CheckSectionHeaders(const TByteReader& In, const TFileHeader& Header) {
  if (Header.SectionHeaderOffset == 0 || Header.SectionHeaderCount == 0) return;
  if (Header.SectionHeaderSize != TSectionHeader::Bytes) In.Fail("unexpected section header size");
  for (std::uint64_t I = 0; I < Header.SectionHeaderCount; ++I) {
    const auto Section =
        ReadAt<TSectionHeader>(In, Header.SectionHeaderOffset + I * TSectionHeader::Bytes, "section header");
    if (Section.Type != DynamicSymbols) continue;
    if (Section.Link >= Header.SectionHeaderCount || Section.Link == I)
      In.Fail("malformed: the symbol table's link names no string table");
    const auto Strings = ReadAt<TSectionHeader>(
        In, Header.SectionHeaderOffset + std::uint64_t(Section.Link) * TSectionHeader::Bytes, "section header");
    if (Strings.Type != StringTable) In.Fail("malformed: the symbol table's link names no string table");
    if (Section.EntrySize != TSymbol::Bytes) In.Fail("malformed: unexpected symbol size");
    In.Range(Section.Offset, Section.Size, "symbol table");
    In.Range(Strings.Offset, Strings.Size, "symbol name table");
  }
}

}  // namespace

std::span<const std::uint8_t> FindResourceNote(std::span<const std::uint8_t> Notes, std::uint64_t Align) {
  static const std::string Source = "notes";
  const std::uint64_t Step = Align == 8 ? 8 : 4;
  auto Padded = [Step](std::uint64_t Size) { return (Size + Step - 1) / Step * Step; };
  // Every read is checked before it is made: a malformed note ends the walk.
  TByteReader In(Notes, Source, RaiseFault<EPackageError>);
  while (In.Left() >= TNoteHeader::Bytes) {
    const TNoteHeader Note = TNoteHeader::Read(In);
    const std::uint64_t NameRoom = Padded(Note.NameSize), DescriptionRoom = Padded(Note.DescriptionSize);
    if (NameRoom > In.Left() || DescriptionRoom > In.Left() - NameRoom) break;
    const auto Name = In.Bytes(NameRoom);
    const auto Description = In.Bytes(DescriptionRoom);
    if (Note.Type == ResourceNoteType && Note.NameSize == sizeof ResourceNoteOwner &&
        std::memcmp(Name.data(), ResourceNoteOwner, sizeof ResourceNoteOwner) == 0)
      return Description.first(Note.DescriptionSize);
  }
  return {};
}

TModule ReadModule(std::span<const std::uint8_t> Data, const std::string& FileName) {
  const TByteReader In(Data, FileName, RaiseFault<EPackageError>);
  const auto Header = ReadAt<TFileHeader>(In, 0, "ELF header");
  if (std::memcmp(Header.Ident.data(), Magic, sizeof Magic) != 0) In.Fail("not a module: no ELF signature");
  if (Header.Ident[IdentClass] != Class64 || Header.Ident[IdentData] != LittleEndian)
    In.Fail("not a 64-bit little-endian ELF module");
  if (Header.Type != SharedObject) In.Fail("not a shared module");
  if (std::find(std::begin(Machines), std::end(Machines), Header.Machine) == std::end(Machines))
    In.Fail("built for another processor");
  if (Header.ProgramHeaderSize != TProgramHeader::Bytes) In.Fail("unexpected program header size");

  // The header tables whole, so that a cut anywhere in them is seen.
  In.Range(Header.ProgramHeaderOffset, std::uint64_t(Header.ProgramHeaderCount) * TProgramHeader::Bytes,
           "program header table");
  if (Header.SectionHeaderOffset != 0)
    In.Range(Header.SectionHeaderOffset, std::uint64_t(Header.SectionHeaderCount) * TSectionHeader::Bytes,
             "section header table");

  std::span<const std::uint8_t> ResourceFile;
  std::optional<TByteReader> Dynamic;
  TSegments Segments;
  // Every segment the loader maps or reads must lie in the file: mapping
  // one that reaches past its end faults on first touch.
  for (std::uint64_t I = 0; I < Header.ProgramHeaderCount; ++I) {
    const auto Segment =
        ReadAt<TProgramHeader>(In, Header.ProgramHeaderOffset + I * TProgramHeader::Bytes, "program header");
    if (Segment.Type != LoadSegment && Segment.Type != DynamicSegment && Segment.Type != NoteSegment) continue;
    const TByteReader Bytes = In.Range(Segment.Offset, Segment.FileSize, "segment");
    if (Segment.Type == NoteSegment && ResourceFile.empty()) ResourceFile = FindResourceNote(Bytes.Data(), Segment.Align);
    if (Segment.Type == DynamicSegment && (!Dynamic || Dynamic->Size() == 0)) Dynamic = Bytes;
    if (Segment.Type == LoadSegment) Segments.Loads.push_back(Segment);
  }
  CheckSectionHeaders(In, Header);
  TModule Module;
  Module.Resources = DecodeResources(ResourceFile, FileName);
  Module.Exports = NameExports(ExportedSymbols(In, Segments, Dynamic));
  return Module;
}

}  // namespace SysUtils::Elf
