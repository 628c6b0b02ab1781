#include "Controls.hpp"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <utility>

#include "Forms.hpp"
#include "os/Os.hpp"

namespace Controls {

using Graphics::TRect;

// ---- TSizeConstraints ------------------------------------------------------

void TSizeConstraints::Assign(const Classes::TPersistent* Source) {
  if (const auto* Other = dynamic_cast<const TSizeConstraints*>(Source)) {
    FMaxHeight = Other->FMaxHeight;
    FMaxWidth = Other->FMaxWidth;
    FMinHeight = Other->FMinHeight;
    FMinWidth = Other->FMinWidth;
    if (OnChange) OnChange();
    return;
  }
  TPersistent::Assign(Source);
}

void TSizeConstraints::Change(int& Field, int Value) {
  Value = std::max(Value, 0);
  if (Value == Field) return;
  Field = Value;
  if (OnChange) OnChange();
}

static int Constrain(int Value, int Min, int Max) {
  if (Max > 0) Value = std::min(Value, Max);
  if (Min > 0) Value = std::max(Value, Min);
  return Value;
}
int TSizeConstraints::ConstrainWidth(int Width) const { return Constrain(Width, FMinWidth, FMaxWidth); }
int TSizeConstraints::ConstrainHeight(int Height) const { return Constrain(Height, FMinHeight, FMaxHeight); }

// ---- TControl --------------------------------------------------------------

TControl::TControl(Classes::TComponent* AOwner)
    : TComponent(AOwner), FConstraints(std::make_unique<TSizeConstraints>()) {
  FConstraints->OnChange = [this] { SetBounds(FLeft, FTop, FWidth, FHeight); };
}

TControl::~TControl() {
  SetPopupMenu(nullptr);
  if (FParent) FParent->RemoveControl(this);
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  AWidth = std::max(0, FConstraints->ConstrainWidth(AWidth));
  AHeight = std::max(0, FConstraints->ConstrainHeight(AHeight));
  if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight) return;
  const TRect ClientBefore = ClientRect();
  // Both the old place and the new one need painting.
  Invalidate();
  FLeft = ALeft;
  FTop = ATop;
  FWidth = AWidth;
  FHeight = AHeight;
  Invalidate();
  // Placed by its parent's alignment, the control keeps its anchor rules;
  // placed by anyone else, it is measured afresh, and an aligned one is
  // put back in its place.
  if (FParent && !FParent->FAligning) {
    UpdateAnchorRules();
    if (FAlign != alNone) RequestAlign();
  }
  if (auto* Holder = dynamic_cast<TWinControl*>(this); Holder && !(ClientRect() == ClientBefore))
    Holder->AlignControls();
}

void TControl::UpdateAnchorRules() {
  FAnchorRules = {FLeft, FTop, FWidth, FHeight, FParent ? FParent->ClientWidth() : 0,
                  FParent ? FParent->ClientHeight() : 0};
}

namespace {
int Saturate(std::int64_t V) { return int(std::clamp<std::int64_t>(V, INT_MIN, INT_MAX)); }

// One axis of the anchor rules: the start and length the control takes in
// a parent of length Parent, having had Start and Length in one of length
// Before.
std::pair<int, int> Anchored(bool Near, bool Far, int Start, int Length, int Before, int Parent) {
  const std::int64_t Grown = std::int64_t(Parent) - Before;
  if (Near && Far) return {Start, Saturate(std::max<std::int64_t>(0, Length + Grown))};
  if (Far) return {Saturate(Start + Grown), Length};
  if (Near || Before <= 0) return {Start, Length};
  const std::int64_t Centre = (std::int64_t(Start) * 2 + Length) * Parent / Before;  // twice the centre
  return {Saturate((Centre - Length) / 2), Length};
}
}  // namespace

