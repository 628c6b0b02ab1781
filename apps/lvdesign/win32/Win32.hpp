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

namespace Lvdesign {

// Registers a window class of this program's once; its windows pass
// themselves as the creation parameter.
inline void RegisterWindowClass(const wchar_t* Name, WNDPROC Procedure, UINT Style, HBRUSH Background) {
  WNDCLASSEXW Class{};
  if (::GetClassInfoExW(::GetModuleHandleW(nullptr), Name, &Class)) return;
  Class = {sizeof Class, Style, Procedure};
  Class.hInstance = ::GetModuleHandleW(nullptr);
  Class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  Class.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
  Class.hbrBackground = Background;
  Class.lpszClassName = Name;
  ::RegisterClassExW(&Class);
}

// The procedure of a window made for an object, which it passed as the
// creation parameter: the object learns its window (Attach) and then
// handles every message (Handle).
template <class T>
LRESULT CALLBACK ObjectProcedure(HWND Window, UINT Message, WPARAM W, LPARAM L) {
  if (Message == WM_NCCREATE) {
    auto* Self = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(L)->lpCreateParams);
    Self->Attach(Window);
    ::SetWindowLongPtrW(Window, GWLP_USERDATA, LONG_PTR(Self));
  }
  auto* Self = reinterpret_cast<T*>(::GetWindowLongPtrW(Window, GWLP_USERDATA));
  return Self ? Self->Handle(Message, W, L) : ::DefWindowProcW(Window, Message, W, L);
}

}  // namespace Lvdesign
