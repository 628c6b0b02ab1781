// The symbols a module file exports, read from its ELF dynamic symbol
// table. The file is outside data: every offset and size is checked against
// the file before use.
#include <cstring>
#include <cxxabi.h>
#include <elf.h>
#include <memory>

#include "Graphics.hpp"
#include "SysUtils.hpp"

namespace SysUtils {

namespace {

// More than any real module exports; a bound on what a crafted file costs.
constexpr std::uint64_t MaxSymbols = 1 << 20;

template <class T>
T Read(const std::vector<std::uint8_t>& Data, std::uint64_t Offset, const std::string& Where) {
  if (Offset > Data.size() || Data.size() - Offset < sizeof(T)) throw EPackageError(Where + ": truncated ELF file");
  T Value;
  std::memcpy(&Value, Data.data() + Offset, sizeof(T));
  return Value;
}

std::string Demangle(const char* Name) {
  int Status = 0;
  std::unique_ptr<char, void (*)(void*)> Plain(abi::__cxa_demangle(Name, nullptr, nullptr, &Status), std::free);
  return Status == 0 && Plain ? Plain.get() : Name;
}

}  // namespace

std::vector<std::string> ModuleExports(const std::string& FileName) {
  std::vector<std::uint8_t> Data;
  try {
    Data = Graphics::ReadFileBytes(FileName);
  } catch (const Graphics::EInvalidGraphic&) {
    throw EPackageError(FileName + ": larger than a module can be");
  }
  const auto Header = Read<Elf64_Ehdr>(Data, 0, FileName);
  if (std::memcmp(Header.e_ident, ELFMAG, SELFMAG) != 0 || Header.e_ident[EI_CLASS] != ELFCLASS64 ||
      Header.e_ident[EI_DATA] != ELFDATA2LSB)
    throw EPackageError(FileName + ": not a 64-bit little-endian ELF module");
  if (Header.e_shentsize != sizeof(Elf64_Shdr)) throw EPackageError(FileName + ": unexpected section header size");
  std::vector<std::string> Names;
  // A module has one dynamic symbol table; the first one found is read.
  for (std::uint64_t I = 0; I < Header.e_shnum; ++I) {
    const auto Section = Read<Elf64_Shdr>(Data, Header.e_shoff + I * sizeof(Elf64_Shdr), FileName);
    if (Section.sh_type != SHT_DYNSYM) continue;
    if (Section.sh_link >= Header.e_shnum) throw EPackageError(FileName + ": symbol table names no string table");
    const auto Strings = Read<Elf64_Shdr>(Data, Header.e_shoff + Section.sh_link * sizeof(Elf64_Shdr), FileName);
    if (Strings.sh_offset > Data.size() || Data.size() - Strings.sh_offset < Strings.sh_size)
      throw EPackageError(FileName + ": string table past the end of the file");
    if (Section.sh_size / sizeof(Elf64_Sym) > MaxSymbols) throw EPackageError(FileName + ": symbol table too large");
    for (std::uint64_t S = 1; S < Section.sh_size / sizeof(Elf64_Sym); ++S) {
      const auto Symbol = Read<Elf64_Sym>(Data, Section.sh_offset + S * sizeof(Elf64_Sym), FileName);
      const unsigned Binding = ELF64_ST_BIND(Symbol.st_info);
      if (Symbol.st_shndx == SHN_UNDEF || (Binding != STB_GLOBAL && Binding != STB_WEAK)) continue;
      if (Symbol.st_name >= Strings.sh_size) throw EPackageError(FileName + ": symbol name past its string table");
      const char* Name = reinterpret_cast<const char*>(Data.data() + Strings.sh_offset + Symbol.st_name);
      const std::size_t Room = Strings.sh_size - Symbol.st_name;
      if (strnlen(Name, Room) == Room) throw EPackageError(FileName + ": unterminated symbol name");
      Names.push_back(Demangle(Name));
    }
    break;
  }
  return Names;
}

}  // namespace SysUtils
