#include <map>
#include <mutex>

#include "os/Os.hpp"

namespace Os {

namespace {
std::mutex GLock;
std::map<Windows::HANDLE, THandleKind> GLive;
Windows::HANDLE GNext = 0x1000;
}  // namespace

Windows::HANDLE CreateHandle(THandleKind Kind) {
  std::lock_guard Guard(GLock);
  const Windows::HANDLE Handle = GNext;
  GNext += 4;
  GLive.emplace(Handle, Kind);
  return Handle;
}

bool DestroyHandle(Windows::HANDLE Handle) {
  std::lock_guard Guard(GLock);
  return GLive.erase(Handle) == 1;
}

Windows::HBITMAP CreateBitmapHandle(const TBitmapImage&) { return CreateHandle(THandleKind::Bitmap); }

const char* const PathSeparators = "/";

bool OpenWindowSystem(std::string* Why) {
  if (Why) *Why = "no display";
  return false;
}
bool WindowSystemOpen() { return false; }
Windows::HWND CreateFormWindow(TWindowClient&, const std::string&, int, int, TWindowPlace, bool) {
  return CreateHandle(THandleKind::Window);
}
void ShowFormWindow(Windows::HWND, bool) {}
void SetFormWindowCaption(Windows::HWND, const std::string&) {}
void SetFormWindowSize(Windows::HWND, int, int) {}
void PresentFormWindow(Windows::HWND, const TBitmapImage&, int, int, int, int) {}
void RunMessageLoop() {}
void QuitMessageLoop() {}
void ProcessMessages() {}

bool HasSystemMessageBox() { return false; }
int SystemMessageBox(Windows::HWND, const std::string&, const std::string&, Windows::UINT) { return 0; }

int LiveHandleCount(THandleKind Kind) {
  std::lock_guard Guard(GLock);
  int Count = 0;
  for (const auto& [Handle, Of] : GLive) Count += Of == Kind;
  return Count;
}

// No colour scheme here: Graphics falls back on the classic one.
std::int64_t SystemColor(int) { return -1; }

}  // namespace Os

bool Windows::DeleteObject(HANDLE hObject) { return hObject != 0 && Os::DestroyHandle(hObject); }
