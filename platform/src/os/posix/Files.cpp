// Files: inputs mapped for reading, outputs written all or nothing.
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "Classes.hpp"
#include "os/Os.hpp"

namespace Os {

TMappedFile::TMappedFile(const std::string& FileName, std::uint64_t MaxSize) {
  // Without O_NONBLOCK, opening a named pipe waits for a writer forever.
  const int File = open(FileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (File < 0) throw Classes::EFOpenError(FileName + ": cannot open file: " + std::strerror(errno));
  struct stat Status {};
  if (fstat(File, &Status) != 0 || !S_ISREG(Status.st_mode)) {
    const bool Folder = S_ISDIR(Status.st_mode);
    close(File);
    throw Classes::EFOpenError(FileName + (Folder ? ": is a folder, not a file" : ": not a regular file"));
  }
  if (std::uint64_t(Status.st_size) > MaxSize) {
    close(File);
    throw Classes::EReadError(FileName + ": the file is " + SysUtils::SizeText(std::uint64_t(Status.st_size)) +
                              ", more than the limit of " + SysUtils::SizeText(MaxSize));
  }
  FSize = std::size_t(Status.st_size);
  if (FSize > 0) {
    // Pages are read as they are touched, not up front: a reader looks at
    // a file's head before the rest, and takes no more than it needs.
    void* Mapped = mmap(nullptr, FSize, PROT_READ, MAP_PRIVATE, File, 0);
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

// ---- Outputs -----------------------------------------------------------------

namespace {

std::atomic<bool> GUnnamedAllowed{true};

// Temporary names that an interrupt or termination removes. The handler
// only reads these fixed slots and calls unlink, which signal handlers may.
struct TCleanupSlot {
  std::atomic<bool> Claimed{false};
  std::atomic<bool> Active{false};  // Path is complete
  char Path[PATH_MAX]{};
};
TCleanupSlot GCleanup[16];

extern "C" void RemoveTemporaries(int Signal) {
  for (TCleanupSlot& Slot : GCleanup)
    if (Slot.Active.load()) unlink(Slot.Path);
  std::signal(Signal, SIG_DFL);
  std::raise(Signal);
}

void InstallCleanup() {
  static std::atomic<bool> Installed{false};
  if (Installed.exchange(true)) return;
  for (int Signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction Old {};
    // A program that handles or ignores the signal itself keeps its choice.
    if (sigaction(Signal, nullptr, &Old) != 0 || Old.sa_handler != SIG_DFL) continue;
    struct sigaction New {};
    New.sa_handler = RemoveTemporaries;
    sigemptyset(&New.sa_mask);
    sigaction(Signal, &New, nullptr);
  }
}

TCleanupSlot* Track(const std::string& Path) {
  if (Path.size() >= PATH_MAX) return nullptr;
  InstallCleanup();
  for (TCleanupSlot& Slot : GCleanup) {
    bool Free = false;
    if (Slot.Claimed.compare_exchange_strong(Free, true)) {
      std::memcpy(Slot.Path, Path.c_str(), Path.size() + 1);
      Slot.Active.store(true);
      return &Slot;
    }
  }
  return nullptr;
}

void Untrack(const std::string& Path) {
  for (TCleanupSlot& Slot : GCleanup)
    if (Slot.Active.load() && Path == Slot.Path) {
      Slot.Active.store(false);
      Slot.Claimed.store(false);
    }
}

std::string FolderOf(const std::string& Path) {
  const std::size_t Slash = Path.find_last_of('/');
  if (Slash == std::string::npos) return ".";
  return Slash == 0 ? "/" : Path.substr(0, Slash);
}

// Follows symbolic links to the file they name, which need not exist yet.
std::string FollowLinks(const std::string& Path, int& Error) {
  std::string Current = Path;
  for (int Hops = 0; Hops < 40; ++Hops) {
    struct stat Status {};
    if (lstat(Current.c_str(), &Status) != 0 || !S_ISLNK(Status.st_mode)) return Current;
    char Link[PATH_MAX];
    const ssize_t Length = readlink(Current.c_str(), Link, sizeof Link);
    if (Length < 0 || std::size_t(Length) == sizeof Link) {
      Error = Length < 0 ? errno : ENAMETOOLONG;
      return Current;
    }
    const std::string Next(Link, std::size_t(Length));
    Current = Next[0] == '/' ? Next : FolderOf(Current) + "/" + Next;
  }
  Error = ELOOP;
  return Current;
}

}  // namespace

void SetUnnamedFilesAllowed(bool Allowed) { GUnnamedAllowed = Allowed; }

TPendingFile::TPendingFile(const std::string& Target) : FTarget(Target) {
  if (Target.empty()) Fail(ENOENT);
  int Error = 0;
  FResolved = FollowLinks(Target, Error);
  if (Error) Fail(Error);
  const std::string Folder = FolderOf(FResolved);
  struct stat Status {};
  if (stat(Folder.c_str(), &Status) != 0)
    throw Classes::EWriteError(Target + ": cannot write: no folder " + Folder);
  if (!S_ISDIR(Status.st_mode)) throw Classes::EWriteError(Target + ": cannot write: " + Folder + " is not a folder");
  if (stat(FResolved.c_str(), &Status) == 0) {
    if (S_ISDIR(Status.st_mode)) Fail(EISDIR);
    if (!S_ISREG(Status.st_mode)) throw Classes::EWriteError(Target + ": cannot write: not a regular file");
    // Refused as any program that opens the file for writing would refuse
    // it, although the rename could replace it.
    if (access(FResolved.c_str(), W_OK) != 0) Fail(errno);
    FExisted = true;
    FMode = Status.st_mode & 07777;
  } else if (errno != ENOENT) {
    Fail(errno);
  }

  if (GUnnamedAllowed) {
    FFile = open(Folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    // Filesystems without unnamed files say so in one of these ways.
    if (FFile < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) Fail(errno);
  }
  if (FFile < 0) {
    for (int Attempt = 0; Attempt < 100 && FFile < 0; ++Attempt) {
      FTemporary = TemporaryName(Folder);
      FFile = open(FTemporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (FFile < 0 && errno != EEXIST) Fail(errno);
    }
    if (FFile < 0) Fail(EEXIST);
    Track(FTemporary);
  }
  if (FExisted) fchmod(FFile, FMode);
}

TPendingFile::~TPendingFile() {
  if (FFile >= 0) close(FFile);
  if (!FTemporary.empty()) {
    unlink(FTemporary.c_str());
    Untrack(FTemporary);
  }
}

void TPendingFile::Fail(int Error) { throw Classes::EWriteError(FTarget + ": cannot write: " + std::strerror(Error)); }

bool TPendingFile::Write(const void* Data, std::size_t Size) {
  const auto* Bytes = static_cast<const char*>(Data);
  while (Size > 0 && !FError) {
    const ssize_t Written = write(FFile, Bytes, Size);
    if (Written < 0) {
      if (errno != EINTR) FError = errno;
      continue;
    }
    Bytes += Written;
    Size -= std::size_t(Written);
  }
  return !FError;
}

void TPendingFile::Commit() {
  if (FError) Fail(FError);
  // On the disk before it has a name: a crash after the rename finds the
  // whole new file, never an empty one.
  if (fsync(FFile) != 0 && errno != EINVAL) Fail(errno);
  if (FTemporary.empty()) {
    const std::string Unnamed = "/proc/self/fd/" + std::to_string(FFile);
    // A new file gets its name in one step; one that replaces another is
    // named beside it first, then renamed over it.
    if (!FExisted && linkat(AT_FDCWD, Unnamed.c_str(), AT_FDCWD, FResolved.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      if (close(std::exchange(FFile, -1)) != 0) Fail(errno);
      return;
    }
    if (!FExisted && errno != EEXIST) Fail(errno);
    for (int Attempt = 0; Attempt < 100 && FTemporary.empty(); ++Attempt) {
      const std::string Name = TemporaryName(FolderOf(FResolved));
      if (linkat(AT_FDCWD, Unnamed.c_str(), AT_FDCWD, Name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        FTemporary = Name;
        Track(FTemporary);
      } else if (errno != EEXIST) {
        Fail(errno);
      }
    }
    if (FTemporary.empty()) Fail(EEXIST);
  }
  if (close(std::exchange(FFile, -1)) != 0) Fail(errno);
  if (std::rename(FTemporary.c_str(), FResolved.c_str()) != 0) Fail(errno);
  Untrack(FTemporary);
  FTemporary.clear();
}

void CommitAll(std::span<TPendingFile* const> Files) {
  for (TPendingFile* File : Files)
    if (File) File->Commit();
}

}  // namespace Os

namespace SysUtils {

std::vector<std::string> CommandLineArguments(int argc, char** argv) { return {argv, argv + argc}; }

bool SameFileName(std::string_view A, std::string_view B) { return A == B; }

std::string SysErrorMessage(unsigned Error) { return std::strerror(int(Error)); }

void WriteStandardText(int Stream, std::string_view Text) {
  while (!Text.empty()) {
    const ssize_t Written = write(Stream == 2 ? STDERR_FILENO : STDOUT_FILENO, Text.data(), Text.size());
    if (Written < 0 && errno == EINTR) continue;
    if (Written <= 0) return;
    Text.remove_prefix(std::size_t(Written));
  }
}

}  // namespace SysUtils
