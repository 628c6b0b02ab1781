// Windows and the message box on Linux: SDL2's. A form's window shows the
// form's surface through a software renderer, repaints itself from it when
// exposed, and reports the mouse, the keyboard, resizing and closing to the
// form.
#include <SDL.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "Dialogs.hpp"
#include "Graphics.hpp"
#include "SysUtils.hpp"
#include "os/Os.hpp"
#include "os/posix/Posix.hpp"

namespace Os {

namespace {

struct TWindow {
  TWindowClient* Client = nullptr;
  SDL_Window* Window = nullptr;
  SDL_Renderer* Renderer = nullptr;
  SDL_Texture* Texture = nullptr;  // the surface's size, remade when that changes
  int TextureWidth = 0, TextureHeight = 0;
  bool Shown = false;
};

// The windows by their handles. SDL's video calls belong to one thread, so
// the windows do too.
std::map<Windows::HWND, TWindow> GWindows;

bool GTried = false, GDisplay = false;
bool GOpen = false;  // forms have windows
std::string GWhy;
bool GQuitPosted = false;
unsigned GButtons = 0;  // the framework's ssLeft, ssRight, ssMiddle of the buttons held down

// The drivers SDL falls back on when there is no display: a window there is
// never seen.
bool Invisible(const char* Driver) {
  for (const char* Name : {"offscreen", "dummy", "evdev"})
    if (Driver && std::strcmp(Driver, Name) == 0) return true;
  return false;
}

bool Open(std::string& Why) {
  // SDL turns SIGINT and SIGTERM into quit events, which nothing reads
  // while a dialog is open; without its handlers they end the program.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // Closing a form's window closes that form; whether the program goes on
  // is the program's to decide.
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  const bool Chosen = std::getenv("SDL_VIDEODRIVER") != nullptr;
  if (!Chosen && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
    Why = "no display";
    return false;
  }
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    Why = *SDL_GetError() ? SDL_GetError() : "the video system did not start";
    return false;
  }
  if (!Chosen && Invisible(SDL_GetCurrentVideoDriver())) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    Why = "no display";
    return false;
  }
  return true;
}

TWindow* Find(Windows::HWND Handle) {
  auto Found = GWindows.find(Handle);
  return Found == GWindows.end() ? nullptr : &Found->second;
}

// The handle of the window an event is for; 0 when it is none of ours.
Windows::HWND HandleOf(Uint32 WindowId) {
  SDL_Window* Window = SDL_GetWindowFromID(WindowId);
  for (const auto& [Handle, W] : GWindows)
    if (W.Window == Window) return Handle;
  return 0;
}

// Puts the rectangle of the surface at the same place of the window.
void Present(TWindow& W, const TBitmapImage& Surface, int Left, int Top, int Right, int Bottom) {
  if (!W.Shown || Surface.Width <= 0 || Surface.Height <= 0 || Surface.BitCount != 32) return;
  if (!W.Texture || W.TextureWidth != Surface.Width || W.TextureHeight != Surface.Height) {
    if (W.Texture) SDL_DestroyTexture(W.Texture);
    // ARGB8888 is, in memory, blue, green, red and a fourth byte: the
    // surface's own order, whose fourth byte is no alpha.
    W.Texture = SDL_CreateTexture(W.Renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, Surface.Width,
                                  Surface.Height);
    W.TextureWidth = W.Texture ? Surface.Width : 0, W.TextureHeight = W.Texture ? Surface.Height : 0;
    if (!W.Texture) return;
    SDL_SetTextureBlendMode(W.Texture, SDL_BLENDMODE_NONE);
    // A new texture holds nothing yet: all of it is filled.
    Left = Top = 0, Right = Surface.Width, Bottom = Surface.Height;
  }
  Left = std::max(Left, 0), Top = std::max(Top, 0);
  Right = std::min(Right, Surface.Width), Bottom = std::min(Bottom, Surface.Height);
  if (Right > Left && Bottom > Top) {
    const SDL_Rect Part{Left, Top, Right - Left, Bottom - Top};
    const auto* Bits =
        static_cast<const std::uint8_t*>(Surface.Bits) + std::size_t(Top) * Surface.Stride + 4 * std::size_t(Left);
    SDL_UpdateTexture(W.Texture, &Part, Bits, int(Surface.Stride));
  }
  // What lies beyond the surface, while the form catches up with a new
  // size, is the colour of a dialog's face.
  SDL_SetRenderDrawColor(W.Renderer, 0xF0, 0xF0, 0xF0, 0xFF);
  SDL_RenderClear(W.Renderer);
  const SDL_Rect Whole{0, 0, W.TextureWidth, W.TextureHeight};
  SDL_RenderCopy(W.Renderer, W.Texture, nullptr, &Whole);
  SDL_RenderPresent(W.Renderer);
}

