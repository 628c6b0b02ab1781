// Module files as PE32 DLLs, and Linux modules read as data. A DLL is
// read as data first by the reader every system shares, so that a truncated or crafted file is refused
// before the system is asked to touch it. Only then is it loaded as a data
// file (nothing in it runs), which the system's resource calls accept as
// the module, as everything else on Windows will look resources up.
#include <cstddef>
#include <cstring>
#include <memory>

#include "SysUtils.hpp"
#include "os/Os.hpp"
#include "System/PeFile.hpp"
#include "os/win32/Win32.hpp"

namespace Os {

namespace {

using SysUtils::EPackageError;
namespace Pe = SysUtils::Pe;

// The headers of a module the loader mapped into this process: until they
// are read only their page is known to be there, then the whole image.
Pe::TReader LoadedImage(const std::uint8_t* Base, const std::string& Where) {
  MEMORY_BASIC_INFORMATION Page;
  if (!::VirtualQuery(Base, &Page, sizeof Page) || Page.State != MEM_COMMIT ||
      (Page.Protect & (PAGE_NOACCESS | PAGE_GUARD)))
    throw EPackageError(Where + ": not a loaded module");
  const std::size_t Mapped = static_cast<const std::uint8_t*>(Page.BaseAddress) + Page.RegionSize - Base;
  const Pe::TReader Headers({Base, Mapped}, Pe::TLayout::Image, Where);
  return Pe::TReader({Base, Headers.ImageSize()}, Pe::TLayout::Image, Where);
}

}  // namespace

TModuleContents ReadModule(std::span<const std::uint8_t> Data, const std::string& FileName) {
  // A Linux module is only ever inspected, by the reader every system shares.
  if (!Pe::LooksLikePe(Data)) return ReadElfModule(Data, FileName);
  const Pe::TReader Reader(Data, Pe::TLayout::File, FileName);
  TModuleContents Contents;
  Contents.Exports = Pe::ExportNames(Reader.Exports());
  Contents.Resources = Reader.Resources();

  // By its full name: the system looks a bare name up along its search
  // path, and hands back any loaded module of that name.
  const std::wstring Full = Win32::FullPath(FileName);
  const HMODULE Module = Full.empty() ? nullptr : ::LoadLibraryExW(Full.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!Module) Reader.Fail("cannot be loaded as a data file: " + Win32::ErrorText(::GetLastError()));
  Contents.Keep = std::shared_ptr<void>(Module, [](void* Loaded) { ::FreeLibrary(static_cast<HMODULE>(Loaded)); });
  Contents.DataModule = reinterpret_cast<Windows::HMODULE>(Module);

  // The system opened the file again, so what it mapped must be shown to be
  // what was checked. A data file is mapped as it lies on disk, its handle
  // marked in the lowest bit. The file already loaded as a module in this
  // process is handed back as the image the loader mapped, checked as such,
  // and its resources are read from there.
  const auto Handle = reinterpret_cast<std::uintptr_t>(Module);
  const auto* Base = reinterpret_cast<const std::uint8_t*>(Handle & ~std::uintptr_t(3));
  if (Handle & 1) {
    MEMORY_BASIC_INFORMATION View;
    if (!::VirtualQuery(Base, &View, sizeof View) ||
        static_cast<const std::uint8_t*>(View.BaseAddress) + View.RegionSize - Base < std::ptrdiff_t(Data.size()) ||
        std::memcmp(Base, Data.data(), Data.size()) != 0)
      Reader.Fail("the file changed while it was read");
  } else {
    Contents.Resources = LoadedImage(Base, FileName).Resources();
  }
  return Contents;
}

std::vector<Windows::TResourceEntry> LoadedModuleResources(Windows::HMODULE Instance, const void*,
                                                           const std::string& Where) {
  return LoadedImage(reinterpret_cast<const std::uint8_t*>(Instance), Where).Resources();
}

}  // namespace Os
