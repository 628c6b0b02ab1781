// Design packages: loaded through the package machinery, registered
// through each contained unit's Register procedure, and shown on the
// palette with the bitmaps they carry.
#include <algorithm>
#include <filesystem>

#include "Designer.hpp"
#include "SysUtils.hpp"

namespace Design {

namespace {

std::vector<Classes::TComponentClass> PaletteClasses() {
  std::vector<Classes::TComponentClass> All;
  for (const Classes::TPalettePage& Page : Classes::PalettePages())
    All.insert(All.end(), Page.Classes.begin(), Page.Classes.end());
  return All;
}

std::string Canonical(const std::string& FileName) {
  std::error_code Error;
  const auto Path = std::filesystem::weakly_canonical(FileName, Error);
  return Error ? FileName : Path.string();
}

}  // namespace

TPackages::~TPackages() {
  for (auto It = FPackages.rbegin(); It != FPackages.rend(); ++It) SysUtils::UnloadPackage(It->Module);
}

void TPackages::Install(const std::string& FileName) {
  const std::string Key = Canonical(FileName);
  for (const TPackage& Package : FPackages)
    if (Package.FileName == Key) throw EDesignError(FileName + ": the package is installed already");
  const auto Before = PaletteClasses();
  const Windows::HMODULE Module = SysUtils::LoadPackage(FileName);
  try {
    for (const SysUtils::TPackageUnit& Unit : SysUtils::GetPackageInfo(Module).Contains)
      if (auto* Register = reinterpret_cast<void (*)()>(SysUtils::GetProcAddress(Module, SysUtils::RegisterProcName(Unit.Name).c_str())))
        Register();
  } catch (...) {
    SysUtils::UnloadPackage(Module);
    throw;
  }
  TPackage Package{Key, Module, {}, {}};
  for (Classes::TComponentClass Class : PaletteClasses())
    if (std::find(Before.begin(), Before.end(), Class) == Before.end()) {
      Package.Classes.push_back(Class);
      std::shared_ptr<Graphics::TBitmap> Glyph = std::make_shared<Graphics::TBitmap>();
      try {
        Glyph->LoadFromResourceName(Module, Class->ClassName);
      } catch (const std::exception&) {
        Glyph.reset();  // no bitmap, or one that does not read: the plain glyph
      }
      Package.Glyphs.push_back(std::move(Glyph));
    }
  FPackages.push_back(std::move(Package));
}

void TPackages::Remove(const std::string& FileName, const std::function<bool(Classes::TComponentClass)>& InUse) {
  const std::string Key = Canonical(FileName);
  const auto Found = std::find_if(FPackages.begin(), FPackages.end(), [&](const TPackage& P) { return P.FileName == Key; });
  if (Found == FPackages.end()) throw EDesignError(FileName + ": no such package is installed");
  for (Classes::TComponentClass Class : Found->Classes)
    if (InUse && InUse(Class))
      throw EDesignError(FileName + ": the form holds a " + Class->ClassName + "; close the form first");
  SysUtils::UnloadPackage(Found->Module);
  FPackages.erase(Found);
}

std::vector<std::string> TPackages::Installed() const {
  std::vector<std::string> Names;
  for (const TPackage& Package : FPackages) Names.push_back(Package.FileName);
  return Names;
}

std::vector<TPaletteButton> TPackages::Palette() const {
  std::vector<TPaletteButton> Buttons;
  for (const Classes::TPalettePage& Page : Classes::PalettePages())
    for (Classes::TComponentClass Class : Page.Classes) {
      TPaletteButton Button{Page.Name, Class, nullptr};
      for (const TPackage& Package : FPackages)
        for (std::size_t I = 0; I < Package.Classes.size(); ++I)
          if (Package.Classes[I] == Class) Button.Glyph = Package.Glyphs[I], Button.Module = Package.Module;
      Buttons.push_back(std::move(Button));
    }
  return Buttons;
}

}  // namespace Design
