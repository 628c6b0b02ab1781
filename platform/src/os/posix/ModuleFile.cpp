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

}  // namespace

TModuleContents ReadModule(std::span<const std::uint8_t> Data, const std::string& FileName) {
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
  std::span<const std::uint8_t> ResourceFile;
  // Every segment the loader maps or reads must lie in the file: mapping
  // one that reaches past its end faults on first touch.
  for (std::uint64_t I = 0; I < Header.e_phnum; ++I) {
    const auto Segment = In.Read<Elf64_Phdr>(Header.e_phoff + I * sizeof(Elf64_Phdr), "a program header");
    if (Segment.p_type != PT_LOAD && Segment.p_type != PT_DYNAMIC && Segment.p_type != PT_NOTE) continue;
    const auto Bytes = In.Range(Segment.p_offset, Segment.p_filesz, "a segment");
    if (Segment.p_type == PT_NOTE && ResourceFile.empty()) ResourceFile = FindResourceNote(Bytes, Segment.p_align);
  }
  Contents.Resources = SysUtils::DecodeResources(ResourceFile, FileName);

  if (Header.e_shoff == 0) return Contents;
  if (Header.e_shentsize != sizeof(Elf64_Shdr)) In.Fail("unexpected section header size");
  std::vector<std::string> Symbols;
  // A module has one dynamic symbol table; the first one found is read.
  for (std::uint64_t I = 0; I < Header.e_shnum; ++I) {
    const auto Section = In.Read<Elf64_Shdr>(Header.e_shoff + I * sizeof(Elf64_Shdr), "a section header");
    if (Section.sh_type != SHT_DYNSYM) continue;
    if (Section.sh_link >= Header.e_shnum) In.Fail("symbol table names no string table");
    const auto Strings = In.Read<Elf64_Shdr>(Header.e_shoff + Section.sh_link * sizeof(Elf64_Shdr), "a section header");
    const auto Names = In.Range(Strings.sh_offset, Strings.sh_size, "the symbol name table");
    if (Section.sh_size / sizeof(Elf64_Sym) > MaxSymbols) In.Fail("symbol table too large");
    In.Range(Section.sh_offset, Section.sh_size, "the symbol table");
    std::size_t Text = 0;
    for (std::uint64_t S = 1; S < Section.sh_size / sizeof(Elf64_Sym); ++S) {
      const auto Symbol = In.Read<Elf64_Sym>(Section.sh_offset + S * sizeof(Elf64_Sym), "the symbol table");
      const unsigned Binding = ELF64_ST_BIND(Symbol.st_info);
      if (Symbol.st_shndx == SHN_UNDEF || (Binding != STB_GLOBAL && Binding != STB_WEAK)) continue;
      if (Symbol.st_name >= Names.size()) In.Fail("symbol name past its string table");
      const char* Name = reinterpret_cast<const char*>(Names.data() + Symbol.st_name);
      const std::size_t Room = Names.size() - Symbol.st_name;
      const std::size_t Length = strnlen(Name, std::min(Room, MaxSymbolName + 1));
      if (Length == Room) In.Fail("unterminated symbol name");
      if (Length > MaxSymbolName) In.Fail("a symbol name longer than " + std::to_string(MaxSymbolName) + " bytes");
      if ((Text += Length) > MaxExportText) In.Fail("more exported names than a module has");
      Symbols.emplace_back(Name);
    }
    break;
  }
  Contents.Exports = NameExports(Symbols);
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
