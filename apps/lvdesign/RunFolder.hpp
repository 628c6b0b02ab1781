// Where Run (F9) puts the forms it hands to the viewer. The temporary folder
// is shared with every other user, so the forms go into a folder of this
// user's alone: made on the first form with an unpredictable name and mode
// 0700, removed with everything in it when this goes. Each form is a new
// file there, form1.dfm, form2.dfm and so on, skipping any name already
// taken: a file is only ever created where nothing is, never through a
// link, readable by this user alone, and a viewer still reading an earlier
// form is not disturbed. RunFolder.cpp makes it on POSIX systems (mode
// 0700), win32/RunFolder.cpp on Windows (a folder whose access list names
// this user alone, in the user's temporary folder).
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace Lvdesign {

class TRunFolder {
public:
  // The folder is made in Parent; in the system's temporary folder
  // (TMPDIR, else /tmp; GetTempPath on Windows) when Parent is empty.
  explicit TRunFolder(std::string Parent = "");
  ~TRunFolder();
  TRunFolder(const TRunFolder&) = delete;
  TRunFolder& operator=(const TRunFolder&) = delete;

  // Writes Bytes into a new file and answers its path. Raises
  // std::runtime_error naming the folder or file and the system's reason.
  std::string Write(std::span<const std::uint8_t> Bytes);
  // The folder; empty until the first form is written.
  const std::string& Path() const { return FPath; }

private:
  void Make();

  std::string FParent;
  std::string FPath;
  // The folder, held open so files are made in it and no other (and on
  // Windows, so that no one else can rename or remove it): a descriptor
  // or a handle, -1 until made.
  std::intptr_t FFolder = -1;
  unsigned FCount = 0;
};

}  // namespace Lvdesign
