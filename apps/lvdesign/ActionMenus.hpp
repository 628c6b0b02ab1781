// The model's one table of actions as the window offers it: the Edit and
// Arrange menus and the form's right-click menu list the table's rows in
// its order, with their labels, keys and when they are enabled, and a key
// runs the row whose shortcut it is. Each action runs with the system's
// clipboard as the context's clipboard, and what it left there goes back.
#pragma once

#include <SDL.h>

#include <string>
#include <utility>
#include <vector>

#include "Actions.hpp"
#include "Commands.hpp"
#include "Presenting.hpp"

namespace Lvdesign {

// A key of the table as SDL names it.
struct TShortcut {
  SDL_Keycode Key = SDLK_UNKNOWN;
  bool Ctrl = false, Shift = false, Alt = false;
  bool Matches(const SDL_KeyboardEvent& Event) const;
};
// SDLK_UNKNOWN where SDL has no such key.
TShortcut SdlShortcut(const Design::TKey& Key);

class TActionMenus {
public:
  TActionMenus(Design::TDesigner& Designer, Design::TPackages& Packages, TCommands& Commands);

  // Inside an open menu: the items of the table's Menu ("Edit", "Arrange").
  // Usable false greys them all, as while the form is shown as text.
  void DrawItems(const std::string& Menu, bool Usable = true);
  // Inside the form's right-click menu: the clipboard's items, then Arrange.
  void DrawContextItems();
  // Posts the action whose shortcut Key is; answers whether there was one.
  bool Key(const SDL_KeyboardEvent& Key);

private:
  void Item(const Design::TAction& Action, bool Usable);
  void Post(const Design::TAction& Action);
  void Run(const Design::TAction& Action);

  Design::TDesigner& FDesigner;
  Design::TPackages& FPackages;
  TCommands& FCommands;
  std::vector<std::pair<const Design::TAction*, TShortcut>> FKeys;
};

}  // namespace Lvdesign