void PresentWhole(Windows::HWND Handle) {
  TWindow* W = Find(Handle);
  if (!W || !W->Shown) return;
  // Asking for the surface may paint, which presents on its own.
  const TBitmapImage Surface = W->Client->WindowSurface();
  if ((W = Find(Handle))) Present(*W, Surface, 0, 0, Surface.Width, Surface.Height);
}

// The framework's shift state: ssShift, ssAlt, ssCtrl, then the buttons.
unsigned ShiftOf(unsigned Buttons) {
  const SDL_Keymod Keys = SDL_GetModState();
  unsigned Shift = Buttons;
  if (Keys & KMOD_SHIFT) Shift |= 1u << 0;
  if (Keys & KMOD_ALT) Shift |= 1u << 1;
  if (Keys & KMOD_CTRL) Shift |= 1u << 2;
  return Shift;
}

// The framework's button (0 left, 1 right, 2 middle) and its bit in the
// shift state; -1 for the others.
int ButtonOf(Uint8 Button) {
  return Button == SDL_BUTTON_LEFT ? 0 : Button == SDL_BUTTON_RIGHT ? 1 : Button == SDL_BUTTON_MIDDLE ? 2 : -1;
}
unsigned ButtonBit(int Button) { return 1u << (3 + Button); }

unsigned MotionButtons(Uint32 State) {
  return (State & SDL_BUTTON_LMASK ? ButtonBit(0) : 0) | (State & SDL_BUTTON_RMASK ? ButtonBit(1) : 0) |
         (State & SDL_BUTTON_MMASK ? ButtonBit(2) : 0);
}

// The characters of typed text that a form's keys can carry: ASCII and
// Latin-1, one byte each.
std::vector<char> Characters(std::string_view Utf8) {
  std::vector<char> Out;
  for (std::size_t Pos = 0; Pos < Utf8.size();) {
    // Beyond Latin-1, its C1 controls, and bytes that are not UTF-8 are skipped.
    const char32_t Code = SysUtils::NextCodePoint(Utf8, Pos);
    if (Code < 0x80 || (Code >= 0xA0 && Code <= 0xFF)) Out.push_back(char(Code));
  }
  return Out;
}

