#include "Screen.hpp"

#include <algorithm>
#include <cstring>
#include <utility>
#include <filesystem>
#include <stdexcept>

#include "imgui_impl_sdl.h"
#include "imgui_impl_sdlrenderer.h"
#include "imgui_internal.h"
#include "Forms.hpp"

namespace Lvdesign {

void TTexture::Reset() {
  if (FTexture) SDL_DestroyTexture(FTexture);
  FTexture = nullptr;
  FWidth = FHeight = 0;
}

void TTexture::Update(SDL_Renderer* Renderer, const Graphics::TBitmap& Bitmap, bool Transparent) {
  const int Width = Bitmap.Width(), Height = Bitmap.Height();
  if (Width <= 0 || Height <= 0) {
    Reset();
    return;
  }
  // ARGB8888 is, in memory, blue, green, red, alpha: a 32-bit bitmap's own order.
  Graphics::TBitmap Copy;
  const Graphics::TBitmap* Source = &Bitmap;
  if (Bitmap.PixelFormat() != Graphics::pf32bit) {
    Copy.Assign(&Bitmap);
    Copy.SetPixelFormat(Graphics::pf32bit);
    Source = &Copy;
  }
  if (!FTexture || Width != FWidth || Height != FHeight || Transparent != FTransparent) {
    Reset();
    FTexture = SDL_CreateTexture(Renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, Width, Height);
    if (!FTexture) return;
    SDL_SetTextureBlendMode(FTexture, Transparent ? SDL_BLENDMODE_BLEND : SDL_BLENDMODE_NONE);
    FWidth = Width, FHeight = Height, FTransparent = Transparent;
  }
  void* Pixels = nullptr;
  int Pitch = 0;
  if (SDL_LockTexture(FTexture, nullptr, &Pixels, &Pitch) != 0) return;
  // The fourth byte of a bitmap's pixel is unused: alpha is made here.
  std::uint32_t Key;
  std::memcpy(&Key, Source->ScanLine(Height - 1), 4);
  Key &= 0xFFFFFF;
  for (int Y = 0; Y < Height; ++Y) {
    const std::uint8_t* Row = Source->ScanLine(Y);
    auto* Out = static_cast<std::uint8_t*>(Pixels) + std::size_t(Y) * std::size_t(Pitch);
    if (!Transparent) {
      std::memcpy(Out, Row, std::size_t(Width) * 4);
      continue;
    }
    for (int X = 0; X < Width; ++X) {
      std::uint32_t Pixel;
      std::memcpy(&Pixel, Row + 4 * std::size_t(X), 4);
      Pixel &= 0xFFFFFF;
      Pixel = Pixel == Key ? 0 : Pixel | 0xFF000000u;
      std::memcpy(Out + 4 * std::size_t(X), &Pixel, 4);
    }
  }
  SDL_UnlockTexture(FTexture);
}

TScreen::TScreen(const std::string& Title) {
  // The display is the framework's, opened with its checks; the forms
  // being designed stay in memory, drawn in this window. SDL's video is
  // counted in here and out in the destructor, so the framework's stays.
  std::string Why;
  if (!Forms::Application->HasDisplay(&Why)) throw std::runtime_error("cannot open a window: " + Why);
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
    throw std::runtime_error(std::string("cannot open a window: ") + SDL_GetError());
  FWindow = SDL_CreateWindow(Title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 1280, 800,
                             SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
  if (FWindow) {
    SDL_SetWindowMinimumSize(FWindow, 640, 400);
    // A virtual display has no accelerated renderer: the software one draws there.
    FRenderer = SDL_CreateRenderer(FWindow, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    if (!FRenderer) FRenderer = SDL_CreateRenderer(FWindow, -1, SDL_RENDERER_SOFTWARE);
  }
  if (!FRenderer) {
    const std::string Error = SDL_GetError();
    if (FWindow) SDL_DestroyWindow(FWindow);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    throw std::runtime_error("cannot open a window: " + Error);
  }
  IMGUI_CHECKVERSION();
  ImGui::CreateContext();
  ImGuiIO& IO = ImGui::GetIO();
  IO.IniFilename = nullptr;  // the layout is fixed: nothing to remember in the working folder
  IO.LogFilename = nullptr;
  ImGui::StyleColorsLight();
  ImGuiStyle& Style = ImGui::GetStyle();
  Style.WindowRounding = 0;
  Style.FrameRounding = 2;
  Style.WindowBorderSize = 1;
  LoadFonts();
  ImGui_ImplSDL2_InitForSDLRenderer(FWindow);
  ImGui_ImplSDLRenderer_Init(FRenderer);
}

TScreen::~TScreen() {
  ImGui_ImplSDLRenderer_Shutdown();
  ImGui_ImplSDL2_Shutdown();
  ImGui::DestroyContext();
  if (FScene) SDL_DestroyTexture(FScene);
  SDL_DestroyRenderer(FRenderer);
  SDL_DestroyWindow(FWindow);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void TScreen::LoadFonts() {
  // Captions in Western and Central European languages, Greek and
  // Cyrillic, with general punctuation and arrows for the menus.
  static const ImWchar Ranges[] = {0x0020, 0x00FF, 0x0100, 0x017F, 0x0370, 0x03FF, 0x0400, 0x04FF,
                                   0x2000, 0x206F, 0x2190, 0x21FF, 0x25A0, 0x25FF, 0};
  const char* Folder = "/usr/share/fonts/truetype/dejavu/";
  ImGuiIO& IO = ImGui::GetIO();
  std::error_code Error;
  // ImGui asserts on a font file it cannot read: look before loading.
  const auto Load = [&](const char* Name) -> ImFont* {
    const std::string File = std::string(Folder) + Name;
    return std::filesystem::is_regular_file(File, Error) ? IO.Fonts->AddFontFromFileTTF(File.c_str(), 15, nullptr, Ranges)
                                                         : nullptr;
  };
  if (!Load("DejaVuSans.ttf")) {
    IO.Fonts->AddFontDefault();
    return;
  }
  FBold = Load("DejaVuSans-Bold.ttf");
  FMono = Load("DejaVuSansMono.ttf");
}

void TScreen::SetTitle(const std::string& Title) {
  if (Title != SDL_GetWindowTitle(FWindow)) SDL_SetWindowTitle(FWindow, Title.c_str());
}

void TScreen::Wait() { SDL_WaitEventTimeout(nullptr, 100); }

bool TScreen::Pump(const std::function<void(const SDL_Event&)>& Handle) {
  ImGuiIO& IO = ImGui::GetIO();
  const auto Feed = [&](SDL_Event& Event) {
    ImGui_ImplSDL2_ProcessEvent(&Event);
    // The backend reads the modifiers as they are now, after the whole
    // batch: the event's own are the ones that went with the key.
    if (Event.type == SDL_KEYDOWN || Event.type == SDL_KEYUP) {
      const Uint16 Mod = Event.key.keysym.mod;
      IO.KeyCtrl = (Mod & KMOD_CTRL) != 0, IO.KeyShift = (Mod & KMOD_SHIFT) != 0;
      IO.KeyAlt = (Mod & KMOD_ALT) != 0, IO.KeySuper = (Mod & KMOD_GUI) != 0;
    }
    Handle(Event);
  };
  // ImGui sees which keys are down once a frame: a key pressed and
  // released within one frame would go unseen, and so would a press that
  // follows its key's release within one frame (the key looks held down
  // throughout), which loses keys typed quickly or on a busy machine. So
  // each key goes down or up at most once a frame: the event that would
  // change it a second time, and all that comes after it, wait for the
  // next frame, so typing followed at once by Return still ends with
  // Return seen.
  for (SDL_Event Event; SDL_PollEvent(&Event);) FLater.push_back(Event);
  std::vector<SDL_Scancode> Changed;
  std::size_t Fed = 0;
  for (; Fed < FLater.size(); ++Fed) {
    SDL_Event Event = FLater[Fed];
    if (Event.type == SDL_KEYDOWN || Event.type == SDL_KEYUP) {
      const SDL_Scancode Key = Event.key.keysym.scancode;
      if (std::find(Changed.begin(), Changed.end(), Key) != Changed.end()) break;
      Changed.push_back(Key);
    }
    Feed(Event);
  }
  FLater.erase(FLater.begin(), FLater.begin() + std::ptrdiff_t(Fed));
  return Fed > 0 || !FLater.empty();
}

void TScreen::BeginFrame() {
  ImGui_ImplSDLRenderer_NewFrame();
  ImGui_ImplSDL2_NewFrame();
  // The backend reads the pointer from X's global state, which SDL refreshes
  // only on raw input events; moves that come without them (a virtual
  // display's, a remote desktop's) would leave hover behind until the next
  // click. The window's own last motion event is always current.
  if (SDL_GetMouseFocus() == FWindow) {
    int X = 0, Y = 0;
    SDL_GetMouseState(&X, &Y);
    ImGui::GetIO().MousePos = ImVec2(float(X), float(Y));
  }
  ImGui::NewFrame();
  FInFrame = true;
}

void TScreen::EndFrame() {
  FShowsPopup = false;
  for (const ImGuiWindow* Window : GImGui->Windows)
    if (Window->Active && (Window->Flags & ImGuiWindowFlags_Popup)) FShowsPopup = true;
  ImGui::Render();
  FInFrame = false;
  Present(false);
}

void TScreen::Present(bool Backdrop) {
  int Width = 0, Height = 0;
  SDL_GetRendererOutputSize(FRenderer, &Width, &Height);
  // The main loop draws into a texture it keeps, so that a question can
  // show the window as it was behind it.
  if (!Backdrop && SDL_RenderTargetSupported(FRenderer) && (!FScene || Width != FSceneWidth || Height != FSceneHeight)) {
    if (FScene) SDL_DestroyTexture(FScene);
    FScene = SDL_CreateTexture(FRenderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET, Width, Height);
    FSceneWidth = Width, FSceneHeight = Height;
  }
  const bool ToScene = !Backdrop && FScene && SDL_SetRenderTarget(FRenderer, FScene) == 0;
  SDL_SetRenderDrawColor(FRenderer, 160, 160, 160, 255);
  SDL_RenderClear(FRenderer);
  if (Backdrop && FScene) SDL_RenderCopy(FRenderer, FScene, nullptr, nullptr);
  ImGui_ImplSDLRenderer_RenderDrawData(ImGui::GetDrawData());
  if (ToScene) {
    SDL_SetRenderTarget(FRenderer, nullptr);
    SDL_RenderCopy(FRenderer, FScene, nullptr, nullptr);
  }
  SDL_RenderPresent(FRenderer);
}

void TScreen::RunModal(const std::function<bool()>& Draw) {
  const auto Start = std::chrono::steady_clock::now();
  for (bool Done = false; !Done;) {
    if (!Pending()) Wait();
    Pump([&](const SDL_Event& Event) {
      if (Event.type == SDL_QUIT ||
          (Event.type == SDL_WINDOWEVENT && Event.window.event == SDL_WINDOWEVENT_CLOSE))
        FCloseRequested = true;
    });
    BeginFrame();
    Done = Draw();
    ImGui::Render();
    FInFrame = false;
    Present(true);
  }
  FAsking += std::chrono::steady_clock::now() - Start;
}

int TScreen::Ask(const std::string& Title, const std::string& Text, const std::vector<std::string>& Buttons,
                 int Cancel) {
  int Answer = -1;
  bool Opened = false;
  const std::string Id = Title + "##question";
  RunModal([&] {
    if (!Opened) ImGui::OpenPopup(Id.c_str());
    Opened = true;
    const ImGuiViewport* View = ImGui::GetMainViewport();
    ImGui::SetNextWindowPos(View->GetCenter(), ImGuiCond_Always, ImVec2(0.5f, 0.5f));
    if (ImGui::BeginPopupModal(Id.c_str(), nullptr, ImGuiWindowFlags_AlwaysAutoResize | ImGuiWindowFlags_NoMove)) {
      ImGui::PushTextWrapPos(ImGui::GetFontSize() * 36);
      ImGui::TextUnformatted(Text.c_str());
      ImGui::PopTextWrapPos();
      ImGui::Spacing();
      for (std::size_t I = 0; I < Buttons.size(); ++I) {
        if (I > 0) ImGui::SameLine();
        if (ImGui::Button(Buttons[I].c_str(), ImVec2(std::max(90.0f, ImGui::CalcTextSize(Buttons[I].c_str()).x + 20), 0)))
          Answer = int(I);
      }
      if (ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Escape))) Answer = Cancel;
      if (FCloseRequested) Answer = Cancel;
      if (Answer >= 0) ImGui::CloseCurrentPopup();
      ImGui::EndPopup();
    }
    return Answer >= 0;
  });
  return Answer;
}

}  // namespace Lvdesign
