// Native handles on Windows: GDI bitmaps and windows, counted so that tests
// can see that nothing leaks.
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "Graphics.hpp"
#include "os/Os.hpp"
#include "os/win32/Win32.hpp"

namespace Os {

namespace {
std::mutex GLock;
std::map<Windows::HANDLE, THandleKind> GLive;

Windows::HANDLE Counted(Windows::HANDLE Handle, THandleKind Kind) {
  if (!Handle)
    throw Graphics::EOutOfResources(std::string(Kind == THandleKind::Window ? "cannot create a window: "
                                                                            : "cannot create a bitmap: ") +
                                    Win32::ErrorText(::GetLastError()));
  std::lock_guard Guard(GLock);
  GLive.emplace(Handle, Kind);
  return Handle;
}
}  // namespace

Windows::HWND Win32::Counted(Windows::HWND Window) { return Os::Counted(Window, THandleKind::Window); }

namespace {
// A window handle made before the window system is open stands for no
// window: a token of its own, which no system call is given.
std::set<Windows::HANDLE> GTokens;
}  // namespace

Windows::HANDLE CreateHandle(THandleKind Kind) {
  if (Kind == THandleKind::Window && !WindowSystemOpen()) {
    const auto Token = reinterpret_cast<Windows::HANDLE>(new char);
    {
      std::lock_guard Guard(GLock);
      GTokens.insert(Token);
    }
    return Counted(Token, Kind);
  }
  if (Kind == THandleKind::Window) return Counted(Win32::CreatePlainWindow(), Kind);
  return Counted(reinterpret_cast<Windows::HANDLE>(::CreateBitmap(1, 1, 1, 1, nullptr)), Kind);
}

Win32::TDibInfo Win32::DibInfo(const TBitmapImage& Image) {
  TDibInfo Info{};
  Info.Header.biSize = sizeof(BITMAPINFOHEADER);
  Info.Header.biWidth = Image.Width;
  Info.Header.biHeight = -Image.Height;  // top-down, as the rows are kept
  Info.Header.biPlanes = 1;
  Info.Header.biBitCount = WORD(Image.BitCount);
  Info.Header.biCompression = BI_RGB;
  if (Image.Rgb565) {
    Info.Header.biCompression = BI_BITFIELDS;
    const DWORD Masks[3] = {0xF800, 0x07E0, 0x001F};
    std::memcpy(Info.Colours, Masks, sizeof Masks);
  } else if (!Image.Palette.empty()) {
    const std::size_t Count = std::min<std::size_t>(Image.Palette.size(), 256);
    std::memcpy(Info.Colours, Image.Palette.data(), Count * sizeof(RGBQUAD));
    Info.Header.biClrUsed = DWORD(Count);
  }
  return Info;
}

Windows::HBITMAP CreateBitmapHandle(const TBitmapImage& Image) {
  if (Image.Width <= 0 || Image.Height <= 0) return CreateHandle(THandleKind::Bitmap);
  const Win32::TDibInfo Info = Win32::DibInfo(Image);
  void* Bits = nullptr;
  HBITMAP Bitmap = ::CreateDIBSection(nullptr, Info.Info(), DIB_RGB_COLORS, &Bits, nullptr, 0);
  if (!Bitmap || !Bits) return Counted(0, THandleKind::Bitmap);
  // A DIB's rows are padded to four bytes, as ours are: one copy does.
  std::memcpy(Bits, Image.Bits, Image.Stride * std::size_t(Image.Height));
  return Counted(reinterpret_cast<Windows::HANDLE>(Bitmap), THandleKind::Bitmap);
}

bool DestroyHandle(Windows::HANDLE Handle) {
  THandleKind Kind;
  {
    std::lock_guard Guard(GLock);
    auto Found = GLive.find(Handle);
    if (Found == GLive.end()) return false;
    Kind = Found->second;
    GLive.erase(Found);
    if (GTokens.erase(Handle)) {
      delete reinterpret_cast<char*>(Handle);
      return true;
    }
  }
  if (Kind == THandleKind::Window) return ::DestroyWindow(reinterpret_cast<HWND>(Handle)) != 0;
  return ::DeleteObject(reinterpret_cast<HGDIOBJ>(Handle)) != 0;
}

int LiveHandleCount(THandleKind Kind) {
  std::lock_guard Guard(GLock);
  int Count = 0;
  for (const auto& [Handle, Of] : GLive) Count += Of == Kind;
  return Count;
}

const char* const PathSeparators = "\\/";

std::int64_t SystemColor(int Index) { return std::int64_t(::GetSysColor(Index)); }

}  // namespace Os

bool Windows::DeleteObject(HANDLE hObject) {
  if (!hObject) return false;
  return Os::DestroyHandle(hObject) || ::DeleteObject(reinterpret_cast<HGDIOBJ>(hObject)) != 0;
}
