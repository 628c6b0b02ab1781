// Windows and the message box on Windows: user32's own.
#include "os/Os.hpp"
#include "os/win32/Win32.hpp"

namespace Os {

namespace {

constexpr char ClassName[] = "TessorinWindow";

LRESULT CALLBACK WindowProcedure(HWND Window, UINT Message, WPARAM W, LPARAM L) {
  return ::DefWindowProcA(Window, Message, W, L);
}

const char* WindowClass() {
  static const ATOM Registered = [] {
    WNDCLASSEXA Class{};
    Class.cbSize = sizeof Class;
    Class.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    Class.lpfnWndProc = WindowProcedure;
    Class.hInstance = ::GetModuleHandleA(nullptr);
    Class.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    Class.lpszClassName = ClassName;
    return ::RegisterClassExA(&Class);
  }();
  return Registered ? ClassName : nullptr;
}

}  // namespace

const bool HasSystemMessageBox = true;

int SystemMessageBox(Windows::HWND Window, const std::string& Text, const std::string& Caption, Windows::UINT Type) {
  HWND Owner = reinterpret_cast<HWND>(Window);
  if (Owner && !::IsWindow(Owner)) Owner = nullptr;
  return ::MessageBoxA(Owner, Text.c_str(), Caption.c_str(), Type);
}

namespace Win32 {

Windows::HWND CreatePlainWindow() {
  const char* Class = WindowClass();
  if (!Class) return 0;
  HWND Window = ::CreateWindowExA(0, Class, "", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
  return reinterpret_cast<Windows::HWND>(Window);
}

}  // namespace Win32

}  // namespace Os
