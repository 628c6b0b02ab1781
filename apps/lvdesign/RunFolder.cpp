#include "RunFolder.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

namespace Lvdesign {

namespace {

std::string TemporaryFolder() {
  const char* Folder = std::getenv("TMPDIR");
  return Folder && *Folder ? Folder : "/tmp";
}

[[noreturn]] void Fail(const std::string& What, const std::string& Doing, int Error) {
  throw std::runtime_error(What + ": cannot " + Doing + ": " + std::strerror(Error));
}

// The system's reason when not all was written, else 0.
int WriteAll(int File, std::span<const std::uint8_t> Bytes) {
  while (!Bytes.empty()) {
    const ssize_t Written = ::write(File, Bytes.data(), Bytes.size());
    if (Written < 0 && errno == EINTR) continue;
    if (Written < 0) return errno;
    if (Written == 0) return EIO;
    Bytes = Bytes.subspan(std::size_t(Written));
  }
  return 0;
}

}  // namespace

TRunFolder::TRunFolder(std::string Parent) : FParent(Parent.empty() ? TemporaryFolder() : std::move(Parent)) {}

TRunFolder::~TRunFolder() {
  if (FFolder < 0) return;
  // Entries are removed through the folder held open, and links as links:
  // nothing outside the folder is touched whatever it holds.
  const int Held = int(FFolder);
  if (const int Listing = ::dup(Held); Listing >= 0) {
    if (DIR* Entries = ::fdopendir(Listing)) {
      std::vector<std::string> Names;
      while (const dirent* Entry = ::readdir(Entries))
        if (std::strcmp(Entry->d_name, ".") != 0 && std::strcmp(Entry->d_name, "..") != 0)
          Names.emplace_back(Entry->d_name);
      ::closedir(Entries);
      for (const std::string& Name : Names) ::unlinkat(Held, Name.c_str(), 0);
    } else {
      ::close(Listing);
    }
  }
  ::close(Held);
  ::rmdir(FPath.c_str());
}

void TRunFolder::Make() {
  std::string Template = FParent + "/lvdesign-run-XXXXXX";
  // mkdtemp makes the folder itself, under a name no one could have
  // guessed, and fails rather than use anything already there.
  if (!::mkdtemp(Template.data())) Fail(FParent, "make a folder for the form to run", errno);
  const int Folder = ::open(Template.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (Folder < 0) {
    const int Error = errno;
    ::rmdir(Template.c_str());
    Fail(Template, "open the folder", Error);
  }
  // Owner only, whatever the umask took away.
  ::fchmod(Folder, S_IRWXU);
  FFolder = Folder;
  FPath = Template;
}

std::string TRunFolder::Write(std::span<const std::uint8_t> Bytes) {
  if (FFolder < 0) Make();
  for (int Attempt = 0; Attempt < 100; ++Attempt) {
    const std::string Name = "form" + std::to_string(++FCount) + ".dfm";
    const std::string File = FPath + "/" + Name;
    const int Out = ::openat(int(FFolder), Name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (Out < 0) {
      if (errno == EEXIST) continue;
      Fail(File, "write", errno);
    }
    int Error = WriteAll(Out, Bytes);
    if (::close(Out) != 0 && Error == 0) Error = errno;
    if (Error != 0) {
      ::unlinkat(int(FFolder), Name.c_str(), 0);
      Fail(File, "write", Error);
    }
    return File;
  }
  Fail(FPath, "write a form there", EEXIST);
}

}  // namespace Lvdesign
