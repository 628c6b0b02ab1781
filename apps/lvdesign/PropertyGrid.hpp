// The object inspector: the selected component's properties and events,
// one row each, with the editor its kind takes.
#pragma once

#include <string>

#include "Commands.hpp"
#include "Designer.hpp"
#include "Screen.hpp"

namespace Lvdesign {

class TPropertyGrid {
public:
  TPropertyGrid(TScreen& Screen, Design::TDesigner& Designer, TCommands& Commands)
      : FScreen(Screen), FDesigner(Designer), FCommands(Commands) {}
  // Fills the current window. Error is the last edit's fault, shown under
  // the rows until the next edit succeeds.
  void Draw(const std::string& Error);

private:
  // The one field being typed into: what it showed when the user began
  // and what it holds now.
  struct TEdit {
    const Classes::TComponent* Component = nullptr;
    std::string Path, Original, Text;
  };

  void DrawHeader();
  void DrawRows(const std::vector<Design::TInspectorRow>& Rows, bool Events);
  void DrawName(const Design::TInspectorRow& Row);
  void DrawValue(const Design::TInspectorRow& Row);
  // A text field; Commit gets the typed text on Enter or when the field is left.
  bool TextField(const Design::TInspectorRow& Row, const std::string& Shown,
                 const std::function<void(const std::string&)>& Commit, float Width = -1);
  void ChoiceField(const Design::TInspectorRow& Row, const std::vector<std::string>& Choices);
  // A colour or a cursor: its name, or a number typed in, with a list of
  // the names (colours with a swatch each).
  void NameOrNumberField(const Design::TInspectorRow& Row, bool Colour);
  void GraphicField(const Design::TInspectorRow& Row);
  void SetProperty(const std::string& Path, const std::string& Value);

  TScreen& FScreen;
  Design::TDesigner& FDesigner;
  TCommands& FCommands;
  TEdit FEdit;
  std::string FScratch;
  char FFilterText[64] = "";  // only rows whose name holds it are shown
};

}  // namespace Lvdesign
