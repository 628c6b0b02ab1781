// Files on Windows: inputs mapped for reading, outputs written all or
// nothing. An output is written under a hidden temporary name that the
// system deletes should the program end before it is complete, and is then
// moved over the target in one step.
#include <cstdio>
#include <io.h>
#include <utility>

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

}  // namespace

bool StdinIsTerminal() { return _isatty(_fileno(stdin)) != 0; }

TMappedFile::TMappedFile(const std::string& FileName, std::uint64_t MaxSize) {
  HANDLE File = ::CreateFileA(FileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
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
    HANDLE Mapping = ::CreateFileMappingA(File, nullptr, PAGE_READONLY, 0, 0, nullptr);
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
  const DWORD FolderAttributes = ::GetFileAttributesA(Folder.c_str());
  if (FolderAttributes == INVALID_FILE_ATTRIBUTES)
    throw Classes::EWriteError(Target + ": cannot write: no folder " + Folder);
  if (!(FolderAttributes & FILE_ATTRIBUTE_DIRECTORY))
    throw Classes::EWriteError(Target + ": cannot write: " + Folder + " is not a folder");
  const DWORD Attributes = ::GetFileAttributesA(Target.c_str());
  if (Attributes != INVALID_FILE_ATTRIBUTES) {
    if (Attributes & FILE_ATTRIBUTE_DIRECTORY) throw Classes::EWriteError(Target + ": cannot write: is a folder");
    // Refused as any program that opens the file for writing would refuse
    // it, although the move could replace it.
    if (Attributes & FILE_ATTRIBUTE_READONLY) Fail(ERROR_ACCESS_DENIED);
    FExisted = true;
    FMode = Attributes;
  }
  HANDLE File = INVALID_HANDLE_VALUE;
  for (int Attempt = 0; Attempt < 100 && File == INVALID_HANDLE_VALUE; ++Attempt) {
    FTemporary = TemporaryName(Folder);
    File = ::CreateFileA(FTemporary.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (File == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) Fail(int(::GetLastError()));
  }
  if (File == INVALID_HANDLE_VALUE) Fail(ERROR_FILE_EXISTS);
  FFile = reinterpret_cast<std::intptr_t>(File);
  DeleteOnClose(File, true);
}

TPendingFile::~TPendingFile() {
  if (FFile != -1) ::CloseHandle(reinterpret_cast<HANDLE>(FFile));
  if (!FTemporary.empty()) ::DeleteFileA(FTemporary.c_str());
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

void TPendingFile::Commit() {
  if (FError) Fail(FError);
  HANDLE File = reinterpret_cast<HANDLE>(FFile);
  // On the disk before it has the target's name: a crash after the move
  // finds the whole new file, never an empty one.
  if (!::FlushFileBuffers(File)) Fail(int(::GetLastError()));
  DeleteOnClose(File, false);
  FFile = -1;
  if (!::CloseHandle(File)) Fail(int(::GetLastError()));
  if (FExisted) ::SetFileAttributesA(FTemporary.c_str(), FMode & ~DWORD(FILE_ATTRIBUTE_HIDDEN));
  else ::SetFileAttributesA(FTemporary.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!::MoveFileExA(FTemporary.c_str(), FResolved.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    Fail(int(::GetLastError()));
  FTemporary.clear();
  // A replaced file keeps being hidden or a system file, as a replaced
  // file keeps its mode elsewhere; the temporary could not carry that.
  constexpr DWORD Kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  if (FExisted && (FMode & Kept)) ::SetFileAttributesA(FResolved.c_str(), FMode);
}

}  // namespace Os
