// Module files as ELF shared objects, read as data: the segments the loader
// would map, the resources carried in a note, and the exported symbols. The
// file is outside data: every offset and size is checked against the file
// before use, so a truncated or crafted file is refused rather than mapped.
#include <algorithm>
#include <cstring>
#include <elf.h>
#include <link.h>
#include <memory>

#include "SysUtils.hpp"
#include "os/Os.hpp"
#include "System/ModuleExports.hpp"
#include "System/PeFile.hpp"

namespace Os {

namespace {

using SysUtils::EPackageError;

#if defined(__x86_64__)
constexpr unsigned HostMachine = EM_X86_64;
#elif defined(__aarch64__)
constexpr unsigned HostMachine = EM_AARCH64;
#else
#error "which ELF machine is this?"
#endif

// More than any real module exports; bounds on what a crafted file costs.
constexpr std::uint64_t MaxSymbols = 1 << 20;
constexpr std::size_t MaxSymbolName = 4096;
constexpr std::size_t MaxExportText = 16 << 20;
constexpr char ResourceNoteOwner[] = "VCL";
constexpr std::uint32_t ResourceNoteType = 1;

class TElfReader {
public:
  TElfReader(std::span<const std::uint8_t> Data, const std::string& Where) : FData(Data), FWhere(Where) {}

  [[noreturn]] void Fail(const std::string& Fault) const { throw EPackageError(FWhere + ": " + Fault); }

