#include "ActionMenus.hpp"

#include <algorithm>
#include <memory>
#include <sstream>

#include "imgui.h"

namespace Lvdesign {

namespace {

// What the form's right-click menu offers besides Arrange: the clipboard.
bool UsesClipboard(const Design::TAction& Action) {
  static const char* const Verbs[] = {"cut", "copy", "paste", "delete"};
  return std::find(std::begin(Verbs), std::end(Verbs), Action.Verb) != std::end(Verbs);
}

}  // namespace

bool TShortcut::Matches(const SDL_KeyboardEvent& Event) const {
  const Uint16 Mod = Event.keysym.mod;
  return Key != SDLK_UNKNOWN && Event.keysym.sym == Key && ((Mod & KMOD_CTRL) != 0) == Ctrl &&
         ((Mod & KMOD_SHIFT) != 0) == Shift && ((Mod & KMOD_ALT) != 0) == Alt;
}

TShortcut ParseShortcut(const std::string& Text) {
  TShortcut Shortcut;
  std::string Key = Text;
  // Modifiers first, each with its '+'; a last '+' alone is the key itself.
  for (std::size_t Plus; (Plus = Key.find('+')) != std::string::npos && Plus + 1 < Key.size();) {
    const std::string Modifier = Key.substr(0, Plus);
    if (Modifier == "Ctrl") Shortcut.Ctrl = true;
    else if (Modifier == "Shift") Shortcut.Shift = true;
    else if (Modifier == "Alt") Shortcut.Alt = true;
    else return {};
    Key.erase(0, Plus + 1);
  }
  // Menus write some keys shorter than SDL names them.
  if (Key == "Del") Key = "Delete";
  else if (Key == "Ins") Key = "Insert";
  else if (Key == "Esc") Key = "Escape";
  Shortcut.Key = Key.empty() ? SDLK_UNKNOWN : SDL_GetKeyFromName(Key.c_str());
  return Shortcut;
}

std::vector<TShortcut> ParseShortcuts(const std::string& Text) {
  std::vector<TShortcut> Keys;
  for (std::size_t From = 0; From < Text.size();) {
    const std::size_t Comma = Text.find(", ", From);
    Keys.push_back(ParseShortcut(Text.substr(From, Comma - From)));
    if (Comma == std::string::npos) break;
    From = Comma + 2;
  }
  return Keys;
}

TActionMenus::TActionMenus(Design::TDesigner& Designer, Design::TPackages& Packages, TCommands& Commands)
    : FDesigner(Designer), FPackages(Packages), FCommands(Commands) {
  for (const Design::TAction& Action : Design::Actions())
    for (const TShortcut& Key : ParseShortcuts(Action.Shortcut)) FKeys.emplace_back(&Action, Key);
}

void TActionMenus::DrawItems(const std::string& Menu, bool Usable) {
  for (const Design::TAction& Action : Design::Actions())
    if (Action.Menu == Menu) Item(Action, Usable);
}

void TActionMenus::DrawContextItems() {
  for (const Design::TAction& Action : Design::Actions())
    if (UsesClipboard(Action)) Item(Action, true);
  ImGui::Separator();
  DrawItems("Arrange");
}

void TActionMenus::Item(const Design::TAction& Action, bool Usable) {
  // Undo and Redo say which step they take; the id stays the verb's.
  const std::string Label = (Action.Verb == "undo"   ? FDesigner.UndoLabel()
                             : Action.Verb == "redo" ? FDesigner.RedoLabel()
                                                     : Action.Label) +
                            "###" + Action.Verb;
  // The first of its keys.
  const std::string Shortcut = Action.Shortcut.substr(0, Action.Shortcut.find(", "));
  if (ImGui::MenuItem(Label.c_str(), Shortcut.empty() ? nullptr : Shortcut.c_str(), false,
                      Usable && Action.Enabled(FDesigner)))
    Post(Action);
}

bool TActionMenus::Key(const SDL_KeyboardEvent& Key) {
  for (const auto& [Action, Shortcut] : FKeys)
    if (Shortcut.Matches(Key)) {
      Post(*Action);
      return true;
    }
  return false;
}

void TActionMenus::Post(const Design::TAction& Action) {
  FCommands.Post([this, &Action] { Run(Action); });
}

void TActionMenus::Run(const Design::TAction& Action) {
  // Keys come faster than frames: an action no longer enabled by the
  // time it runs does nothing, as its greyed item would.
  if (!Action.Enabled(FDesigner)) return;
  std::string Clipboard;
  if (SDL_HasClipboardText()) {
    const std::unique_ptr<char, decltype(&SDL_free)> Text(SDL_GetClipboardText(), SDL_free);
    if (Text) Clipboard = Text.get();
  }
  const std::string Before = Clipboard;
  std::ostringstream Printed;  // what an action prints is a script's output
  Design::TActionContext Context{FDesigner, FPackages, Printed, Clipboard};
  Design::RunAction(Action, Context);
  if (Clipboard != Before) SDL_SetClipboardText(Clipboard.c_str());
}

}  // namespace Lvdesign
