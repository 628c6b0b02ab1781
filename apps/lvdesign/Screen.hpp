// The design window's screen: one SDL window with its renderer and the
// Dear ImGui context drawn on it, the fonts, frames, and questions that
// wait for an answer while the model is in the middle of a call.
#pragma once

#include <SDL.h>

#include "Graphics.hpp"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "imgui.h"

namespace Lvdesign {

// A texture of a 32-bit bitmap's pixels (blue, green, red, unused per
// pixel), remade when the size changes.
class TTexture {
public:
  TTexture() = default;
  TTexture(const TTexture&) = delete;
  TTexture& operator=(const TTexture&) = delete;
  ~TTexture() { Reset(); }
  // The bitmap's pixels, in any format. With Transparent, pixels of the
  // bottom-left pixel's colour let the background show, as a palette
  // button's glyph is drawn.
  void Update(SDL_Renderer* Renderer, const Graphics::TBitmap& Bitmap, bool Transparent = false);
  void Reset();
  ImTextureID Id() const { return FTexture; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }

private:
  SDL_Texture* FTexture = nullptr;
  int FWidth = 0, FHeight = 0;
  bool FTransparent = false;
};

class TScreen {
public:
  // Opens the window; raises std::runtime_error when there is no display.
  explicit TScreen(const std::string& Title);
  ~TScreen();
  TScreen(const TScreen&) = delete;
  TScreen& operator=(const TScreen&) = delete;

  SDL_Window* Window() const { return FWindow; }
  SDL_Renderer* Renderer() const { return FRenderer; }
  // Nullptr where the font is missing: the regular one serves instead.
  ImFont* BoldFont() const { return FBold; }
  ImFont* MonoFont() const { return FMono; }
  void SetTitle(const std::string& Title);

  // Waits until input comes, up to a tenth of a second.
  void Wait();
  // Hands the events waiting to ImGui, then to Handle; answers whether any came.
  bool Pump(const std::function<void(const SDL_Event&)>& Handle);
  // Events held back for the next frame.
  bool Pending() const { return !FLater.empty(); }
  // The time spent waiting for answers to questions so far, which a
  // frame's time leaves out.
  std::chrono::steady_clock::duration Asking() const { return FAsking; }
  void BeginFrame();
  // Draws the frame and keeps it as the backdrop that questions show.
  void EndFrame();
  bool InFrame() const { return FInFrame; }
  // Whether that backdrop shows a menu or a list opened over the window.
  bool ShowsPopup() const { return FShowsPopup; }
  // Whether the user asked to close the window while a question was open.
  bool CloseRequested() const { return FCloseRequested; }
  void ClearCloseRequest() { FCloseRequested = false; }

  // Runs frames of their own until Draw answers true: Draw puts up a
  // modal window over the last frame of the main loop. Must be called
  // between frames; the model may be in the middle of a call that waits
  // for the answer.
  void RunModal(const std::function<bool()>& Draw);
  // A question with buttons; answers the index of the one pressed, or
  // Cancel when the window is closed or Escape pressed.
  int Ask(const std::string& Title, const std::string& Text, const std::vector<std::string>& Buttons, int Cancel);
  void Message(const std::string& Title, const std::string& Text) { Ask(Title, Text, {"OK"}, 0); }

private:
  void LoadFonts();
  void Present(bool Backdrop);

  SDL_Window* FWindow = nullptr;
  SDL_Renderer* FRenderer = nullptr;
  SDL_Texture* FScene = nullptr;  // the last frame of the main loop
  int FSceneWidth = 0, FSceneHeight = 0;
  ImFont* FBold = nullptr;
  ImFont* FMono = nullptr;
  bool FInFrame = false;
  bool FShowsPopup = false;
  bool FCloseRequested = false;
  std::vector<SDL_Event> FLater;
  std::chrono::steady_clock::duration FAsking{};
};

}  // namespace Lvdesign