  template <class T>
  T Read(std::uint64_t Offset, const char* What) const {
    if (Offset > FData.size() || FData.size() - Offset < sizeof(T))
      Fail(std::string("truncated: ") + What + " lies past the end of the file");
    T Value;
    std::memcpy(&Value, FData.data() + Offset, sizeof(T));
    return Value;
  }
  // The file bytes [Offset, Offset + Size), or a fault naming What.
  std::span<const std::uint8_t> Range(std::uint64_t Offset, std::uint64_t Size, const char* What) const {
    if (Offset > FData.size() || FData.size() - Offset < Size)
      Fail(std::string("truncated: ") + What + " ends at byte " + std::to_string(Offset + Size) +
           " but the file has " + std::to_string(FData.size()));
    return FData.subspan(Offset, Size);
  }

private:
  std::span<const std::uint8_t> FData;
  const std::string& FWhere;
};

// The resource note among the notes of one segment; empty when there is none.
std::span<const std::uint8_t> FindResourceNote(std::span<const std::uint8_t> Notes, std::uint64_t Align) {
  const std::size_t Step = Align == 8 ? 8 : 4;
  auto Padded = [Step](std::uint64_t Size) { return (Size + Step - 1) / Step * Step; };
  std::size_t Pos = 0;
  while (Notes.size() - Pos >= sizeof(Elf64_Nhdr)) {
    Elf64_Nhdr Header;
    std::memcpy(&Header, Notes.data() + Pos, sizeof Header);
    Pos += sizeof Header;
    const std::uint64_t NameRoom = Padded(Header.n_namesz), DescRoom = Padded(Header.n_descsz);
    if (NameRoom > Notes.size() - Pos || DescRoom > Notes.size() - Pos - NameRoom) break;
    const bool Ours = Header.n_type == ResourceNoteType && Header.n_namesz == sizeof ResourceNoteOwner &&
                      std::memcmp(Notes.data() + Pos, ResourceNoteOwner, sizeof ResourceNoteOwner) == 0;
    if (Ours) return Notes.subspan(Pos + NameRoom, Header.n_descsz);
    Pos += NameRoom + DescRoom;
  }
  return {};
}

// Where the loader finds the bytes of an address: the loadable segment
// whose file part holds Size bytes from it.
struct TSegments {
  std::vector<Elf64_Phdr> Loads;
  std::uint64_t Offset(const TElfReader& In, std::uint64_t Address, std::uint64_t Size, const char* What) const {
    for (const Elf64_Phdr& Load : Loads)
      if (Address >= Load.p_vaddr && Address - Load.p_vaddr < Load.p_filesz) {
        if (Size > Load.p_filesz - (Address - Load.p_vaddr)) break;
        return Load.p_offset + (Address - Load.p_vaddr);
      }
    In.Fail(std::string(What) + " lies outside the module's loaded segments");
  }
};

// How many entries the dynamic symbol table has. It states no size of its
// own: the loader finds symbols through a hash table, whose chains end at
// the last one.
std::uint64_t SymbolCount(const TElfReader& In, const TSegments& Segments, std::uint64_t Hash, std::uint64_t GnuHash) {
  if (Hash) {
    const auto Header = In.Range(Segments.Offset(In, Hash, 8, "the symbol hash table"), 8, "the symbol hash table");
    std::uint32_t Chains;
    std::memcpy(&Chains, Header.data() + 4, 4);
    return Chains;
  }
  if (!GnuHash) return 0;
  const std::uint64_t At = Segments.Offset(In, GnuHash, 16, "the symbol hash table");
  std::uint32_t Fields[4];  // buckets, first hashed symbol, bloom words, bloom shift
  std::memcpy(Fields, In.Range(At, 16, "the symbol hash table").data(), 16);
  const std::uint64_t BucketsAt = At + 16 + std::uint64_t(Fields[2]) * 8;
  const auto Buckets = In.Range(BucketsAt, std::uint64_t(Fields[0]) * 4, "the symbol hash table");
  std::uint64_t Last = 0;
  for (std::size_t B = 0; B < Fields[0]; ++B) {
    std::uint32_t First;
    std::memcpy(&First, Buckets.data() + B * 4, 4);
    Last = std::max<std::uint64_t>(Last, First);
  }
  if (Last < Fields[1]) return Fields[1];
  // The chain holding the last start ends at the table's last symbol.
  const std::uint64_t ChainsAt = BucketsAt + std::uint64_t(Fields[0]) * 4;
  for (std::uint64_t Symbol = Last;; ++Symbol) {
    if (Symbol - Fields[1] > MaxSymbols) In.Fail("symbol table too large");
    const auto Value = In.Read<std::uint32_t>(ChainsAt + (Symbol - Fields[1]) * 4, "the symbol hash table");
    if (Value & 1) return Symbol + 1;
  }
}

// The exported symbols' names, read as the loader reads them: through the
// dynamic segment, whatever the section headers say.
std::vector<std::string> ExportedSymbols(const TElfReader& In, const TSegments& Segments, std::span<const std::uint8_t> Dynamic) {
  std::uint64_t SymbolsAt = 0, NamesAt = 0, NamesSize = 0, Entry = sizeof(Elf64_Sym), Hash = 0, GnuHash = 0;
  for (std::size_t At = 0; Dynamic.size() - At >= sizeof(Elf64_Dyn); At += sizeof(Elf64_Dyn)) {
    Elf64_Dyn Tag;
    std::memcpy(&Tag, Dynamic.data() + At, sizeof Tag);
    if (Tag.d_tag == DT_NULL) break;
    if (Tag.d_tag == DT_SYMTAB) SymbolsAt = Tag.d_un.d_ptr;
    if (Tag.d_tag == DT_STRTAB) NamesAt = Tag.d_un.d_ptr;
    if (Tag.d_tag == DT_STRSZ) NamesSize = Tag.d_un.d_val;
    if (Tag.d_tag == DT_SYMENT) Entry = Tag.d_un.d_val;
    if (Tag.d_tag == DT_HASH) Hash = Tag.d_un.d_ptr;
    if (Tag.d_tag == DT_GNU_HASH) GnuHash = Tag.d_un.d_ptr;
  }
  if (!SymbolsAt) return {};
  if (Entry != sizeof(Elf64_Sym)) In.Fail("unexpected symbol size");
  if (!NamesAt) In.Fail("the symbol table has no string table");
  if (!Hash && !GnuHash) In.Fail("the symbol table has no hash table");
  const auto Names = In.Range(Segments.Offset(In, NamesAt, NamesSize, "the symbol name table"), NamesSize,
                              "the symbol name table");
  const std::uint64_t Count = SymbolCount(In, Segments, Hash, GnuHash);
  if (Count > MaxSymbols) In.Fail("symbol table too large");
  const std::uint64_t TableAt = Segments.Offset(In, SymbolsAt, Count * sizeof(Elf64_Sym), "the symbol table");
  std::vector<std::string> Symbols;
  std::size_t Text = 0;
  for (std::uint64_t S = 1; S < Count; ++S) {
    const auto Symbol = In.Read<Elf64_Sym>(TableAt + S * sizeof(Elf64_Sym), "the symbol table");
    const unsigned Binding = ELF64_ST_BIND(Symbol.st_info);
    if (Symbol.st_shndx == SHN_UNDEF || (Binding != STB_GLOBAL && Binding != STB_WEAK)) continue;
    if (Symbol.st_name >= Names.size()) In.Fail("symbol name past its string table");
    const char* Name = reinterpret_cast<const char*>(Names.data() + Symbol.st_name);
    const std::size_t Room = Names.size() - Symbol.st_name;
    const std::size_t Length = strnlen(Name, std::min(Room, MaxSymbolName + 1));
    if (Length == Room) In.Fail("unterminated symbol name");
    if (Length > MaxSymbolName) In.Fail("a symbol name longer than " + std::to_string(MaxSymbolName) + " bytes");
    if (Length == 0) In.Fail("an exported symbol without a name");
    const std::string_view View(Name, Length);
    if (std::any_of(View.begin(), View.end(), [](char C) { return std::uint8_t(C) < 0x20 || C == 0x7F; }))
      In.Fail("a symbol name holding control bytes: " + SysUtils::PrintableText(View));
    if ((Text += Length) > MaxExportText) In.Fail("more exported names than a module has");
    Symbols.emplace_back(View);
  }
  return Symbols;
}

// The section headers are no part of loading, but tools read them: a
// dynamic symbol table whose string table link lies makes the module
// malformed.
void CheckSectionHeaders(const TElfReader& In, const Elf64_Ehdr& Header) {
  if (Header.e_shoff == 0 || Header.e_shnum == 0) return;
  if (Header.e_shentsize != sizeof(Elf64_Shdr)) In.Fail("unexpected section header size");
  for (std::uint64_t I = 0; I < Header.e_shnum; ++I) {
    const auto Section = In.Read<Elf64_Shdr>(Header.e_shoff + I * sizeof(Elf64_Shdr), "a section header");
    if (Section.sh_type != SHT_DYNSYM) continue;
    if (Section.sh_link >= Header.e_shnum || Section.sh_link == I)
      In.Fail("malformed: the symbol table's link names no string table");
    const auto Strings = In.Read<Elf64_Shdr>(Header.e_shoff + Section.sh_link * sizeof(Elf64_Shdr), "a section header");
    if (Strings.sh_type != SHT_STRTAB) In.Fail("malformed: the symbol table's link names no string table");
    if (Section.sh_entsize != sizeof(Elf64_Sym)) In.Fail("malformed: unexpected symbol size");
    In.Range(Section.sh_offset, Section.sh_size, "the symbol table");
    In.Range(Strings.sh_offset, Strings.sh_size, "the symbol name table");
  }
}

TModuleContents ReadElf(std::span<const std::uint8_t> Data, const std::string& FileName) {
  const TElfReader In(Data, FileName);
  const auto Header = In.Read<Elf64_Ehdr>(0, "the ELF header");
  if (std::memcmp(Header.e_ident, ELFMAG, SELFMAG) != 0) In.Fail("not a module: no ELF signature");
  if (Header.e_ident[EI_CLASS] != ELFCLASS64 || Header.e_ident[EI_DATA] != ELFDATA2LSB)
    In.Fail("not a 64-bit little-endian ELF module");
  if (Header.e_type != ET_DYN) In.Fail("not a shared module");
  if (Header.e_machine != HostMachine) In.Fail("built for another processor");
  if (Header.e_phentsize != sizeof(Elf64_Phdr)) In.Fail("unexpected program header size");

  // The header tables whole, so that a cut anywhere in them is seen.
  In.Range(Header.e_phoff, std::uint64_t(Header.e_phnum) * sizeof(Elf64_Phdr), "the program header table");
  if (Header.e_shoff != 0)
    In.Range(Header.e_shoff, std::uint64_t(Header.e_shnum) * sizeof(Elf64_Shdr), "the section header table");

  TModuleContents Contents;
  std::span<const std::uint8_t> ResourceFile, Dynamic;
  TSegments Segments;
  // Every segment the loader maps or reads must lie in the file: mapping
  // one that reaches past its end faults on first touch.
  for (std::uint64_t I = 0; I < Header.e_phnum; ++I) {
    const auto Segment = In.Read<Elf64_Phdr>(Header.e_phoff + I * sizeof(Elf64_Phdr), "a program header");
    if (Segment.p_type != PT_LOAD && Segment.p_type != PT_DYNAMIC && Segment.p_type != PT_NOTE) continue;
    const auto Bytes = In.Range(Segment.p_offset, Segment.p_filesz, "a segment");
    if (Segment.p_type == PT_NOTE && ResourceFile.empty()) ResourceFile = FindResourceNote(Bytes, Segment.p_align);
    if (Segment.p_type == PT_DYNAMIC && Dynamic.empty()) Dynamic = Bytes;
    if (Segment.p_type == PT_LOAD) Segments.Loads.push_back(Segment);
  }
  CheckSectionHeaders(In, Header);
  Contents.Resources = SysUtils::DecodeResources(ResourceFile, FileName);
  Contents.Exports = SysUtils::NameExports(ExportedSymbols(In, Segments, Dynamic));
  return Contents;
}

}  // namespace

// A module of this system, or a Windows one, which is only ever inspected.
TModuleContents ReadModule(std::span<const std::uint8_t> Data, const std::string& FileName) {
  namespace Pe = SysUtils::Pe;
  if (!Pe::LooksLikePe(Data)) return ReadElf(Data, FileName);
  const Pe::TReader Reader(Data, Pe::TLayout::File, FileName);
  TModuleContents Contents;
  Contents.Exports = Pe::ExportNames(Reader.Exports());
  Contents.Resources = Reader.Resources();
  return Contents;
}

std::vector<Windows::TResourceEntry> LoadedModuleResources(Windows::HMODULE, const void* AddressInModule,
                                                           const std::string& Where) {
  struct TSearch {
    std::uintptr_t Address;
    std::span<const std::uint8_t> Found;
  } Search{reinterpret_cast<std::uintptr_t>(AddressInModule), {}};
  dl_iterate_phdr(
      [](dl_phdr_info* Info, std::size_t, void* Data) {
        auto& S = *static_cast<TSearch*>(Data);
        bool Holds = false;
        for (int I = 0; I < Info->dlpi_phnum; ++I) {
          const ElfW(Phdr)& P = Info->dlpi_phdr[I];
          Holds |= P.p_type == PT_LOAD && S.Address - Info->dlpi_addr - P.p_vaddr < P.p_memsz;
        }
        if (!Holds) return 0;
        for (int I = 0; I < Info->dlpi_phnum && S.Found.empty(); ++I) {
          const ElfW(Phdr)& P = Info->dlpi_phdr[I];
          if (P.p_type != PT_NOTE) continue;
          const auto* Notes = reinterpret_cast<const std::uint8_t*>(Info->dlpi_addr + P.p_vaddr);
          S.Found = FindResourceNote({Notes, P.p_memsz}, P.p_align);
        }
        return 1;
      },
      &Search);
  return SysUtils::DecodeResources(Search.Found, Where);
}

}  // namespace Os
