// The form being designed: the model's view of its client area inside a
// frame with the form's caption, and the mouse and keys that edit it.
#pragma once

#include <SDL.h>

#include "Commands.hpp"
#include "imgui_internal.h"
#include "Designer.hpp"
#include "Screen.hpp"

namespace Lvdesign {

class TFormView {
public:
  TFormView(TScreen& Screen, Design::TDesigner& Designer, TCommands& Commands)
      : FScreen(Screen), FDesigner(Designer), FCommands(Commands) {}
  // Between frames: repaints the texture when the view changed.
  void Update();
  // Fills the current window with the framed form.
  void Draw();
  // A mouse event over the form becomes the model's MouseDown, MouseMove
  // or MouseUp. While a text field has the keyboard they wait for the end
  // of the next frame, so that what the field commits as it loses focus
  // goes to the component it was typed for.
  void Handle(const SDL_Event& Event, bool Typing);
  // Posts what waited.
  void Flush();

private:
  void Post(const SDL_Event& Event);
  // Over the client area with no menu or popup in front of it.
  bool Over(int X, int Y) const;

  TScreen& FScreen;
  Design::TDesigner& FDesigner;
  TCommands& FCommands;
  TTexture FTexture;
  unsigned FVersion = 0;
  // Where the last frame showed the client area, and the part of it not
  // scrolled out of sight.
  ImVec2 FOrigin;
  ImRect FVisible;
  bool FDragging = false;
  std::vector<SDL_Event> FWaiting;
};

}  // namespace Lvdesign
