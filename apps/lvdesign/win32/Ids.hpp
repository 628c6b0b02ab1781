// The numbers of lvdesign's controls and commands on Windows, and its
// window classes: what the window is made of, and what a program that
// drives it by messages finds it by.
#pragma once

namespace Lvdesign::Ids {

inline constexpr wchar_t MainClass[] = L"LvdesignMain";
inline constexpr wchar_t FormViewClass[] = L"LvdesignFormView";

enum : int {
  // Controls, children of the main window.
  PaletteTabs = 100,
  PaletteBar,
  ComponentList,
  InspectorTabs,
  Filter,
  Rows,       // the inspector's rows: "Name<TAB>Value" each
  Fault,      // the last edit's fault
  Editor,     // the in-place edit or list of the row chosen
  LoadButton,
  ClearButton,
  SaveButton,
  FormView,
  TextView,
  StatusBar,

  // The File, Component and Run menus.
  New = 200,
  Open,
  Save,
  SaveAs,
  ViewAsText,
  Quit,
  InstallPackage,
  Run,
  Recent = 300,         // + the place in the list, up to 16
  RemovePackage = 400,  // + the place among the installed, up to 64
  // The actions table's rows: + the row's place in Design::Actions().
  Action = 1000,
  // The palette: the arrow, then + 1 + the button's place in the palette.
  Tool = 2000,
};

}  // namespace Lvdesign::Ids