TRect TControl::AnchoredBounds() const {
  const auto [Left, Width] = Anchored(FAnchors & 1u << akLeft, FAnchors & 1u << akRight, FAnchorRules.Left,
                                      FAnchorRules.Width, FAnchorRules.ParentWidth, FParent->ClientWidth());
  const auto [Top, Height] = Anchored(FAnchors & 1u << akTop, FAnchors & 1u << akBottom, FAnchorRules.Top,
                                      FAnchorRules.Height, FAnchorRules.ParentHeight, FParent->ClientHeight());
  return {Left, Top, Saturate(std::int64_t(Left) + Width), Saturate(std::int64_t(Top) + Height)};
}

void TControl::RequestAlign() {
  if (FParent) FParent->AlignControls();
}

void TControl::SetParent(TWinControl* AParent) {
  if (AParent == FParent) return;
  for (TWinControl* P = AParent; P; P = P->Parent())
    if (P == this) throw Classes::EComponentError("Control " + Name() + " cannot be its own parent");
  if (FParent) {
    Invalidate();
    FParent->RemoveControl(this);
  }
  if (AParent) {
    AParent->InsertControl(this);
    Invalidate();
  }
}

void TControl::SetAlign(TAlign Value) {
  if (Value == FAlign) return;
  FAlign = Value;
  UpdateAnchorRules();
  RequestAlign();
}

void TControl::SetAnchors(TAnchors Value) {
  if (Value == FAnchors) return;
  FAnchors = Value;
  UpdateAnchorRules();
}

void TControl::SetConstraints(TSizeConstraints* Value) { FConstraints->Assign(Value); }

void TControl::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  FEnabled = Value;
  Invalidate();
}

void TControl::SetVisible(bool Value) {
  if (Value == FVisible) return;
  // Invalidate while visible, so that hiding repaints what was under it.
  if (FVisible) Invalidate();
  FVisible = Value;
  Invalidate();
  if (FAlign != alNone) RequestAlign();
}

void TControl::SetShowHint(bool Value) {
  FShowHint = Value;
  FParentShowHint = false;
}

void TControl::SetParentShowHint(bool Value) {
  FParentShowHint = Value;
  if (Value && FParent) FShowHint = FParent->ShowHint();
}

void TControl::SetPopupMenu(Menus::TPopupMenu* Value) {
  if (Value == FPopupMenu) return;
  if (FPopupMenu) RemoveFreeNotification(FPopupMenu);
  FPopupMenu = Value;
  if (FPopupMenu) FreeNotification(FPopupMenu);
}

void TControl::Notification(Classes::TComponent* AComponent, Classes::TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == Classes::TOperation::opRemove && AComponent == FPopupMenu) FPopupMenu = nullptr;
}

Forms::TCustomForm* TControl::ParentForm() const {
  const TControl* Top = this;
  while (Top->FParent) Top = Top->FParent;
  return dynamic_cast<Forms::TCustomForm*>(const_cast<TControl*>(Top));
}

namespace {
// A rectangle whose edges may lie past the int range, held at its ends:
// a control may be placed anywhere, and nothing beyond the range is drawn.
TRect Saturated(std::int64_t Left, std::int64_t Top, std::int64_t Right, std::int64_t Bottom) {
  return {Saturate(Left), Saturate(Top), Saturate(Right), Saturate(Bottom)};
}
}  // namespace

TRect TControl::BoundsRect() const {
  return Saturated(FLeft, FTop, std::int64_t(FLeft) + FWidth, std::int64_t(FTop) + FHeight);
}

TRect TControl::FormRect() const {
  std::int64_t X = FLeft, Y = FTop;
  if (dynamic_cast<const Forms::TCustomForm*>(this)) X = Y = 0;
  for (const TWinControl* P = FParent; P && !dynamic_cast<const Forms::TCustomForm*>(P); P = P->Parent()) {
    X += P->Left();
    Y += P->Top();
  }
  return Saturated(X, Y, X + FWidth, Y + FHeight);
}

void TControl::Invalidate() {
  if (!FVisible) return;
  if (Forms::TCustomForm* Form = ParentForm()) Form->InvalidateRect(FormRect());
}

void TControl::Repaint() {
  if (!FVisible) return;
  if (Forms::TCustomForm* Form = ParentForm()) Form->PaintRect(FormRect());
}

