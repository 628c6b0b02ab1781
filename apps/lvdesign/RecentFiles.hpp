// The forms opened and saved last, newest first, kept between sessions in
// a list file of the user's: one absolute path a line, UTF-8. A list that
// cannot be read or written is no reason to stop designing.
#pragma once

#include <string>
#include <vector>

namespace Lvdesign {

class TRecentFiles {
public:
  static constexpr std::size_t Most = 8;

  // ListFile empty: nothing is kept between sessions.
  explicit TRecentFiles(std::string ListFile);
  const std::vector<std::string>& Files() const { return FFiles; }
  // Puts File first, as an absolute path, and stores the list.
  void Add(const std::string& File);

private:
  void Store() const;

  std::string FListFile;
  std::vector<std::string> FFiles;
};

// The list file in the user's own settings: $XDG_CONFIG_HOME or ~/.config
// on Linux, the application-data folder on Windows; empty when there is none.
std::string RecentFilesList();

}  // namespace Lvdesign
