// The resources the package module carries, drawn and encoded from code at
// build time. The generator writes them into the module; tests read them
// back from here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SysUtils.hpp"

namespace Tessorin::Resources {

// The language of the bitmap, icon and version resources, and the code page
// of the version strings.
constexpr std::uint16_t ResourceLanguage = 0x0429;
constexpr std::uint16_t ResourceCodePage = 1256;

// The palette bitmap TLVFILTERIMAGE: a 24 x 24, 4-bit device-independent
// bitmap as a bitmap resource stores it (a .bmp file without its file header).
std::vector<std::uint8_t> PaletteBitmap();
// The icon group MAINICON: a directory naming one 32 x 32, 16-colour image.
std::vector<std::uint8_t> IconGroup();
// Icon image #1: the same picture as the palette bitmap at 32 x 32, opaque.
std::vector<std::uint8_t> IconImage();

SysUtils::TPackageInfo PackageComposition();
std::vector<std::uint8_t> PackageInformation();
// The build options as given, stored as their bytes with no terminator.
std::vector<std::uint8_t> BuildOptions(const std::string& Text);

SysUtils::TVersionInfo VersionDescription();
std::vector<std::uint8_t> VersionBlock();

struct TResource {
  std::string Name;  // numbered resources as "#<number>"
  std::uint16_t Type = 0;
  std::uint16_t Language = 0;
  std::vector<std::uint8_t> Data;
};
// Every resource of the module, in the order the module lists them.
std::vector<TResource> ModuleResources(const std::string& BuildOptionsText);
// The resources of one of the programs on Windows: the package's icon as its
// own, and a version block in US English that names it (FileName such as
// "lvview.exe") and says what it is.
std::vector<TResource> ProgramResources(const std::string& FileName, const std::string& Description);

}  // namespace Tessorin::Resources
