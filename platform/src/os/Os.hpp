// The seam to the operating system. Nothing else in the platform includes a
// system header.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "Windows.hpp"

namespace Os {

// Native handles: numbered objects whose lifetime is counted, so tests can
// see that nothing leaks.
enum class THandleKind { Bitmap, Window };
Windows::HANDLE CreateHandle(THandleKind Kind);
bool DestroyHandle(Windows::HANDLE Handle);
int LiveHandleCount(THandleKind Kind);

bool StdinIsTerminal();

// Memory for pixel rows; raises std::bad_alloc.
void* AllocatePixels(std::size_t Size);
void FreePixels(void* Block, std::size_t Size);

// Shared modules. A module is known by its load address, as the framework
// knows modules by their instance handle.
struct TModule {
  Windows::HMODULE Instance = 0;  // load address; 0 when loading failed
  void* Handle = nullptr;         // what unloading needs
  std::string Error;              // why loading failed
};
TModule LoadModule(const std::string& Path);
void UnloadModule(void* Handle);
void* ModuleSymbol(void* Handle, const char* Name);
// The module that holds the given address, and that module's file name.
Windows::HMODULE ModuleOfAddress(const void* Address);
std::string ModuleFileName(Windows::HMODULE Module);
bool FileExists(const std::string& Path);
// The user's language from the environment ("de_DE", "de"), most specific
// first; empty for the C or POSIX locale.
std::vector<std::string> LanguageNames();

// A module file's contents, read as data. Raises SysUtils::EPackageError
// naming the file when it is not a complete module of this machine.
struct TModuleContents {
  std::span<const std::uint8_t> Resources;  // the resource file it carries, in Data
  std::vector<std::string> Exports;         // demangled, variants told apart
};
TModuleContents ReadModule(std::span<const std::uint8_t> Data, const std::string& FileName);
// The resource file a module loaded in this process carries, read from its
// memory; empty when it carries none.
std::span<const std::uint8_t> LoadedModuleResources(const void* AddressInModule);

// A file's bytes mapped into memory for reading, unmapped when it goes.
// Opening never blocks. Raises Classes::EFOpenError naming the file when it
// cannot be opened or is not a regular file, and Classes::EReadError when it
// is larger than MaxSize, before reading anything.
class TMappedFile {
public:
  TMappedFile(const std::string& FileName, std::uint64_t MaxSize);
  ~TMappedFile();
  TMappedFile(const TMappedFile&) = delete;
  TMappedFile& operator=(const TMappedFile&) = delete;
  const std::uint8_t* Data() const { return FData; }
  std::size_t Size() const { return FSize; }

private:
  const std::uint8_t* FData = nullptr;
  std::size_t FSize = 0;
};

// A file being written. Until Commit it has no name (on Linux an unnamed
// file in the target's folder; elsewhere a short temporary name that an
// interrupt or termination signal removes), so nothing half-written ever
// shows and nothing is left behind. A symbolic link as target is written
// through: the file that replaces is the link's target. Raises
// Classes::EWriteError "<target>: cannot write: <reason>" with the system's
// reason, at construction when the target cannot be written at all (no such
// folder, permission denied, not a regular file).
class TPendingFile {
public:
  explicit TPendingFile(const std::string& Target);
  ~TPendingFile();  // discards the file unless committed
  TPendingFile(const TPendingFile&) = delete;
  TPendingFile& operator=(const TPendingFile&) = delete;

  const std::string& Target() const { return FTarget; }
  // False on failure; Commit then raises the system's reason.
  bool Write(const void* Data, std::size_t Size);
  // Gives the complete file the target's name, atomically replacing what
  // was there and keeping its mode.
  void Commit();

private:
  [[noreturn]] void Fail(int Error);
  std::string FTarget;    // as the caller named it
  std::string FResolved;  // the file actually replaced, links followed
  std::string FTemporary; // the temporary name, when the file has one
  int FFile = -1;
  int FError = 0;         // the first write failure
  bool FExisted = false;
  unsigned FMode = 0;
};

// Tests only: whether unnamed files may be used where the system has them.
void SetUnnamedFilesAllowed(bool Allowed);

}  // namespace Os