void TControl::Update() {
  if (Forms::TCustomForm* Form = ParentForm()) Form->PaintPending();
}

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
  if (Button == mbRight && FPopupMenu) {
    const TRect R = FormRect();
    FPopupMenu->Popup(R.Left + X, R.Top + Y);
  }
}

void TControl::MouseMove(TShiftState Shift, int X, int Y) {
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}

void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TControl::PaintTo(Graphics::TCanvas&) const {}

// ---- TWinControl -----------------------------------------------------------

TWinControl::TWinControl(Classes::TComponent* AOwner) : TControl(AOwner) {}

TWinControl::~TWinControl() {
  while (!FControls.empty()) {
    TControl* Child = FControls.back();
    RemoveControl(Child);
    delete Child;
  }
  if (FHandle) Os::DestroyHandle(FHandle);
}

Windows::HWND TWinControl::Handle() {
  if (!FHandle) FHandle = CreateWindowHandle();
  return FHandle;
}

Windows::HWND TWinControl::CreateWindowHandle() { return Os::CreateHandle(Os::THandleKind::Window); }

void TWinControl::DestroyHandle() {
  if (FHandle) Os::DestroyHandle(std::exchange(FHandle, 0));
}

void TWinControl::InsertControl(TControl* AControl) {
  FControls.push_back(AControl);
  AControl->FParent = this;
  if (AControl->FParentShowHint) AControl->FShowHint = ShowHint();
  AControl->UpdateAnchorRules();
  if (AControl->Align() != alNone) AlignControls();
}

void TWinControl::RemoveControl(TControl* AControl) {
  FControls.erase(std::remove(FControls.begin(), FControls.end(), AControl), FControls.end());
  AControl->FParent = nullptr;
  if (AControl->Align() != alNone) AlignControls();
}

void TWinControl::EnableAlign() {
  if (FAlignLevel > 0 && --FAlignLevel == 0) AlignControls();
}

void TWinControl::AlignControls() {
  if (FAligning || FAlignLevel > 0) return;
  FAligning = true;
  struct TDone {
    bool& Flag;
    ~TDone() { Flag = false; }
  } Done{FAligning};
  const TRect Client = ClientRect();
  for (TControl* C : FControls)
    if (C->FAlign == alNone && C->FAnchors != AnchorSet({akLeft, akTop})) {
      const TRect R = C->AnchoredBounds();
      C->SetBounds(R.Left, R.Top, R.Width(), R.Height());
    }
  // What the aligned controls have not taken yet; edges may pass each other
  // when they take more than there is, and sizes then stop at 0.
  std::int64_t Left = Client.Left, Top = Client.Top, Right = Client.Right, Bottom = Client.Bottom;
  const auto Across = [&] { return Saturate(std::max<std::int64_t>(0, Right - Left)); };
  const auto Down = [&] { return Saturate(std::max<std::int64_t>(0, Bottom - Top)); };
  for (TAlign Kind : {alTop, alBottom, alLeft, alRight, alClient}) {
    std::vector<TControl*> Group;
    for (TControl* C : FControls)
      if (C->FAlign == Kind && C->FVisible) Group.push_back(C);
    // The one nearest its edge goes first.
    const auto Key = [Kind](const TControl* C) -> std::int64_t {
      switch (Kind) {
        case alTop: return C->FTop;
        case alBottom: return -(std::int64_t(C->FTop) + C->FHeight);
        case alLeft: return C->FLeft;
        case alRight: return -(std::int64_t(C->FLeft) + C->FWidth);
        default: return 0;
      }
    };
    std::stable_sort(Group.begin(), Group.end(), [&](const TControl* A, const TControl* B) { return Key(A) < Key(B); });
    for (TControl* C : Group) {
      switch (Kind) {
        case alTop:
          C->SetBounds(Saturate(Left), Saturate(Top), Across(), C->FHeight);
          Top += C->FHeight;
          break;
        case alBottom:
          C->SetBounds(Saturate(Left), Saturate(Bottom - C->FHeight), Across(), C->FHeight);
          C->SetTop(Saturate(Bottom - C->FHeight));  // its constrained height
          Bottom -= C->FHeight;
          break;
        case alLeft:
          C->SetBounds(Saturate(Left), Saturate(Top), C->FWidth, Down());
          Left += C->FWidth;
          break;
        case alRight:
          C->SetBounds(Saturate(Right - C->FWidth), Saturate(Top), C->FWidth, Down());
          C->SetLeft(Saturate(Right - C->FWidth));
          Right -= C->FWidth;
          break;
        default:
          C->SetBounds(Saturate(Left), Saturate(Top), Across(), Down());
          break;
      }
    }
  }
}

