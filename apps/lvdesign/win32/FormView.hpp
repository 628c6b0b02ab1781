// The form being designed: the model's view of its client area inside a
// frame with the form's caption, in a scrollable child window; the mouse
// and keys that edit it, and its right-click menu.
#pragma once

#include <chrono>
#include <cstdint>
#include <fstream>
#include <vector>

#include "Host.hpp"

namespace Lvdesign {

class TFormView {
public:
  TFormView(THost& Host, Design::TDesigner& Designer);
  HWND Handle() const { return FWindow; }
  // After any change: repaints when the view changed, and sets the scroll range.
  void Update();
  bool Dragging() const { return FDragging; }
  // Whether the form's own edge or corner is being dragged.
  bool SizingForm() const;

  // Its window's, through ObjectProcedure.
  void Attach(HWND Window) { FWindow = Window; }
  LRESULT Handle(UINT Message, WPARAM W, LPARAM L);

private:
  void Paint();
  // A point of this window at the form's client coordinates.
  POINT ToForm(LPARAM L) const;
  void Scroll(int Bar, int Request, int Lines = 1);
  void ContextMenu(POINT Form, POINT Screen);
  void Key(WPARAM Key);
  void EndDrag(POINT At);

  // Where the view differs from what was shown last, at this window's
  // coordinates; empty where nothing does. Keeps what is shown now.
  RECT Changed();

  THost& FHost;
  Design::TDesigner& FDesigner;
  HWND FWindow = nullptr;
  unsigned FVersion = 0;
  // The view as shown last, to repaint only what changed: a drag step
  // changes a few small rectangles of a large form.
  std::vector<std::uint32_t> FShown;
  int FShownWidth = 0, FShownHeight = 0;
  std::string FShownCaption;
  SIZE FRange{-1, -1};
  RECT FPage{};
  int FScrollX = 0, FScrollY = 0;
  bool FDragging = false;
  Design::TGrab FDragGrab = Design::TGrab::None;  // what the press grabbed
  POINT FLast{};                                   // where the mouse was last seen in a drag
  // Each drag step's time, from the move to the view painted, in
  // milliseconds, when LVDESIGN_FRAME_TIMES names a file.
  std::ofstream FFrameTimes;
};

}  // namespace Lvdesign
