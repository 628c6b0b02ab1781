// The slice of the Win32 API that the framework and the component call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace Windows {

using HANDLE = std::uintptr_t;
using HWND = HANDLE;
using HBITMAP = HANDLE;
using HPALETTE = HANDLE;
using HMODULE = HANDLE;
using UINT = unsigned;

constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr UINT MB_ABORTRETRYIGNORE = 0x2;
constexpr UINT MB_YESNOCANCEL = 0x3;
constexpr UINT MB_YESNO = 0x4;
constexpr UINT MB_RETRYCANCEL = 0x5;
constexpr UINT MB_TYPEMASK = 0xF;
constexpr UINT MB_ICONHAND = 0x10;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONASTERISK = 0x40;
constexpr UINT MB_ICONMASK = 0xF0;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Shows a modal message box and answers the button chosen, or 0 when the box
// could not be shown. What shows it is the responder the program installed.
int MessageBoxA(HWND hWnd, const char* lpText, const char* lpCaption, UINT uType);

// Deletes a native graphics object, such as a bitmap handle that a TBitmap
// gave up through ReleaseHandle. Answers false for a handle that is not live.
bool DeleteObject(HANDLE hObject);

// The file a loaded module was loaded from; for 0, the program's own file.
// Empty when it cannot be told.
std::string GetModuleFileName(HMODULE hModule);

// Resource types.
constexpr std::uint16_t RT_BITMAP = 2;
constexpr std::uint16_t RT_ICON = 3;
constexpr std::uint16_t RT_RCDATA = 10;
constexpr std::uint16_t RT_GROUP_ICON = 14;
constexpr std::uint16_t RT_VERSION = 16;
constexpr std::uint16_t LANG_NEUTRAL = 0;

// One resource a module carries. Numbered resources are named "#<number>";
// named ones are kept in capitals, as resource compilers store them. The
// data stays where the module (or its file) holds it.
struct TResourceEntry {
  std::string Name;
  std::uint16_t Type = 0;
  std::uint16_t Language = 0;
  std::span<const std::uint8_t> Data;
};

// The data of a resource of the given module, name (case-insensitive) and
// type, in any language; empty when the module has none.
std::span<const std::uint8_t> FindResourceData(HMODULE hModule, const char* lpName, std::uint16_t Type);
// Every resource of the module.
std::span<const TResourceEntry> EnumResources(HMODULE hModule);

}  // namespace Windows