void TWinControl::SetChildOrder(Classes::TComponent* Child, int Order) {
  const auto At = std::find(FControls.begin(), FControls.end(), Child);
  if (At == FControls.end()) return;
  TControl* Control = *At;
  FControls.erase(At);
  FControls.insert(FControls.begin() + std::clamp<std::ptrdiff_t>(Order, 0, std::ptrdiff_t(FControls.size())), Control);
  Control->Invalidate();
}

TControl* TWinControl::ControlAtPos(int X, int Y) const {
  for (auto It = FControls.rbegin(); It != FControls.rend(); ++It) {
    const TControl* C = *It;
    if (const TRect R = C->BoundsRect(); C->Visible() && X >= R.Left && Y >= R.Top && X < R.Right && Y < R.Bottom)
      return *It;
  }
  return nullptr;
}

void TWinControl::PaintTo(Graphics::TCanvas& Canvas) const {
  for (const TControl* Child : FControls)
    if (Child->Visible()) Child->PaintTo(Canvas);
}

// ---- TGraphicControl -------------------------------------------------------

void TGraphicControl::Paint(Graphics::TCanvas&, const TRect&) const {}

void TGraphicControl::PaintTo(Graphics::TCanvas& Canvas) const {
  // Painting stays inside the control's bounds.
  const TRect R = FormRect();
  const TRect Outer = Canvas.ClipRect();
  Canvas.SetClipRect({std::max(R.Left, Outer.Left), std::max(R.Top, Outer.Top), std::min(R.Right, Outer.Right),
                      std::min(R.Bottom, Outer.Bottom)});
  Paint(Canvas, R);
  Canvas.SetClipRect(Outer);
}

void TControl::SetParentComponent(Classes::TComponent* Value) {
  auto* Holder = dynamic_cast<TWinControl*>(Value);
  // Only a windowed control holds others: one given to anything else would
  // belong to nothing on the form and be lost when it is stored.
  if (Value && !Holder)
    throw Classes::EComponentError((Value->Name().empty() ? "a " + Value->ClassName() : Value->Name() + " (a " + Value->ClassName() + ")") +
                                   " cannot hold other controls");
  if (Holder) SetParent(Holder);
}

void TWinControl::GetChildren(const std::function<void(Classes::TComponent*)>& Proc, Classes::TComponent* Root) {
  std::vector<TControl*> Controls;
  for (TControl* Control : FControls)
    if (Control->Owner() == Root) Controls.push_back(Control);
  if (Root != this) {
    for (TControl* Control : Controls) Proc(Control);
    return TComponent::GetChildren(Proc, Root);
  }
  // The root's in the order they were made, which is the order its form
  // listed them in, with its controls in their z-order in the controls'
  // places: a form comes back as it was read, components without a
  // parent among the controls where they stood.
  std::vector<Classes::TComponent*> Order;
  std::size_t Next = 0;
  for (int I = 0; I < ComponentCount(); ++I) {
    Classes::TComponent* Owned = Components(I);
    if (Owned->Holder()) continue;
    if (const auto* Control = dynamic_cast<const TControl*>(Owned)) {
      if (Control->Parent() == this && Next < Controls.size()) Order.push_back(Controls[Next++]);
    } else if (!Owned->HasParent()) {
      Order.push_back(Owned);
    }
  }
  for (Classes::TComponent* Child : Order) Proc(Child);
  // What the root holds besides.
  TComponent::GetChildren([&](Classes::TComponent* Child) {
    if (Child->Holder() == this) Proc(Child);
  }, Root);
}

}  // namespace Controls
