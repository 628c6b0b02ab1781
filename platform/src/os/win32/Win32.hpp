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

#include "os/Os.hpp"

namespace Os::Win32 {

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
