// Modules for the loader's tests: a package named FAKE_NAME that requires
// vcl40 and, unless empty, the package FAKE_REQUIRES; or, built with
// FAKE_RESOURCES, a resource module carrying a replacement palette bitmap.
#include <string>
#include <vector>

#include "SysUtils.hpp"
#include "Windows.hpp"

#define EXPORT __attribute__((visibility("default")))

namespace {

[[maybe_unused]] const std::vector<std::uint8_t>& Info() {
  static const std::vector<std::uint8_t> Bytes = [] {
    SysUtils::TPackageInfo Package{SysUtils::pfNeverBuild, {"vcl40"}, {{FAKE_NAME, SysUtils::ufMainUnit}}};
    if (std::string(FAKE_REQUIRES) != "") Package.Requires.push_back(FAKE_REQUIRES);
    return SysUtils::EncodePackageInfo(Package);
  }();
  return Bytes;
}

const std::uint8_t Marker[] = {'f', 'a', 'k', 'e'};

}  // namespace

extern "C" EXPORT const Windows::TResourceEntry* VclResourceTable(std::size_t* Count) {
#if defined(FAKE_RESOURCES)
  static const Windows::TResourceEntry Entries[] = {{"TLVFILTERIMAGE", Windows::RT_BITMAP, 0x0407, Marker, 4}};
#else
  static const Windows::TResourceEntry Entries[] = {
      {"PACKAGEINFO", Windows::RT_RCDATA, Windows::LANG_NEUTRAL, Info().data(), Info().size()},
      {"MARKER", Windows::RT_RCDATA, Windows::LANG_NEUTRAL, Marker, 4}};
#endif
  *Count = std::size(Entries);
  return Entries;
}

#if !defined(FAKE_RESOURCES)
namespace {
const SysUtils::TUnitEntry Units[] = {{FAKE_NAME, nullptr, nullptr}};
const SysUtils::TPackageUnitTable Table{1, Units};
const void* Self() { return reinterpret_cast<const void*>(&VclResourceTable); }
__attribute__((constructor)) void Attach() { SysUtils::RegisterModule(Self(), &VclResourceTable); }
__attribute__((destructor)) void Detach() { SysUtils::UnregisterModule(Self()); }
}  // namespace

extern "C" EXPORT const SysUtils::TPackageUnitTable* GetPackageInfoTable() { return &Table; }
extern "C" EXPORT void Initialize() { SysUtils::InitializePackage(Table); }
extern "C" EXPORT void Finalize() { SysUtils::FinalizePackage(Table); }
#endif
