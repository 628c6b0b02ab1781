// The mouse tool: a press on the form places the palette's class, grabs a
// handle or the form's edge, or selects and drags controls; the release
// makes what the drag did one step.
#include <cstdlib>

#include "Internal.hpp"

namespace Design {

using Controls::TControl;
using Graphics::TRect;

namespace {
constexpr int Reach = TDesigner::HandleSize / 2 + 1;  // how near a handle a press takes it
}

TGrab TDesigner::GrabAt(int X, int Y) const {
  if (FSelection.size() == 1 && FSelection.front() != FForm.get())
    if (const auto* Control = dynamic_cast<const TControl*>(FSelection.front())) {
      const TRect R = Control->FormRect();
      const int MidX = (R.Left + R.Right) / 2, MidY = (R.Top + R.Bottom) / 2;
      const std::pair<TGrab, std::pair<int, int>> Handles[] = {
          {TGrab::TopLeft, {R.Left, R.Top}},   {TGrab::Top, {MidX, R.Top}},         {TGrab::TopRight, {R.Right, R.Top}},
          {TGrab::Right, {R.Right, MidY}},     {TGrab::BottomRight, {R.Right, R.Bottom}},
          {TGrab::Bottom, {MidX, R.Bottom}},   {TGrab::BottomLeft, {R.Left, R.Bottom}}, {TGrab::Left, {R.Left, MidY}}};
      for (const auto& [Grab, At] : Handles)
        if (std::abs(X - At.first) <= Reach && std::abs(Y - At.second) <= Reach) return Grab;
    }
  // The form's right and bottom edges, a few pixels either side.
  const int Width = FForm->ClientWidth(), Height = FForm->ClientHeight();
  const bool Right = std::abs(X - Width) <= Reach && Y >= 0 && Y <= Height + Reach;
  const bool Bottom = std::abs(Y - Height) <= Reach && X >= 0 && X <= Width + Reach;
  return Right && Bottom ? TGrab::FormCorner : Right ? TGrab::FormRight : Bottom ? TGrab::FormBottom : TGrab::None;
}

void TDesigner::MouseDown(int X, int Y, bool Shift) {
  FDrag.reset();
  TDrag Drag;
  Drag.StartX = Drag.X = X, Drag.StartY = Drag.Y = Y;
  const TGrab Grab = FTool ? TGrab::None : GrabAt(X, Y);
  if (FTool) {
    Drag.What = TDrag::Place;
  } else if (Grab == TGrab::FormRight || Grab == TGrab::FormBottom || Grab == TGrab::FormCorner) {
    Drag.What = TDrag::SizeForm, Drag.Grab = Grab;
  } else if (Grab != TGrab::None) {
    Drag.What = TDrag::Size, Drag.Grab = Grab;
  } else if (TControl* Control = ControlAt(X, Y)) {
    if (Shift) {
      Select(Control, true);
      return;
    }
    if (!IsSelected(Control)) Select(Control);
    Drag.What = TDrag::Move;
  } else {
    if (!Shift) Select(nullptr);
    return;
  }
  for (TControl* C : SelectedControls()) Drag.Before.push_back(C->BoundsRect());
  FDrag = std::make_unique<TDrag>(Drag);
  ++FViewVersion;
}

void TDesigner::MouseMove(int X, int Y) {
  if (!FDrag) return;
  FDrag->X = X, FDrag->Y = Y;
  FDrag->Moved = FDrag->Moved || X != FDrag->StartX || Y != FDrag->StartY;
  if (!FDrag->Moved) return;
  const std::vector<TControl*> Controls = SelectedControls();
  if (FDrag->What == TDrag::Move && Controls.size() == FDrag->Before.size()) {
    const int DX = Snap(X - FDrag->StartX), DY = Snap(Y - FDrag->StartY);
    for (std::size_t I = 0; I < Controls.size(); ++I) {
      const TRect& R = FDrag->Before[I];
      if (Controls[I] != FForm.get()) Controls[I]->SetBounds(R.Left + DX, R.Top + DY, R.Width(), R.Height());
    }
  } else if (FDrag->What == TDrag::Size && Controls.size() == 1 && FDrag->Before.size() == 1) {
    TControl* Control = Controls.front();
    TRect R = FDrag->Before.front();
    const TRect Origin = Control->Parent() && Control->Parent() != FForm.get() ? Control->Parent()->FormRect() : TRect{};
    const int GX = Snap(X) - Origin.Left, GY = Snap(Y) - Origin.Top;
    const TGrab G = FDrag->Grab;
    if (G == TGrab::Left || G == TGrab::TopLeft || G == TGrab::BottomLeft) R.Left = std::min(GX, R.Right);
    if (G == TGrab::Right || G == TGrab::TopRight || G == TGrab::BottomRight) R.Right = std::max(GX, R.Left);
    if (G == TGrab::Top || G == TGrab::TopLeft || G == TGrab::TopRight) R.Top = std::min(GY, R.Bottom);
    if (G == TGrab::Bottom || G == TGrab::BottomLeft || G == TGrab::BottomRight) R.Bottom = std::max(GY, R.Top);
    Control->SetBounds(R.Left, R.Top, R.Width(), R.Height());
  } else if (FDrag->What == TDrag::SizeForm) {
    // The form keeps at least a grid step a side, and sizes by whole steps.
    const int Width = FDrag->Grab == TGrab::FormBottom ? FForm->ClientWidth() : std::max(Snap(X), GridStep);
    const int Height = FDrag->Grab == TGrab::FormRight ? FForm->ClientHeight() : std::max(Snap(Y), GridStep);
    const Graphics::TImageLimits Limits = Graphics::GetImageLimits();
    if (Width <= Limits.MaxSide && Height <= Limits.MaxSide) FForm->SetClientSize(Width, Height);
  }
  ++FViewVersion;
}

void TDesigner::MouseUp(int X, int Y) {
  if (!FDrag) return;
  MouseMove(X, Y);
  const TDrag Drag = *FDrag;
  FDrag.reset();
  ++FViewVersion;
  if (Drag.What == TDrag::Place) {
    const int Left = std::min(Drag.StartX, X), Top = std::min(Drag.StartY, Y);
    const int Width = std::abs(X - Drag.StartX), Height = std::abs(Y - Drag.StartY);
    // A press and release within a few pixels is a click: the class's own size.
    if (Width < GridStep / 2 && Height < GridStep / 2) Place(FTool, Drag.StartX, Drag.StartY);
    else Place(FTool, Left, Top, Width, Height);
    return;
  }
  // The drag changed the form as it went: the step is what it made. A
  // click that moved nothing is no step, and costs no look at the form.
  std::vector<TRect> After;
  for (TControl* C : SelectedControls()) After.push_back(C->BoundsRect());
  if (Drag.What != TDrag::SizeForm && After == Drag.Before) return;
  const char* Label = Drag.What == TDrag::Move ? "Move" : Drag.What == TDrag::Size ? "Size" : "Size Form";
  Edit(Label, "", [] {});
}

}  // namespace Design
