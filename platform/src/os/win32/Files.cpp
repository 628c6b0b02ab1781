// Files on Windows: inputs mapped for reading, outputs written all or
// nothing. An output is written under a hidden temporary name that the
// system deletes should the program end before it is complete, and is then
// moved over the target in one step. The outputs of one run are named
// together: each target is checked when its file is made, and a move that
// fails part-way puts back what the moves before it replaced. Names are
// UTF-8, given to the system's Unicode calls.
#include <cstdio>
#include <io.h>
#include <utility>
#include <vector>

#include "Classes.hpp"
#include "os/Os.hpp"
#include "os/win32/Win32.hpp"

namespace Os {

namespace {

std::string FolderOf(const std::string& Path) {
  const std::size_t Slash = Path.find_last_of(PathSeparators);
  if (Slash == std::string::npos) return ".";
  return Path.substr(0, Slash + (Slash == 0 || Path[Slash - 1] == ':'));
}

// Whether the system deletes the file when its last handle closes.
bool DeleteOnClose(HANDLE File, bool Delete) {
  FILE_DISPOSITION_INFO Disposition{};
  Disposition.DeleteFile = Delete;
  return ::SetFileInformationByHandle(File, FileDispositionInfo, &Disposition, sizeof Disposition) != 0;
}

// The file a move would replace, opened as the move opens it: a file
// another program holds without letting it be deleted is refused.
HANDLE OpenToReplace(const std::wstring& Path) {
  return ::CreateFileW(Path.c_str(), DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

}  // namespace

bool StdinIsTerminal() { return _isatty(_fileno(stdin)) != 0; }

TMappedFile::TMappedFile(const std::string& FileName, std::uint64_t MaxSize) {
  HANDLE File = ::CreateFileW(Win32::FilePath(FileName).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (File == INVALID_HANDLE_VALUE)
    throw Classes::EFOpenError(FileName + ": cannot open file: " + Win32::ErrorText(::GetLastError()));
  BY_HANDLE_FILE_INFORMATION Status{};
  const bool Known = ::GetFileInformationByHandle(File, &Status) != 0;
  if (!Known || ::GetFileType(File) != FILE_TYPE_DISK || (Status.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    const bool Folder = Known && (Status.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    ::CloseHandle(File);
    throw Classes::EFOpenError(FileName + (Folder ? ": is a folder, not a file" : ": not a regular file"));
  }
  const std::uint64_t Size = (std::uint64_t(Status.nFileSizeHigh) << 32) | Status.nFileSizeLow;
  if (Size > MaxSize) {
    ::CloseHandle(File);
    throw Classes::EReadError(FileName + ": the file is " + SysUtils::SizeText(Size) + ", more than the limit of " +
                              SysUtils::SizeText(MaxSize));
  }
  FSize = std::size_t(Size);
  if (FSize > 0) {
    HANDLE Mapping = ::CreateFileMappingW(File, nullptr, PAGE_READONLY, 0, 0, nullptr);
    const void* View = Mapping ? ::MapViewOfFile(Mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
    const DWORD Error = ::GetLastError();
    if (Mapping) ::CloseHandle(Mapping);  // the view keeps the mapping
    if (!View) {
      ::CloseHandle(File);
      throw Classes::EReadError(FileName + ": cannot read file: " + Win32::ErrorText(Error));
    }
    FData = static_cast<const std::uint8_t*>(View);
  }
  ::CloseHandle(File);
}

TMappedFile::~TMappedFile() {
  if (FData) ::UnmapViewOfFile(FData);
}

void SetUnnamedFilesAllowed(bool) {}

TPendingFile::TPendingFile(const std::string& Target) : FTarget(Target), FResolved(Target) {
  if (Target.empty()) Fail(ERROR_FILE_NOT_FOUND);
  const std::string Folder = FolderOf(Target);
  const DWORD FolderAttributes = ::GetFileAttributesW(Win32::FilePath(Folder).c_str());
  if (FolderAttributes == INVALID_FILE_ATTRIBUTES)
    throw Classes::EWriteError(Target + ": cannot write: no folder " + Folder);
  if (!(FolderAttributes & FILE_ATTRIBUTE_DIRECTORY))
    throw Classes::EWriteError(Target + ": cannot write: " + Folder + " is not a folder");
  // The target is opened as the move will need it, so that a name the
  // system refuses, a device, or a file another program holds is refused
  // now, before any output of the run is named.
  const std::wstring Path = Win32::FilePath(Target);
  HANDLE Existing = OpenToReplace(Path);
  if (Existing == INVALID_HANDLE_VALUE) {
    const DWORD Error = ::GetLastError();
    if (Error != ERROR_FILE_NOT_FOUND) Fail(int(Error));
  } else {
    BY_HANDLE_FILE_INFORMATION Status{};
    const bool Disk = ::GetFileType(Existing) == FILE_TYPE_DISK && ::GetFileInformationByHandle(Existing, &Status);
    ::CloseHandle(Existing);
    if (!Disk) throw Classes::EWriteError(Target + ": cannot write: not a regular file");
    if (Status.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      throw Classes::EWriteError(Target + ": cannot write: is a folder");
    // Refused as any program that opens the file for writing would refuse
    // it, although the move could replace it.
    if (Status.dwFileAttributes & FILE_ATTRIBUTE_READONLY) Fail(ERROR_ACCESS_DENIED);
    FExisted = true;
    FMode = Status.dwFileAttributes;
  }
  HANDLE File = INVALID_HANDLE_VALUE;
  for (int Attempt = 0; Attempt < 100 && File == INVALID_HANDLE_VALUE; ++Attempt) {
    FTemporary = TemporaryName(Folder);
    File = ::CreateFileW(Win32::FilePath(FTemporary).c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_DELETE, nullptr,
                         CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (File == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) Fail(int(::GetLastError()));
  }
  if (File == INVALID_HANDLE_VALUE) Fail(ERROR_FILE_EXISTS);
  FFile = reinterpret_cast<std::intptr_t>(File);
  DeleteOnClose(File, true);
}

TPendingFile::~TPendingFile() {
  if (FFile != -1) ::CloseHandle(reinterpret_cast<HANDLE>(FFile));
  if (!FTemporary.empty()) ::DeleteFileW(Win32::FilePath(FTemporary).c_str());
}

void TPendingFile::Fail(int Error) {
  throw Classes::EWriteError(FTarget + ": cannot write: " + Win32::ErrorText(DWORD(Error)));
}

bool TPendingFile::Write(const void* Data, std::size_t Size) {
  const auto* Bytes = static_cast<const char*>(Data);
  while (Size > 0 && !FError) {
    const DWORD Chunk = DWORD(std::min<std::size_t>(Size, 1u << 30));
    DWORD Written = 0;
    if (!::WriteFile(reinterpret_cast<HANDLE>(FFile), Bytes, Chunk, &Written, nullptr) || Written == 0) {
      FError = int(::GetLastError() ? ::GetLastError() : ERROR_WRITE_FAULT);
      break;
    }
    Bytes += Written;
    Size -= Written;
  }
  return !FError;
}

void TPendingFile::Complete() {
  if (FError) Fail(FError);
  HANDLE File = reinterpret_cast<HANDLE>(FFile);
  // On the disk before it has the target's name: a crash after the move
  // finds the whole new file, never an empty one.
  if (!::FlushFileBuffers(File)) Fail(int(::GetLastError()));
  DeleteOnClose(File, false);
  FFile = -1;
  if (!::CloseHandle(File)) Fail(int(::GetLastError()));
  const std::wstring Temporary = Win32::FilePath(FTemporary);
  if (FExisted) ::SetFileAttributesW(Temporary.c_str(), FMode & ~DWORD(FILE_ATTRIBUTE_HIDDEN));
  else ::SetFileAttributesW(Temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
}

void TPendingFile::Commit() {
  TPendingFile* const Self = this;
  CommitAll({&Self, 1});
}

void CommitAll(std::span<TPendingFile* const> Files) {
  // What each move did, for putting it back: an old file is kept under a
  // second name (a link to it, or else a copy) until every output is named.
  struct TStep {
    TPendingFile* File;
    std::wstring Target, Temporary, Old;
    bool Placed = false;
  };
  std::vector<TStep> Steps;
  for (TPendingFile* File : Files)
    if (File) File->Complete();
  for (TPendingFile* File : Files)
    if (File) Steps.push_back({File, Win32::FilePath(File->FResolved), Win32::FilePath(File->FTemporary), {}});
  const auto PutBack = [&](TStep& Failed, DWORD Error) {
    for (TStep& Step : Steps) {
      if (Step.Placed) {
        if (Step.Old.empty()) ::MoveFileExW(Step.Target.c_str(), Step.Temporary.c_str(), 0);
        else ::MoveFileExW(Step.Old.c_str(), Step.Target.c_str(), MOVEFILE_REPLACE_EXISTING);
      } else if (!Step.Old.empty()) {
        ::DeleteFileW(Step.Old.c_str());
      }
    }
    Failed.File->Fail(int(Error));
  };
  for (TStep& Step : Steps) {
    TPendingFile& File = *Step.File;
    // The last move replaces its file in one step or fails leaving it: its
    // old file is never put back, so it needs no second name.
    if (File.FExisted && &Step != &Steps.back()) {
      // A file another program has come to hold cannot be replaced; its
      // second name could then not be removed either.
      HANDLE Replaced = OpenToReplace(Step.Target);
      if (Replaced == INVALID_HANDLE_VALUE) PutBack(Step, ::GetLastError());
      ::CloseHandle(Replaced);
      const std::string Folder = FolderOf(File.FResolved);
      for (int Attempt = 0; Attempt < 100 && Step.Old.empty(); ++Attempt) {
        std::wstring Old = Win32::FilePath(TemporaryName(Folder));
        if (::CreateHardLinkW(Old.c_str(), Step.Target.c_str(), nullptr) ||
            ::CopyFileW(Step.Target.c_str(), Old.c_str(), TRUE))
          Step.Old = std::move(Old);
        else if (::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS)
          PutBack(Step, ::GetLastError());
      }
      if (Step.Old.empty()) PutBack(Step, ERROR_FILE_EXISTS);
    }
    if (!::MoveFileExW(Step.Temporary.c_str(), Step.Target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      PutBack(Step, ::GetLastError());
    Step.Placed = true;
  }
  for (TStep& Step : Steps) {
    TPendingFile& File = *Step.File;
    File.FTemporary.clear();
    if (!Step.Old.empty()) ::DeleteFileW(Step.Old.c_str());
    // A replaced file keeps being hidden or a system file, as a replaced
    // file keeps its mode elsewhere; the temporary could not carry that.
    constexpr DWORD Kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (File.FExisted && (File.FMode & Kept)) ::SetFileAttributesW(Step.Target.c_str(), File.FMode);
  }
}

}  // namespace Os