// Hands one event to the client of its window. The client may destroy its
// window or others, so nothing found before a call is used after it.
void Dispatch(const SDL_Event& Event) {
  using TMouse = TWindowClient::TMouse;
  switch (Event.type) {
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      const int Button = ButtonOf(Event.button.button);
      if (Button < 0) return;
      const bool Down = Event.type == SDL_MOUSEBUTTONDOWN;
      GButtons = Down ? GButtons | ButtonBit(Button) : GButtons & ~ButtonBit(Button);
      if (TWindow* W = Find(HandleOf(Event.button.windowID)))
        W->Client->WindowMouse(Down ? TMouse::Down : TMouse::Up, Button, ShiftOf(GButtons), Event.button.x,
                               Event.button.y);
      return;
    }
    case SDL_MOUSEMOTION:
      if (TWindow* W = Find(HandleOf(Event.motion.windowID)))
        W->Client->WindowMouse(TMouse::Move, 0, ShiftOf(MotionButtons(Event.motion.state)), Event.motion.x,
                               Event.motion.y);
      return;
    case SDL_TEXTINPUT: {
      const Windows::HWND Handle = HandleOf(Event.text.windowID);
      for (char Key : Characters(Event.text.text))
        if (TWindow* W = Find(Handle)) W->Client->WindowKey(Key);
      return;
    }
    case SDL_KEYDOWN: {
      // The keys that type no text but a character all the same.
      const SDL_Keycode Code = Event.key.keysym.sym;
      const char Key = Code == SDLK_ESCAPE                          ? '\x1b'
                       : Code == SDLK_RETURN || Code == SDLK_KP_ENTER ? '\r'
                       : Code == SDLK_BACKSPACE                     ? '\b'
                                                                    : '\0';
      if (Key)
        if (TWindow* W = Find(HandleOf(Event.key.windowID))) W->Client->WindowKey(Key);
      return;
    }
    case SDL_WINDOWEVENT: {
      const Windows::HWND Handle = HandleOf(Event.window.windowID);
      TWindow* W = Find(Handle);
      if (!W) return;
      switch (Event.window.event) {
        case SDL_WINDOWEVENT_EXPOSED: PresentWhole(Handle); return;
        case SDL_WINDOWEVENT_SIZE_CHANGED: W->Client->WindowResized(Event.window.data1, Event.window.data2); return;
        case SDL_WINDOWEVENT_CLOSE: W->Client->WindowClose(); return;
        default: return;
      }
    }
    case SDL_QUIT: {
      // The session ends: every window on the screen is closed.
      std::vector<Windows::HWND> Shown;
      for (const auto& [Handle, W] : GWindows)
        if (W.Shown) Shown.push_back(Handle);
      for (Windows::HWND Handle : Shown)
        if (TWindow* W = Find(Handle)) W->Client->WindowClose();
      return;
    }
    default: return;
  }
}

}  // namespace

namespace Posix {

void DestroyFormWindow(Windows::HWND Window) {
  auto Found = GWindows.find(Window);
  if (Found == GWindows.end()) return;
  const TWindow W = Found->second;
  GWindows.erase(Found);
  if (W.Texture) SDL_DestroyTexture(W.Texture);
  if (W.Renderer) SDL_DestroyRenderer(W.Renderer);
  SDL_DestroyWindow(W.Window);
}

}  // namespace Posix

// Opened once; a failure is remembered too, so the answer never changes.
bool OpenDisplay(std::string* Why) {
  if (!GTried) {
    GTried = true;
    GDisplay = Open(GWhy);
  }
  if (!GDisplay && Why) *Why = GWhy;
  return GDisplay;
}

bool OpenWindowSystem(std::string* Why) { return GOpen = OpenDisplay(Why); }

bool WindowSystemOpen() { return GOpen; }

Windows::HWND CreateFormWindow(TWindowClient& Client, const std::string& Caption, int Width, int Height,
                               TWindowPlace Place, bool Sizeable) {
  if (!GOpen) return CreateHandle(THandleKind::Window);
  int X = SDL_WINDOWPOS_UNDEFINED, Y = SDL_WINDOWPOS_UNDEFINED;
  if (Place.How == TWindowPlace::Designed) X = Place.Left, Y = Place.Top;
  if (Place.How == TWindowPlace::Centred) X = Y = SDL_WINDOWPOS_CENTERED;
  const Uint32 Flags = SDL_WINDOW_HIDDEN | (Sizeable ? SDL_WINDOW_RESIZABLE : 0);
  // The window system has no empty windows: an empty form gets a pixel.
  TWindow W;
  W.Client = &Client;
  W.Window = SDL_CreateWindow(Caption.c_str(), X, Y, std::max(Width, 1), std::max(Height, 1), Flags);
  if (W.Window) W.Renderer = SDL_CreateRenderer(W.Window, -1, SDL_RENDERER_SOFTWARE);
  if (!W.Renderer) {
    const std::string Error = SDL_GetError();
    if (W.Window) SDL_DestroyWindow(W.Window);
    throw Graphics::EOutOfResources(Caption + ": cannot create a window: " + Error);
  }
  const Windows::HWND Handle = CreateHandle(THandleKind::Window);
  GWindows.emplace(Handle, W);
  return Handle;
}

