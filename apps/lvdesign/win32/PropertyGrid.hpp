// The object inspector: a list of the form's components, Properties and
// Events tabs, a filter, and a two-column list of rows, each with the
// in-place editor its kind takes: an edit for numbers, strings, sets and
// events; a drop-down list for enumerations, booleans and references; a
// list with a field to type in for colours (with swatches) and cursors;
// Load…, Clear and Save… for pictures. Sets and objects unfold by a click
// on their name; values that differ from the default are bold.
#pragma once

#include <vector>

#include "Host.hpp"

namespace Lvdesign {

class TPropertyGrid {
public:
  // What a posted message to the main window asks of the inspector: the
  // editor's value committed (WParam: the editor's serial).
  static constexpr UINT CommitMessage = WM_APP + 1;

  TPropertyGrid(THost& Host, Design::TDesigner& Designer);
  ~TPropertyGrid();
  void Place(int Left, int Top, int Width, int Height);
  // After any change: the components and rows anew where they changed.
  void Update();
  // The last edit's fault, shown under the rows; empty clears it.
  void SetFault(const std::string& Fault);

  // The main window's messages about the inspector's controls; each
  // answers whether it was one of them.
  bool Command(int Id, int Code, HWND Control);
  bool Notify(const NMHDR& Header);
  bool DrawItem(const DRAWITEMSTRUCT& Item);
  static void MeasureItem(MEASUREITEMSTRUCT& Item);
  // The colour of the fault's text, or nullptr where Control is not it.
  HBRUSH Colour(HWND Control, HDC Dc);
  void Commit(WPARAM Serial);

private:
  enum class TEditor { None, Text, List, NameOrNumber, Graphic };
  static LRESULT CALLBACK EditorKeys(HWND Window, UINT Message, WPARAM W, LPARAM L, UINT_PTR Id, DWORD_PTR Self);
  static LRESULT CALLBACK RowMouse(HWND Window, UINT Message, WPARAM W, LPARAM L, UINT_PTR Id, DWORD_PTR Self);

  std::vector<Design::TInspectorRow> Rows() const;
  void ShowRows(const std::vector<Design::TInspectorRow>& Rows);
  void ShowComponents();
  // The editor for the chosen row, over its value; none where it takes none.
  void OpenEditor();
  void CloseEditor();
  RECT ValueRect(int Index) const;
  int NameWidth() const;
  const Design::TInspectorRow* Chosen() const;
  std::string EditorText() const;
  void Set(const std::string& Path, const std::string& Value, bool Event);
  void Graphic(int Id);
  void Expand(int Index);

  THost& FHost;
  Design::TDesigner& FDesigner;
  HWND FComponents = nullptr, FTabs = nullptr, FFilter = nullptr, FRows = nullptr, FFault = nullptr;
  HWND FEditor = nullptr;
  HWND FButtons[3] = {};
  HFONT FBold = nullptr;
  TEditor FKind = TEditor::None;
  unsigned FSerial = 0;        // of the editor open now
  std::string FOriginal;       // what the editor showed when opened
  std::string FChosenPath;     // the row chosen, kept across updates
  std::vector<Design::TInspectorRow> FShown;
  std::vector<std::string> FComponentNames;
  std::string FFaultText;
  bool FEvents = false;
};

}  // namespace Lvdesign
