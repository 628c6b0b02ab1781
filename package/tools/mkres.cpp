// mkres OUTPUT.res BUILD_OPTIONS
// mkres --program OUTPUT.res PROGRAM.exe DESCRIPTION
// Writes the package module's resources, or a program's icon and version
// block, as a binary resource file, which the build embeds in the module or
// program and which Windows resource tools read too.
#include <cstdio>
#include <exception>
#include <string>

#include "Classes.hpp"
#include "Resources.hpp"
#include "SysUtils.hpp"

int main(int Argc, char** Argv) {
  const bool Program = Argc == 5 && std::string(Argv[1]) == "--program";
  if (Argc != 3 && !Program) {
    std::fprintf(stderr, "usage: mkres OUTPUT.res BUILD_OPTIONS\n       mkres --program OUTPUT.res PROGRAM.exe DESCRIPTION\n");
    return 2;
  }
  if (Program) ++Argv;
  try {
    const auto Resources = Program ? Tessorin::Resources::ProgramResources(Argv[2], Argv[3])
                                   : Tessorin::Resources::ModuleResources(Argv[2]);
    std::vector<Windows::TResourceEntry> Entries;
    for (const auto& R : Resources) Entries.push_back({R.Name, R.Type, R.Language, R.Data});
    Classes::WriteFileBytes(Argv[1], SysUtils::EncodeResources(Entries));
  } catch (const std::exception& E) {
    std::fprintf(stderr, "mkres: %s\n", E.what());
    return 1;
  }
  return 0;
}