void ShowFormWindow(Windows::HWND Window, bool Visible) {
  TWindow* W = Find(Window);
  if (!W || W->Shown == Visible) return;
  W->Shown = Visible;
  if (!Visible) {
    SDL_HideWindow(W->Window);
    return;
  }
  SDL_ShowWindow(W->Window);
  PresentWhole(Window);
}

void SetFormWindowCaption(Windows::HWND Window, const std::string& Caption) {
  if (TWindow* W = Find(Window)) SDL_SetWindowTitle(W->Window, Caption.c_str());
}

void SetFormWindowSize(Windows::HWND Window, int Width, int Height) {
  TWindow* W = Find(Window);
  if (!W) return;
  Width = std::max(Width, 1), Height = std::max(Height, 1);
  int Now = 0, NowHeight = 0;
  SDL_GetWindowSize(W->Window, &Now, &NowHeight);
  // A size the window reported, set back by the form, changes nothing.
  if (Now == Width && NowHeight == Height) return;
  SDL_SetWindowSize(W->Window, Width, Height);
}

void PresentFormWindow(Windows::HWND Window, const TBitmapImage& Surface, int Left, int Top, int Right, int Bottom) {
  if (TWindow* W = Find(Window)) Present(*W, Surface, Left, Top, Right, Bottom);
}

void RunMessageLoop() {
  if (!GOpen) return;
  while (!GQuitPosted) {
    SDL_Event Event;
    if (!SDL_WaitEvent(&Event)) return;  // the queue itself failed: nothing more will come
    Dispatch(Event);
  }
  GQuitPosted = false;
}

// Posted as the system posts its quit message: the loop that sees it ends,
// and one that has not started yet ends as soon as it starts.
void QuitMessageLoop() { GQuitPosted = true; }

void ProcessMessages() {
  if (!GOpen) return;
  for (SDL_Event Event; !GQuitPosted && SDL_PollEvent(&Event);) Dispatch(Event);
}

bool HasSystemMessageBox() {
  return GOpen && std::any_of(GWindows.begin(), GWindows.end(), [](const auto& Entry) { return Entry.second.Shown; });
}

int SystemMessageBox(Windows::HWND Window, const std::string& Text, const std::string& Caption, Windows::UINT Type) {
  if (!GOpen) return 0;
  const TWindow* Owner = Find(Window);
  const auto Choices = Dialogs::MessageBoxButtons(Type);
  std::vector<SDL_MessageBoxButtonData> Buttons;
  for (std::size_t I = 0; I < Choices.size(); ++I) {
    const Uint32 Flags = (I == 0 ? SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT : 0) |
                         (Choices[I].second == Windows::IDCANCEL ? SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT : 0);
    Buttons.push_back({Flags, Choices[I].second, Choices[I].first.c_str()});
  }
  const Windows::UINT Icon = Type & Windows::MB_ICONMASK;
  const Uint32 Kind = Icon == Windows::MB_ICONHAND          ? SDL_MESSAGEBOX_ERROR
                      : Icon == Windows::MB_ICONEXCLAMATION ? SDL_MESSAGEBOX_WARNING
                                                            : SDL_MESSAGEBOX_INFORMATION;
  const SDL_MessageBoxData Box{Kind, Owner && Owner->Shown ? Owner->Window : nullptr, Caption.c_str(), Text.c_str(),
                               int(Buttons.size()), Buttons.data(), nullptr};
  int Pressed = 0;
  if (SDL_ShowMessageBox(&Box, &Pressed) != 0) return 0;  // the box could not be shown
  return Pressed < 0 ? Windows::IDCANCEL : Pressed;        // closed without a button
}

}  // namespace Os
