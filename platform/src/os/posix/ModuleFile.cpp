// Module files on this system: ELF shared objects, and Windows modules,
// which are only ever inspected. Both are read by the readers every system
// shares; what is this system's own is finding the resources of a module
// the loader has mapped.
#include <link.h>

#include "SysUtils.hpp"
#include "System/ElfFile.hpp"
#include "System/PeFile.hpp"
#include "os/Os.hpp"

namespace Os {

TModuleContents ReadModule(std::span<const std::uint8_t> Data, const std::string& FileName) {
  namespace Pe = SysUtils::Pe;
  if (!Pe::LooksLikePe(Data)) return ReadElfModule(Data, FileName);
  TModuleContents Contents;
  const Pe::TReader Reader(Data, Pe::TLayout::File, FileName);
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
          S.Found = SysUtils::Elf::FindResourceNote({Notes, P.p_memsz}, P.p_align);
        }
        return 1;
      },
      &Search);
  return SysUtils::DecodeResources(Search.Found, Where);
}

}  // namespace Os
