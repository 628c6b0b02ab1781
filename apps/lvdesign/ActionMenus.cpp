#include "ActionMenus.hpp"

#include <memory>

#include "imgui.h"

namespace Lvdesign {

bool TShortcut::Matches(const SDL_KeyboardEvent& Event) const {
  const Uint16 Mod = Event.keysym.mod;
  return Key != SDLK_UNKNOWN && Event.keysym.sym == Key && ((Mod & KMOD_CTRL) != 0) == Ctrl &&
         ((Mod & KMOD_SHIFT) != 0) == Shift && ((Mod & KMOD_ALT) != 0) == Alt;
}

TShortcut SdlShortcut(const Design::TKey& Key) {
  return {Key.Name.empty() ? SDLK_UNKNOWN : SDL_GetKeyFromName(Key.Name.c_str()), Key.Ctrl, Key.Shift, Key.Alt};
}

TActionMenus::TActionMenus(Design::TDesigner& Designer, Design::TPackages& Packages, TCommands& Commands)
    : FDesigner(Designer), FPackages(Packages), FCommands(Commands) {
  for (const Design::TAction& Action : Design::Actions())
    for (const Design::TKey& Key : Design::ParseShortcuts(Action.Shortcut)) FKeys.emplace_back(&Action, SdlShortcut(Key));
}

void TActionMenus::DrawItems(const std::string& Menu, bool Usable) {
  for (const Design::TAction& Action : Design::Actions())
    if (Action.Menu == Menu) Item(Action, Usable);
}

void TActionMenus::DrawContextItems() {
  for (const Design::TAction& Action : Design::Actions())
    if (Design::InContextMenu(Action)) Item(Action, true);
  ImGui::Separator();
  DrawItems("Arrange");
}

void TActionMenus::Item(const Design::TAction& Action, bool Usable) {
  // Undo and Redo say which step they take; the id stays the verb's.
  const std::string Label = Design::MenuLabel(Action, FDesigner) + "###" + Action.Verb;
  const std::string Shortcut = Design::MenuShortcut(Action);
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
  std::string Clipboard;
  if (SDL_HasClipboardText()) {
    const std::unique_ptr<char, decltype(&SDL_free)> Text(SDL_GetClipboardText(), SDL_free);
    if (Text) Clipboard = Text.get();
  }
  if (Design::RunChosenAction(Action, FDesigner, FPackages, Clipboard)) SDL_SetClipboardText(Clipboard.c_str());
}

}  // namespace Lvdesign
