// The seam to the operating system. Nothing else in the platform includes a
// system header.
#pragma once

#include <cstdint>
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

// A file's bytes mapped into memory for reading, unmapped when it goes.
// Raises Classes::EFOpenError naming the file when it cannot be opened or
// is not a regular file.
class TMappedFile {
public:
  explicit TMappedFile(const std::string& FileName);
  ~TMappedFile();
  TMappedFile(const TMappedFile&) = delete;
  TMappedFile& operator=(const TMappedFile&) = delete;
  const std::uint8_t* Data() const { return FData; }
  std::size_t Size() const { return FSize; }

private:
  const std::uint8_t* FData = nullptr;
  std::size_t FSize = 0;
};

// Creates a new, empty file of our own beside the target, under a name no
// one else can have claimed, and answers its name. Raises
// Classes::EWriteError naming the target.
std::string CreateTemporaryBeside(const std::string& Target);
// Renames a finished temporary file over the target, atomically, giving it
// the mode the target had (or the usual mode for a new file).
void ReplaceFile(const std::string& Temporary, const std::string& Target);

}  // namespace Os
