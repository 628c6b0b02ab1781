#include <map>
#include <mutex>

#include "os/Os.hpp"
#include "os/posix/Posix.hpp"

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
  THandleKind Kind;
  {
    std::lock_guard Guard(GLock);
    auto Found = GLive.find(Handle);
    if (Found == GLive.end()) return false;
    Kind = Found->second;
    GLive.erase(Found);
  }
  // A form's window goes with its handle, as the system's windows do.
  if (Kind == THandleKind::Window) Posix::DestroyFormWindow(Handle);
  return true;
}

Windows::HBITMAP CreateBitmapHandle(const TBitmapImage&) { return CreateHandle(THandleKind::Bitmap); }

const char* const PathSeparators = "/";

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
