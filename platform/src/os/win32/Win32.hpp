// The system's headers for the Windows side of the seam, and what its files
// share. Include it after the platform's own headers: <windows.h> defines
// macros (MB_OK, RT_BITMAP, ...) that would rewrite their declarations.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>
#include <string_view>

#include "os/Os.hpp"

namespace Os::Win32 {

// UTF-8, as every string of the framework is, for the system's Unicode
// calls, and back.
std::wstring Wide(const std::string& Utf8);
std::string Utf8(std::wstring_view Text);
// A file name for the system's file calls: the name as given, or, where its
// full path is longer than the system's classic limit, that path with the
// \\?\ prefix that lifts the limit. Names of devices are left as given.
std::wstring FilePath(const std::string& Utf8);
// The full path of a file, for the calls that want one (the loader's); empty
// where the system cannot make one.
std::wstring FullPath(const std::string& Utf8);
// The system's text for an error code, without the trailing line break.
std::string ErrorText(DWORD Error);
// A hidden top-level window of the platform's window class.
Windows::HWND CreatePlainWindow();
// The header and colours that describe an image to GDI.
struct TDibInfo {
  BITMAPINFOHEADER Header;
  RGBQUAD Colours[256];
  const BITMAPINFO* Info() const { return reinterpret_cast<const BITMAPINFO*>(this); }
};
TDibInfo DibInfo(const TBitmapImage& Image);
// Counts a native window as a live Window handle.
Windows::HWND Counted(Windows::HWND Window);

}  // namespace Os::Win32
