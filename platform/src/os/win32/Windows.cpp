// Windows and the message box on Windows: user32's own. A form's window
// shows the form's surface, repaints itself from it, and reports the mouse,
// the keyboard and closing to the form.
#include <algorithm>

#include "Graphics.hpp"
#include "os/Os.hpp"
#include "os/win32/Win32.hpp"

namespace Os {

namespace {

using Win32::Wide;

constexpr wchar_t ClassName[] = L"TessorinWindow";

// Puts the rectangle of the surface at the same place of the window.
void Blit(HDC Device, const TBitmapImage& Surface, RECT Rect) {
  if (Surface.Width <= 0 || Surface.Height <= 0) return;
  Rect.left = std::max<LONG>(Rect.left, 0), Rect.top = std::max<LONG>(Rect.top, 0);
  Rect.right = std::min<LONG>(Rect.right, Surface.Width), Rect.bottom = std::min<LONG>(Rect.bottom, Surface.Height);
  if (Rect.right <= Rect.left || Rect.bottom <= Rect.top) return;
  const Win32::TDibInfo Info = Win32::DibInfo(Surface);
  // With top-down rows, scan lines count from the top.
  ::SetDIBitsToDevice(Device, Rect.left, Rect.top, DWORD(Rect.right - Rect.left), DWORD(Rect.bottom - Rect.top),
                      Rect.left, Rect.top, 0, UINT(Surface.Height), Surface.Bits, Info.Info(), DIB_RGB_COLORS);
}

TWindowClient* ClientOf(HWND Window) {
  return reinterpret_cast<TWindowClient*>(::GetWindowLongPtrW(Window, GWLP_USERDATA));
}

// The framework's shift state of a mouse message's key flags.
unsigned ShiftOf(WPARAM Keys) {
  unsigned Shift = 0;
  if (Keys & MK_SHIFT) Shift |= 1u << 0;
  if (::GetKeyState(VK_MENU) < 0) Shift |= 1u << 1;
  if (Keys & MK_CONTROL) Shift |= 1u << 2;
  if (Keys & MK_LBUTTON) Shift |= 1u << 3;
  if (Keys & MK_RBUTTON) Shift |= 1u << 4;
  if (Keys & MK_MBUTTON) Shift |= 1u << 5;
  return Shift;
}

DWORD StyleOf(bool Sizeable) {
  return WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | (Sizeable ? WS_THICKFRAME | WS_MAXIMIZEBOX : 0);
}

LRESULT CALLBACK WindowProcedure(HWND Window, UINT Message, WPARAM W, LPARAM L) {
  TWindowClient* Client = ClientOf(Window);
  const int X = short(LOWORD(L)), Y = short(HIWORD(L));
  const unsigned Shift = ShiftOf(W);
  using TMouse = TWindowClient::TMouse;
  if (Client) switch (Message) {
      case WM_PAINT: {
        PAINTSTRUCT Paint;
        HDC Device = ::BeginPaint(Window, &Paint);
        Blit(Device, Client->WindowSurface(), Paint.rcPaint);
        ::EndPaint(Window, &Paint);
        return 0;
      }
      case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN:
        ::SetCapture(Window);
        Client->WindowMouse(TMouse::Down, Message == WM_LBUTTONDOWN ? 0 : Message == WM_RBUTTONDOWN ? 1 : 2, Shift, X, Y);
        return 0;
      case WM_LBUTTONUP: case WM_RBUTTONUP: case WM_MBUTTONUP:
        ::ReleaseCapture();
        Client->WindowMouse(TMouse::Up, Message == WM_LBUTTONUP ? 0 : Message == WM_RBUTTONUP ? 1 : 2, Shift, X, Y);
        return 0;
      case WM_MOUSEMOVE:
        Client->WindowMouse(TMouse::Move, 0, Shift, X, Y);
        return 0;
      case WM_SIZE:
        if (W != SIZE_MINIMIZED) Client->WindowResized(LOWORD(L), HIWORD(L));
        return 0;
      case WM_CHAR:
        // The characters a form's keys carry, as on every system: ASCII
        // and Latin-1, one byte each.
        if (W < 0x80 || (W >= 0xA0 && W <= 0xFF)) Client->WindowKey(char(W));
        return 0;
      case WM_CLOSE:
        // The form owns its window: closing hides it and ends the loop.
        Client->WindowClose();
        return 0;
    }
  return ::DefWindowProcW(Window, Message, W, L);
}

// A Unicode class, so that captions keep every character.
const wchar_t* WindowClass() {
  static const ATOM Registered = [] {
    WNDCLASSEXW Class{};
    Class.cbSize = sizeof Class;
    Class.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    Class.lpfnWndProc = WindowProcedure;
    Class.hInstance = ::GetModuleHandleW(nullptr);
    Class.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    // What lies beyond the form's surface, where the system makes a window
    // wider than the form (a caption needs room).
    Class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    Class.lpszClassName = ClassName;
    return ::RegisterClassExW(&Class);
  }();
  return Registered ? ClassName : nullptr;
}

}  // namespace

// Forms use windows once a program asks, as on every system, so that
// scripts stay windowless. The display is there when a window can be made
// (a desktop session has one; a service or Wine without X has none).
namespace {
bool GOpen = false;
}
bool OpenDisplay(std::string* Why) {
  static const bool Usable = [] {
    const Windows::HWND Probe = Win32::CreatePlainWindow();
    if (Probe) ::DestroyWindow(reinterpret_cast<HWND>(Probe));
    return Probe != 0;
  }();
  if (!Usable && Why) *Why = "no display";
  return Usable;
}
bool OpenWindowSystem(std::string* Why) { return GOpen = OpenDisplay(Why); }
bool WindowSystemOpen() { return GOpen; }

Windows::HWND CreateFormWindow(TWindowClient& Client, const std::string& Caption, int Width, int Height,
                               TWindowPlace Place, bool Sizeable) {
  // Until then a form's handle stands for no window.
  if (!GOpen) return CreateHandle(THandleKind::Window);
  RECT Frame{0, 0, Width, Height};
  const DWORD Style = StyleOf(Sizeable);
  ::AdjustWindowRect(&Frame, Style, FALSE);
  const int OuterWidth = Frame.right - Frame.left, OuterHeight = Frame.bottom - Frame.top;
  int X = CW_USEDEFAULT, Y = CW_USEDEFAULT;
  if (Place.How == TWindowPlace::Designed) X = Place.Left, Y = Place.Top;
  if (Place.How == TWindowPlace::Centred) {
    X = (::GetSystemMetrics(SM_CXSCREEN) - OuterWidth) / 2;
    Y = (::GetSystemMetrics(SM_CYSCREEN) - OuterHeight) / 2;
  }
  const wchar_t* Class = WindowClass();
  HWND Window = Class ? ::CreateWindowExW(0, Class, Wide(Caption).c_str(), Style, X, Y, OuterWidth, OuterHeight, nullptr,
                                          nullptr, ::GetModuleHandleW(nullptr), nullptr)
                      : nullptr;
  if (!Window)
    throw Graphics::EOutOfResources(Caption + ": cannot create a window: " + Win32::ErrorText(::GetLastError()));
  // The client hears from the window once it is whole: creating it sends
  // sizes the form has already.
  ::SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&Client));
  return Win32::Counted(reinterpret_cast<Windows::HWND>(Window));
}

