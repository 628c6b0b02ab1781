// What both sides of the seam share: names for temporary files, and the
// buttons of a message box.
#include <random>

#include "os/Os.hpp"

namespace Os {

std::string TemporaryName(const std::string& Folder) {
  static std::mt19937_64 Random{std::random_device{}()};
  static const char Letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string Name = Folder + PathSeparators[0] + ".tessorin-";
  for (int I = 0; I < 10; ++I) Name += Letters[Random() % (sizeof Letters - 1)];
  return Name;
}

std::vector<std::pair<std::string, int>> MessageBoxButtons(Windows::UINT Type) {
  using namespace Windows;
  switch (Type & MB_TYPEMASK) {
    case MB_OKCANCEL: return {{"OK", IDOK}, {"Cancel", IDCANCEL}};
    case MB_ABORTRETRYIGNORE: return {{"Abort", IDABORT}, {"Retry", IDRETRY}, {"Ignore", IDIGNORE}};
    case MB_YESNOCANCEL: return {{"Yes", IDYES}, {"No", IDNO}, {"Cancel", IDCANCEL}};
    case MB_YESNO: return {{"Yes", IDYES}, {"No", IDNO}};
    case MB_RETRYCANCEL: return {{"Retry", IDRETRY}, {"Cancel", IDCANCEL}};
    default: return {{"OK", IDOK}};
  }
}

}  // namespace Os
