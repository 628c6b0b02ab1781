// The component palette: a tab for each page the packages registered, and
// on it a toolbar with the arrow and a button for each class, showing the
// palette bitmap of the module that registered it (a plain glyph where
// there is none), the class's name as its tooltip.
#pragma once

#include <vector>

#include "Host.hpp"

namespace Lvdesign {

class TPalette {
public:
  TPalette(THost& Host, Design::TDesigner& Designer, Design::TPackages& Packages);
  ~TPalette();
  // Height of the tabs with the toolbar on them.
  static constexpr int Height = 64;
  void Place(int Left, int Top, int Width);
  // After packages came or went: pages and buttons anew.
  void Rebuild();
  // After any change: the chosen button shown pressed.
  void Update();
  // A button pressed (Ids::Tool + ...); answers whether it was one.
  bool Command(int Id);
  // The tooltip's text for a button (TTN_GETDISPINFO).
  void Tip(NMTTDISPINFOW& Info);
  // Another tab chosen (TCN_SELCHANGE).
  void PageChanged();

private:
  void ShowPage();

  THost& FHost;
  Design::TDesigner& FDesigner;
  Design::TPackages& FPackages;
  HWND FTabs = nullptr, FBar = nullptr;
  HIMAGELIST FImages = nullptr;
  std::vector<Design::TPaletteButton> FButtons;
  std::vector<std::string> FPages;
  std::wstring FTip;
};

}  // namespace Lvdesign
