// The seam to the operating system. Nothing else in the platform includes a
// system header.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "SysUtils.hpp"
#include "Windows.hpp"

namespace Os {

// Native handles, whose lifetime is counted so tests can see that nothing
// leaks. On Windows they are the system's own objects; elsewhere numbers.
enum class THandleKind { Bitmap, Window };
Windows::HANDLE CreateHandle(THandleKind Kind);
bool DestroyHandle(Windows::HANDLE Handle);
int LiveHandleCount(THandleKind Kind);

// A device-independent image for a native bitmap: top-down rows of
// BitCount bits per pixel, Stride bytes apart (a multiple of 4), and the
// palette of an indexed format as blue, green, red, reserved quads.
struct TBitmapImage {
  int Width = 0, Height = 0, BitCount = 0;
  bool Rgb565 = false;  // 16 bits as 5-6-5 rather than 5-5-5
  std::size_t Stride = 0;
  const void* Bits = nullptr;
  std::span<const std::uint32_t> Palette;
};
// A native bitmap holding a copy of the image, counted as a Bitmap handle.
Windows::HBITMAP CreateBitmapHandle(const TBitmapImage& Image);

// The system's own colour of a system colour index (the RGB of GetSysColor),
// where the system has a colour scheme (Windows); elsewhere -1.
std::int64_t SystemColor(int Index);

// The window system, opened on the first request (on Windows always
// there; elsewhere where a display can be opened, through SDL2), and then
// open for good. Until it is open, forms paint into memory only, as scripts
// and tests want. Answers whether it is open; Why, when it is not, says why
// ("no display").
bool OpenWindowSystem(std::string* Why = nullptr);
bool WindowSystemOpen();
// The display alone, opened with the same checks and answers, for a program
// that draws forms inside a window of its own (the design host): its forms
// stay in memory until OpenWindowSystem is asked for.
bool OpenDisplay(std::string* Why = nullptr);

// A form's native top-level window: it shows the form's surface and
// reports the user's input to its client.
class TWindowClient {
public:
  enum class TMouse { Down, Move, Up };
  virtual ~TWindowClient() = default;
  virtual TBitmapImage WindowSurface() = 0;  // 32-bit rows of the client area
  // Shift: the framework's shift state (ssShift 1, ssAlt 2, ssCtrl 4, ssLeft 8 ...).
  virtual void WindowMouse(TMouse What, int Button, unsigned Shift, int X, int Y) = 0;  // 0 left, 1 right, 2 middle
  virtual void WindowKey(char Key) = 0;
  // The user resized the window: its new client size.
  virtual void WindowResized(int Width, int Height) = 0;
  virtual void WindowClose() = 0;
};
// Where the window goes: at Left and Top, centred on the screen, or where
// the system puts new windows.
struct TWindowPlace {
  enum { Designed, Centred, Default } How = Default;
  int Left = 0, Top = 0;
};
// A hidden window for the client, counted as a Window handle, once the
// window system is open; before that a plain counted handle. Sizeable: the
// user may resize it.
Windows::HWND CreateFormWindow(TWindowClient& Client, const std::string& Caption, int Width, int Height,
                               TWindowPlace Place, bool Sizeable);
void ShowFormWindow(Windows::HWND Window, bool Visible);
void SetFormWindowCaption(Windows::HWND Window, const std::string& Caption);
// The client area's new size, set by the program.
void SetFormWindowSize(Windows::HWND Window, int Width, int Height);
// Puts part of the surface on the screen at once.
void PresentFormWindow(Windows::HWND Window, const TBitmapImage& Surface, int Left, int Top, int Right, int Bottom);
// Handles the system's messages until QuitMessageLoop.
void RunMessageLoop();
void QuitMessageLoop();
// Handles the messages waiting, without waiting for more.
void ProcessMessages();

// Folder separators in paths: '/' and, on Windows, '\\' as well.
extern const char* const PathSeparators;

bool StdinIsTerminal();
// The system's own modal message box: the button chosen, or 0 when it could
// not be shown. Windows always has one; elsewhere the window system's box
// shows once a form's window is on the screen, and before that it answers 0.
bool HasSystemMessageBox();
int SystemMessageBox(Windows::HWND Window, const std::string& Text, const std::string& Caption, Windows::UINT Type);

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
// The module that holds the given address, and that module's file name
// (for 0, the program's).
Windows::HMODULE ModuleOfAddress(const void* Address);
std::string ModuleFileName(Windows::HMODULE Module);
bool FileExists(const std::string& Path);
// The user's language from the environment ("de_DE", "de"), most specific
// first; empty for the C or POSIX locale.
std::vector<std::string> LanguageNames();

// A module file's contents, read as data: nothing in it runs. Data is the
// file's bytes, FileName its name. Raises SysUtils::EPackageError naming the
// file when it is not a complete module of this machine.
struct TModuleContents {
  std::vector<Windows::TResourceEntry> Resources;  // their data in Data, or in Keep
  std::vector<std::string> Exports;                // demangled, variants told apart
  // On Windows the file loaded as a data file, which serves the resources
  // through the system's resource calls and is freed with the contents.
  Windows::HMODULE DataModule = 0;
  std::shared_ptr<void> Keep;
};
TModuleContents ReadModule(std::span<const std::uint8_t> Data, const std::string& FileName);
// An ELF module's contents, read by the reader every system shares; on
// Windows only ever inspected.
TModuleContents ReadElfModule(std::span<const std::uint8_t> Data, const std::string& FileName);
// The resources of a module loaded in this process, read from its memory;
// empty when it carries none. Raises SysUtils::EPackageError naming Where
// when they are malformed.
std::vector<Windows::TResourceEntry> LoadedModuleResources(Windows::HMODULE Instance, const void* AddressInModule,
                                                           const std::string& Where);
// A fresh hidden name in Folder, short whatever a target's name, so that a
// target name of the longest legal length still works.
std::string TemporaryName(const std::string& Folder);

// A file's bytes mapped into memory for reading, unmapped when it goes.
// Only the pages touched are read, so a reader that checks a file's head
// first reads no more of a bad file than that head. Opening never blocks.
// Raises Classes::EFOpenError naming the file when it cannot be opened or
// is not a regular file, and Classes::EReadError when it is larger than
// MaxSize, before reading anything.
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
  friend void CommitAll(std::span<TPendingFile* const> Files);
  void Complete();  // on the disk, closed, ready to be named
  [[noreturn]] void Fail(int Error);
  std::string FTarget;    // as the caller named it
  std::string FResolved;  // the file actually replaced, links followed
  std::string FTemporary; // the temporary name, when the file has one
  std::intptr_t FFile = -1;  // a descriptor, or on Windows a handle
  int FError = 0;         // the first write failure
  bool FExisted = false;
  unsigned FMode = 0;
};

// Commits the files (null ones skipped) as one. Each target was checked
// when its file was made; on Windows a move that fails part-way also puts
// back what the moves before it replaced, so the files are named all or
// none; elsewhere each is committed in turn. Raises what the failing
// file's Commit raises.
void CommitAll(std::span<TPendingFile* const> Files);

// Tests only: whether unnamed files may be used where the system has them.
void SetUnnamedFilesAllowed(bool Allowed);

}  // namespace Os
