// The system's headers for the Windows window. Include it after the
// framework's headers: <windows.h> defines macros (MB_OK, RT_BITMAP, ...)
// that would rewrite their declarations.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
