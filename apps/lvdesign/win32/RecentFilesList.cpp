#include "RecentFiles.hpp"

#include "Wide.hpp"
#include "Win32.hpp"

#include <shlobj.h>

namespace Lvdesign {

// In the user's roaming application-data folder, whatever its name's characters.
std::string RecentFilesList() {
  wchar_t* Folder = nullptr;
  std::string List;
  if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &Folder)))
    List = Narrow(Folder) + "\\lvdesign\\recent";
  ::CoTaskMemFree(Folder);
  return List;
}

}  // namespace Lvdesign
