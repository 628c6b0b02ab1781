#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Classes.hpp"
#include "os/Os.hpp"

namespace Os {

TMappedFile::TMappedFile(const std::string& FileName) {
  const int File = open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (File < 0) throw Classes::EFOpenError(FileName + ": cannot open file: " + std::strerror(errno));
  struct stat Status {};
  if (fstat(File, &Status) != 0 || !S_ISREG(Status.st_mode)) {
    close(File);
    throw Classes::EFOpenError(FileName + ": not a regular file");
  }
  FSize = std::size_t(Status.st_size);
  if (FSize > 0) {
    // Populated up front: one call instead of a fault per page.
    void* Mapped = mmap(nullptr, FSize, PROT_READ, MAP_PRIVATE | MAP_POPULATE, File, 0);
    if (Mapped == MAP_FAILED) {
      const std::string Reason = std::strerror(errno);
      close(File);
      throw Classes::EReadError(FileName + ": cannot read file: " + Reason);
    }
    FData = static_cast<const std::uint8_t*>(Mapped);
  }
  close(File);
}

TMappedFile::~TMappedFile() {
  if (FData) munmap(const_cast<std::uint8_t*>(FData), FSize);
}

bool StdinIsTerminal() { return isatty(STDIN_FILENO) == 1; }

std::string CreateTemporaryBeside(const std::string& Target) {
  std::string Name = Target + ".XXXXXX";
  // mkstemp creates the file exclusively: no link planted under the name
  // can redirect what is written.
  const int File = mkstemp(Name.data());
  if (File < 0) throw Classes::EWriteError(Target + ": cannot create file: " + std::strerror(errno));
  close(File);
  return Name;
}

void ReplaceFile(const std::string& Temporary, const std::string& Target) {
  struct stat Status {};
  mode_t Mode;
  if (stat(Target.c_str(), &Status) == 0) {
    Mode = Status.st_mode & 07777;
  } else {
    const mode_t Mask = umask(0);
    umask(Mask);
    Mode = 0666 & ~Mask;
  }
  if (chmod(Temporary.c_str(), Mode) != 0 || std::rename(Temporary.c_str(), Target.c_str()) != 0) {
    const std::string Reason = std::strerror(errno);
    std::remove(Temporary.c_str());
    throw Classes::EWriteError(Target + ": cannot write: " + Reason);
  }
}

}  // namespace Os
