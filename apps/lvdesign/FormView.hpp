// The form being designed: the model's view of its client area inside a
// frame with the form's caption, the mouse that edits it, and its
// right-click menu.
#pragma once

#include <SDL.h>

#include "ActionMenus.hpp"
#include "Commands.hpp"
#include "imgui_internal.h"
#include "Designer.hpp"
#include "Screen.hpp"

namespace Lvdesign {

class TFormView {
public:
  TFormView(TScreen& Screen, Design::TDesigner& Designer, TCommands& Commands, TActionMenus& Actions)
      : FScreen(Screen), FDesigner(Designer), FCommands(Commands), FActions(Actions) {}
  // Between frames: repaints the texture when the view changed.
  void Update();
  // Fills the current window with the framed form.
  void Draw();
  // A mouse event over the form becomes the model's MouseDown, MouseMove
  // or MouseUp; a right press selects as a click would and opens the
  // form's menu. While a text field has the keyboard they wait for the end
  // of the next frame, so that what the field commits as it loses focus
  // goes to the component it was typed for.
  void Handle(const SDL_Event& Event, bool Typing);
  // Posts what waited.
  void Flush();
  // Whether the form's own edge or corner is being dragged.
  bool SizingForm() const;

private:
  void Post(const SDL_Event& Event);
  // Over the client area, or over what the model grabs just outside it
  // (the form's right and bottom edges), with no menu or popup in front.
  bool Over(int X, int Y) const;
  Design::TGrab GrabAt(ImVec2 Point) const;

  TScreen& FScreen;
  Design::TDesigner& FDesigner;
  TCommands& FCommands;
  TActionMenus& FActions;
  TTexture FTexture;
  unsigned FVersion = 0;
  // Where the last frame showed the client area, the part of it not
  // scrolled out of sight, and the part of the view's window in sight.
  ImVec2 FOrigin;
  ImRect FVisible, FInSight;
  bool FDragging = false;
  Design::TGrab FDragGrab = Design::TGrab::None;  // what the press grabbed
  bool FOpenMenu = false;  // a right press: the menu opens as the button is let go
  std::vector<SDL_Event> FWaiting;
};

}  // namespace Lvdesign
