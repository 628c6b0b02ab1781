// lvview: the filter image component in a real window. A click blends the
// filter into the picture, centred on the point clicked; the conversion
// question, when the picture is not 24-bit, comes as a real dialog.
#include <CLI/CLI.hpp>
#include <SDL.h>

#include <iostream>
#include <regex>
#include <string>
#include <vector>

#include "Dialogs.hpp"
#include "Forms.hpp"
#include "Graphics/Dib.hpp"
#include "LvFltImg.hpp"

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

struct TOptions {
  std::string Picture, Filter, Screenshot;
  std::vector<std::string> Clicks;
  bool Yes = false, No = false;
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

std::pair<int, int> ParsePoint(const std::string& Text) {
  static const std::regex Pattern(R"((-?\d{1,6}),(-?\d{1,6}))");
  std::smatch Match;
  if (!std::regex_match(Text, Match, Pattern)) throw std::invalid_argument("--click: expected X,Y, not '" + Text + "'");
  return {std::stoi(Match[1]), std::stoi(Match[2])};
}

int Run(const TOptions& Options) {
  const bool Scripted = !Options.Clicks.empty() || !Options.Screenshot.empty();
  Forms::TForm Form(nullptr);
  Form.SetCaption("lvview - " + Options.Picture);
  auto* Image = new LvFltImg::TLvFilterImage(&Form);
  Image->SetParent(&Form);
  Image->Picture()->LoadFromFile(Options.Picture);
  Graphics::TBitmap Filter;
  Filter.LoadFromFile(Options.Filter);
  Image->SetFilterBitMap(&Filter);
  Image->SetAutoSize(true);
  Image->OnMouseDown = [&](System::TObject*, Controls::TMouseButton Button, Controls::TShiftState, int X, int Y) {
    if (Button == Controls::mbLeft) Image->Filter(Y - Filter.Height() / 2, X - Filter.Width() / 2);
  };
  Form.SetClientSize(Image->Width(), Image->Height());

  if (SDL_Init(SDL_INIT_VIDEO) != 0) throw std::runtime_error(std::string("cannot open a window: ") + SDL_GetError());
  TWindow W;
  W.Window = SDL_CreateWindow(Form.Caption().c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, Form.Width(),
                              Form.Height(), Scripted ? SDL_WINDOW_HIDDEN : 0);
  if (W.Window) W.Renderer = SDL_CreateRenderer(W.Window, -1, SDL_RENDERER_SOFTWARE);
  if (W.Renderer)
    W.Texture = SDL_CreateTexture(W.Renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, Form.Width(),
                                  Form.Height());
  if (!W.Texture) throw std::runtime_error(std::string("cannot open a window: ") + SDL_GetError());
  if (Options.Yes || Options.No)
    Dialogs::SetMessageBoxResponder(
        std::make_shared<Dialogs::TScriptedResponder>(Options.Yes ? Windows::IDOK : Windows::IDCANCEL));
  else
    Dialogs::SetMessageBoxResponder(std::make_shared<TWindowResponder>(W.Window));
  Form.OnPaint = [&](System::TObject*) { Present(W, Form); };
  Form.Show();

  if (Scripted) {
    for (const std::string& Click : Options.Clicks) {
      const auto [X, Y] = ParsePoint(Click);
      Form.ClickAt(X, Y);
    }
    if (!Options.Screenshot.empty()) Form.SaveScreenshot(Options.Screenshot);
    return 0;
  }
  for (SDL_Event Event; SDL_WaitEvent(&Event);) {
    switch (Event.type) {
      case SDL_QUIT:
        return 0;
      case SDL_KEYDOWN:
        if (Event.key.keysym.sym == SDLK_ESCAPE || Event.key.keysym.sym == SDLK_q) return 0;
        if (Event.key.keysym.sym == SDLK_s) {
          Form.SaveScreenshot("lvview-screenshot.png");
          std::cout << "lvview: saved lvview-screenshot.png\n";
        }
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
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  TOptions Options;
  CLI::App App("Shows PICTURE in a window with the filter image component. Each click blends\n"
               "FILTER into the picture, centred on the point clicked; calls accumulate.\n"
               "Keys: S saves lvview-screenshot.png, Q or Escape quits. A picture that is not\n"
               "24-bit colour is converted first, after a question in a dialog.",
               "lvview");
  App.add_option("PICTURE", Options.Picture, "The picture")->required();
  App.add_option("FILTER", Options.Filter, "The filter picture")->required();
  auto* Yes = App.add_flag("-y,--yes", Options.Yes, "Answer OK to the conversion question");
  App.add_flag("-n,--no", Options.No, "Answer Cancel to the conversion question")->excludes(Yes);
  App.add_option("--click", Options.Clicks, "Click at X,Y without showing the window (repeatable)");
  App.add_option("--screenshot", Options.Screenshot, "Save what the window shows after the clicks, and quit");
  try {
    App.parse(argc, argv);
  } catch (const CLI::CallForHelp& E) {
    return App.exit(E);
  } catch (const CLI::ParseError& E) {
    std::cerr << "lvview: " << E.what() << " (see lvview --help)\n";
    return 2;
  }
  try {
    return Run(Options);
  } catch (const Graphics::EInvalidGraphic& E) {
    std::cerr << "lvview: " << E.Message() << "\n";
    return 2;
  } catch (const Classes::EStreamError& E) {
    std::cerr << "lvview: " << E.Message() << "\n";
    return 2;
  } catch (const std::invalid_argument& E) {
    std::cerr << "lvview: " << E.what() << "\n";
    return 2;
  } catch (const std::exception& E) {
    std::cerr << "lvview: " << E.what() << "\n";
    return 1;
  }
}
