// What both sides of the seam share: names for temporary files, which read
// the system's random source, and Linux modules read as data.
#include <random>
#include <utility>

#include "System/ElfFile.hpp"
#include "os/Os.hpp"

namespace Os {

std::string TemporaryName(const std::string& Folder) {
  static std::mt19937_64 Random{std::random_device{}()};
  static const char Letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string Name = Folder + PathSeparators[0] + ".tessorin-";
  for (int I = 0; I < 10; ++I) Name += Letters[Random() % (sizeof Letters - 1)];
  return Name;
}

TModuleContents ReadElfModule(std::span<const std::uint8_t> Data, const std::string& FileName) {
  SysUtils::Elf::TModule Module = SysUtils::Elf::ReadModule(Data, FileName);
  TModuleContents Contents;
  Contents.Resources = std::move(Module.Resources);
  Contents.Exports = std::move(Module.Exports);
  return Contents;
}

}  // namespace Os
