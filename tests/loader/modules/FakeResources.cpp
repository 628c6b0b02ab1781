// fakeres OUTPUT.res PACKAGE REQUIRES   the resources of a small package
// fakeres OUTPUT.res --language         those of a resource module
// Writes the resource files of the loader tests' modules.
#include <cstdio>
#include <string>

#include "Classes.hpp"
#include "SysUtils.hpp"

int main(int Argc, char** Argv) {
  if (Argc != 3 && Argc != 4) {
    std::fprintf(stderr, "usage: fakeres OUTPUT.res (PACKAGE REQUIRES | --language)\n");
    return 2;
  }
  static const std::uint8_t Marker[] = {'f', 'a', 'k', 'e'};
  std::vector<Windows::TResourceEntry> Entries;
  std::vector<std::uint8_t> Info;
  if (std::string(Argv[2]) == "--language") {
    // A replacement palette bitmap, in German.
    Entries.push_back({"TLVFILTERIMAGE", Windows::RT_BITMAP, 0x0407, Marker});
  } else {
    SysUtils::TPackageInfo Package{SysUtils::pfNeverBuild, {"vcl40"}, {{Argv[2], SysUtils::ufMainUnit}}};
    if (Argc == 4 && *Argv[3]) Package.Requires.push_back(Argv[3]);
    Info = SysUtils::EncodePackageInfo(Package);
    Entries.push_back({"PACKAGEINFO", Windows::RT_RCDATA, Windows::LANG_NEUTRAL, Info});
    Entries.push_back({"MARKER", Windows::RT_RCDATA, Windows::LANG_NEUTRAL, Marker});
  }
  Classes::WriteFileBytes(Argv[1], SysUtils::EncodeResources(Entries));
  return 0;
}
