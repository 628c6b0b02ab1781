// The viewer's window through SDL, where forms have no native windows.
#include <SDL.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "Dialogs.hpp"
#include "Graphics/Dib.hpp"
#include "Tool.hpp"
#include "Window.hpp"

namespace Lvview {

namespace {

// Asks through the window system's own message box, over the window.
class TWindowResponder : public Dialogs::TMessageBoxResponder {
public:
  explicit TWindowResponder(SDL_Window* Window) : FWindow(Window) {}
  int Answer(const Dialogs::TMessageBoxCall& Call) override {
    std::vector<SDL_MessageBoxButtonData> Buttons;
    const auto Choices = Dialogs::MessageBoxButtons(Call.Type);
    for (std::size_t I = 0; I < Choices.size(); ++I) {
      const Uint32 Flags = (I == 0 ? SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT : 0) |
                           (Choices[I].second == Windows::IDCANCEL ? SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT : 0);
      Buttons.push_back({Flags, Choices[I].second, Choices[I].first.c_str()});
    }
    const SDL_MessageBoxData Box{SDL_MESSAGEBOX_INFORMATION, FWindow, Call.Caption.c_str(), Call.Text.c_str(),
                                 int(Buttons.size()), Buttons.data(), nullptr};
    int Pressed = 0;
    if (SDL_ShowMessageBox(&Box, &Pressed) != 0) return 0;  // the box failed
    return Pressed < 0 ? Windows::IDCANCEL : Pressed;        // closed without a button
  }

private:
  SDL_Window* FWindow;
};

struct TWindow {
  SDL_Window* Window = nullptr;
  SDL_Renderer* Renderer = nullptr;
  SDL_Texture* Texture = nullptr;
  ~TWindow() {
    if (Texture) SDL_DestroyTexture(Texture);
    if (Renderer) SDL_DestroyRenderer(Renderer);
    if (Window) SDL_DestroyWindow(Window);
    SDL_Quit();
  }
};

// Shows the form's surface: 32-bit rows of blue, green, red, alpha.
void Present(TWindow& W, const Forms::TForm& Form) {
  const Graphics::Detail::TDib& Surface = Form.Surface().Image();
  if (Surface.Empty()) return;
  SDL_UpdateTexture(W.Texture, nullptr, Surface.Row(0), int(Surface.Stride));
  SDL_RenderClear(W.Renderer);
  SDL_RenderCopy(W.Renderer, W.Texture, nullptr, nullptr);
  SDL_RenderPresent(W.Renderer);
}

// The drivers SDL falls back on when there is no display: a window there is
// never seen.
bool Invisible(const char* Driver) {
  for (const char* Name : {"offscreen", "dummy", "evdev"})
    if (Driver && std::strcmp(Driver, Name) == 0) return true;
  return false;
}

void OpenWindow(TWindow& W, const Forms::TForm& Form, const std::string& Title) {
  // SDL turns SIGINT and SIGTERM into quit events, which nothing reads
  // while a dialog is open; without its handlers they end the program.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  const bool Chosen = std::getenv("SDL_VIDEODRIVER") != nullptr;
  if (!Chosen && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
    throw std::runtime_error("cannot open a window: no display");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) throw std::runtime_error(std::string("cannot open a window: ") + SDL_GetError());
  if (!Chosen && Invisible(SDL_GetCurrentVideoDriver())) throw std::runtime_error("cannot open a window: no display");
  // Where the form's Position says: where it was designed, centred, or
  // where the window system puts new windows.
  int X = SDL_WINDOWPOS_UNDEFINED, Y = SDL_WINDOWPOS_UNDEFINED;
  switch (Form.Position()) {
    case Forms::poDesigned: X = Form.Left(), Y = Form.Top(); break;
    case Forms::poScreenCenter:
    case Forms::poMainFormCenter:
    case Forms::poOwnerFormCenter: X = Y = SDL_WINDOWPOS_CENTERED; break;
    default: break;
  }
  W.Window = SDL_CreateWindow(Title.c_str(), X, Y, Form.ClientWidth(), Form.ClientHeight(), 0);
  if (W.Window) W.Renderer = SDL_CreateRenderer(W.Window, -1, SDL_RENDERER_SOFTWARE);
  if (W.Renderer)
    W.Texture = SDL_CreateTexture(W.Renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                  Form.ClientWidth(), Form.ClientHeight());
  if (!W.Texture) throw std::runtime_error(std::string("cannot open a window: ") + SDL_GetError());
}

}  // namespace

int Interact(Forms::TForm& Form, const std::string& Title, const std::string& SaveFormName) {
  TWindow W;
  OpenWindow(W, Form, Title);
  Dialogs::SetMessageBoxResponder(std::make_shared<TWindowResponder>(W.Window));
  Form.OnPaint = [&](System::TObject*) { Present(W, Form); };
  const TReport Report = [&](const std::string& Title, const std::string& Text) {
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, Title.c_str(), Text.c_str(), W.Window);
  };
  Form.Show();
  for (SDL_Event Event; SDL_WaitEvent(&Event);) {
    switch (Event.type) {
      case SDL_QUIT:
        return Tool::ExitDone;
      case SDL_KEYDOWN:
        if (Event.key.keysym.sym == SDLK_ESCAPE || Event.key.keysym.sym == SDLK_q) return Tool::ExitDone;
        if (Event.key.keysym.sym == SDLK_s) SaveScreenshot(Form, Report);
        if (Event.key.keysym.sym == SDLK_f) SaveForm(Form, SaveFormName, Report);
        break;
      case SDL_MOUSEBUTTONDOWN:
        Form.MouseDownAt(Event.button.button == SDL_BUTTON_RIGHT ? Controls::mbRight : Controls::mbLeft, 0,
                         Event.button.x, Event.button.y);
        break;
      case SDL_MOUSEBUTTONUP:
        Form.MouseUpAt(Event.button.button == SDL_BUTTON_RIGHT ? Controls::mbRight : Controls::mbLeft, 0,
                       Event.button.x, Event.button.y);
        break;
      case SDL_WINDOWEVENT:
        if (Event.window.event == SDL_WINDOWEVENT_EXPOSED) Present(W, Form);
        break;
      default:
        break;
    }
  }
  return Tool::ExitDone;
}

}  // namespace Lvview
