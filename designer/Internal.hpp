// What the design host's parts share and no window needs: the grid, how
// forms are read for designing, and the kinds of property the inspector
// and the picture edits tell apart.
#pragma once

#include <algorithm>
#include <cctype>
#include <string>

#include "Designer.hpp"
#include "History.hpp"

namespace Design {

// The nearest grid point.
inline int Snap(int Value) {
  const int Step = TDesigner::GridStep;
  const int Down = Value >= 0 ? Value / Step * Step : -((-Value + Step - 1) / Step * Step);
  return Value - Down >= Step / 2 ? Down + Step : Down;
}

// How a form is read for designing: handlers keep their names without
// code, and each fault is asked about until Ignore All or Keep All answers the rest.
Classes::TReadOptions Reading(const TAskIgnore& Ask);
// For what the form itself stored (its states, components copied from it):
// what it kept when it was opened, placeholders of the classes Kept and
// stored values, is kept again; any other class is refused.
Classes::TReadOptions Restoring(const std::vector<std::string>& Kept);

// The form's stored state, and a new form read from one: the reader's
// faults raise EReadError, and nothing is left of the new form then.
TState StateOf(const Forms::TForm& Form);
std::unique_ptr<Forms::TForm> ReadState(const TState& State, const std::vector<std::string>& Kept);

bool IsGraphic(const TypInfo::TPropInfo& Info);
bool IsReference(const TypInfo::TPropInfo& Info);
bool HasGraphic(const System::TObject* Object);

// A drag in progress: placing, moving or resizing a control, or the form.
struct TDesigner::TDrag {
  enum { Place, Move, Size, SizeForm } What = Move;
  int StartX = 0, StartY = 0, X = 0, Y = 0;
  TGrab Grab = TGrab::None;
  // Whether the pointer has left the press: a click on a handle or an
  // edge sizes nothing.
  bool Moved = false;
  std::vector<Graphics::TRect> Before;  // of the selected controls
};

}  // namespace Design
