// mkres OUTPUT.res BUILD_OPTIONS
// Writes the package module's resources as a binary resource file, which
// the build embeds in the module and which Windows resource tools read too.
#include <cstdio>
#include <exception>
#include <string>

#include "Classes.hpp"
#include "Resources.hpp"
#include "SysUtils.hpp"

int main(int Argc, char** Argv) {
  if (Argc != 3) {
    std::fprintf(stderr, "usage: mkres OUTPUT.res BUILD_OPTIONS\n");
    return 2;
  }
  try {
    const auto Resources = Tessorin::Resources::ModuleResources(Argv[2]);
    std::vector<Windows::TResourceEntry> Entries;
    for (const auto& R : Resources) Entries.push_back({R.Name, R.Type, R.Language, R.Data});
    Classes::WriteFileBytes(Argv[1], SysUtils::EncodeResources(Entries));
  } catch (const std::exception& E) {
    std::fprintf(stderr, "mkres: %s\n", E.what());
    return 1;
  }
  return 0;
}
