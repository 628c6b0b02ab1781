#include "RecentFiles.hpp"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "Classes.hpp"

namespace Lvdesign {

namespace fs = std::filesystem;

namespace {

// Names are UTF-8 on every system, and std::filesystem takes them so only as char8_t.
fs::path PathOf(const std::string& Utf8) { return fs::path(std::u8string(Utf8.begin(), Utf8.end())); }
std::string Utf8Of(const fs::path& Path) {
  const std::u8string Text = Path.u8string();
  return std::string(Text.begin(), Text.end());
}

// An absolute path on one line, of printable characters.
bool Usable(const std::string& Line) {
  return !Line.empty() && Line.size() < 4096 &&
         std::none_of(Line.begin(), Line.end(), [](char C) { return static_cast<unsigned char>(C) < 0x20; }) &&
         PathOf(Line).is_absolute();
}

}  // namespace

TRecentFiles::TRecentFiles(std::string ListFile) : FListFile(std::move(ListFile)) {
  if (FListFile.empty()) return;
  std::string Text;
  try {
    const std::vector<std::uint8_t> Bytes = Classes::ReadFileBytes(FListFile);
    Text.assign(Bytes.begin(), Bytes.end());
  } catch (const std::exception&) {
    return;
  }
  for (std::size_t From = 0; From < Text.size() && FFiles.size() < Most;) {
    std::size_t End = Text.find('\n', From);
    if (End == std::string::npos) End = Text.size();
    const std::string Line = Text.substr(From, End - From);
    if (Usable(Line) && std::find(FFiles.begin(), FFiles.end(), Line) == FFiles.end()) FFiles.push_back(Line);
    From = End + 1;
  }
}

void TRecentFiles::Add(const std::string& File) {
  std::error_code Error;
  const std::string Absolute = Utf8Of(fs::absolute(PathOf(File), Error).lexically_normal());
  if (Error || !Usable(Absolute)) return;
  std::erase(FFiles, Absolute);
  FFiles.insert(FFiles.begin(), Absolute);
  if (FFiles.size() > Most) FFiles.resize(Most);
  Store();
}

void TRecentFiles::Store() const {
  if (FListFile.empty()) return;
  std::string Text;
  for (const std::string& File : FFiles) Text += File + "\n";
  try {
    std::error_code Error;
    fs::create_directories(PathOf(FListFile).parent_path(), Error);
    Classes::WriteFileBytes(FListFile, {reinterpret_cast<const std::uint8_t*>(Text.data()), Text.size()});
  } catch (const std::exception&) {
  }
}

#ifndef _WIN32
std::string RecentFilesList() {
  if (const char* Config = std::getenv("XDG_CONFIG_HOME"); Config && *Config == '/')
    return std::string(Config) + "/lvdesign/recent";
  if (const char* Home = std::getenv("HOME"); Home && *Home == '/') return std::string(Home) + "/.config/lvdesign/recent";
  return {};
}
#endif

}  // namespace Lvdesign