void ShowFormWindow(Windows::HWND Window, bool Visible) {
  ::ShowWindow(reinterpret_cast<HWND>(Window), Visible ? SW_SHOW : SW_HIDE);
  if (Visible) ::UpdateWindow(reinterpret_cast<HWND>(Window));
}

void SetFormWindowCaption(Windows::HWND Window, const std::string& Caption) {
  ::SetWindowTextW(reinterpret_cast<HWND>(Window), Wide(Caption).c_str());
}

void SetFormWindowSize(Windows::HWND Window, int Width, int Height) {
  HWND Native = reinterpret_cast<HWND>(Window);
  RECT Client{};
  if (::GetClientRect(Native, &Client) && Client.right == Width && Client.bottom == Height) return;
  RECT Frame{0, 0, Width, Height};
  ::AdjustWindowRect(&Frame, DWORD(::GetWindowLongA(Native, GWL_STYLE)), FALSE);
  ::SetWindowPos(Native, nullptr, 0, 0, Frame.right - Frame.left, Frame.bottom - Frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void PresentFormWindow(Windows::HWND Window, const TBitmapImage& Surface, int Left, int Top, int Right, int Bottom) {
  HWND Native = reinterpret_cast<HWND>(Window);
  if (!::IsWindowVisible(Native)) return;
  HDC Device = ::GetDC(Native);
  Blit(Device, Surface, RECT{Left, Top, Right, Bottom});
  ::ReleaseDC(Native, Device);
}

void RunMessageLoop() {
  MSG Message;
  while (::GetMessageW(&Message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&Message);
    ::DispatchMessageW(&Message);
  }
}

void QuitMessageLoop() { ::PostQuitMessage(0); }

void ProcessMessages() {
  MSG Message;
  while (::PeekMessageW(&Message, nullptr, 0, 0, PM_REMOVE)) {
    if (Message.message == WM_QUIT) {
      // Left for the loop that waits for it.
      ::PostQuitMessage(int(Message.wParam));
      return;
    }
    ::TranslateMessage(&Message);
    ::DispatchMessageW(&Message);
  }
}

bool HasSystemMessageBox() { return true; }

int SystemMessageBox(Windows::HWND Window, const std::string& Text, const std::string& Caption, Windows::UINT Type) {
  HWND Owner = reinterpret_cast<HWND>(Window);
  if (Owner && !::IsWindow(Owner)) Owner = nullptr;
  return ::MessageBoxW(Owner, Wide(Text).c_str(), Wide(Caption).c_str(), Type);
}

namespace Win32 {

Windows::HWND CreatePlainWindow() {
  const wchar_t* Class = WindowClass();
  if (!Class) return 0;
  HWND Window = ::CreateWindowExW(0, Class, L"", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  return reinterpret_cast<Windows::HWND>(Window);
}

}  // namespace Win32

}  // namespace Os
