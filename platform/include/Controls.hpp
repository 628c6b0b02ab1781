// The Controls unit: controls, windowed controls and graphic controls.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Classes.hpp"
#include "Graphics.hpp"
#include "Menus.hpp"
#include "Windows.hpp"

namespace Forms { class TCustomForm; }

namespace Controls {

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum TAnchorKind { akLeft, akTop, akRight, akBottom };
using TAnchors = unsigned;  // a set of TAnchorKind, bit n for ordinal n
constexpr TAnchors AnchorSet(std::initializer_list<TAnchorKind> Kinds) {
  TAnchors Set = 0;
  for (TAnchorKind K : Kinds) Set |= 1u << K;
  return Set;
}
using TCursor = int;
// The standard cursors. crSize is the old name of crSizeAll.
constexpr TCursor crDefault = 0, crNone = -1, crArrow = -2, crCross = -3, crIBeam = -4, crSize = -22,
                  crSizeNESW = -6, crSizeNS = -7, crSizeNWSE = -8, crSizeWE = -9, crUpArrow = -10,
                  crHourGlass = -11, crDrag = -12, crNoDrop = -13, crHSplit = -14, crVSplit = -15,
                  crMultiDrag = -16, crSQLWait = -17, crNo = -18, crAppStart = -19, crHelp = -20,
                  crHandPoint = -21, crSizeAll = -22;
enum TDragMode { dmManual, dmAutomatic };
enum TDragKind { dkDrag, dkDock };
enum TDragState { dsDragEnter, dsDragLeave, dsDragMove };
enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TShiftStateKind { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = unsigned;  // a set of TShiftStateKind

class TControl;
class TWinControl;
class TDragObject;
class TDragDockObject;

using TMouseEvent = std::function<void(System::TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(System::TObject* Sender, TShiftState Shift, int X, int Y)>;
using TDragDropEvent = std::function<void(System::TObject* Sender, System::TObject* Source, int X, int Y)>;
using TDragOverEvent = std::function<void(System::TObject* Sender, System::TObject* Source, int X, int Y,
                                          TDragState State, bool& Accept)>;
using TEndDragEvent = std::function<void(System::TObject* Sender, System::TObject* Target, int X, int Y)>;
using TStartDragEvent = std::function<void(System::TObject* Sender, TDragObject*& DragObject)>;
using TStartDockEvent = std::function<void(System::TObject* Sender, TDragDockObject*& DragObject)>;
using TEndDockEvent = TEndDragEvent;

// The least and greatest width and height a control may take, whatever
// sets its size: code, a stored form, alignment or anchors. 0 means none.
class TSizeConstraints : public Classes::TPersistent {
public:
  static const TypInfo::TClassInfo& ClassInfo();
  const TypInfo::TClassInfo& ClassType() const override;
  void Assign(const Classes::TPersistent* Source) override;
  int MaxHeight() const { return FMaxHeight; }
  int MaxWidth() const { return FMaxWidth; }
  int MinHeight() const { return FMinHeight; }
  int MinWidth() const { return FMinWidth; }
  // Negative values count as 0.
  void SetMaxHeight(int Value) { Change(FMaxHeight, Value); }
  void SetMaxWidth(int Value) { Change(FMaxWidth, Value); }
  void SetMinHeight(int Value) { Change(FMinHeight, Value); }
  void SetMinWidth(int Value) { Change(FMinWidth, Value); }
  int ConstrainWidth(int Width) const;
  int ConstrainHeight(int Height) const;
  // Told of every change: the control takes its size within the new bounds.
  std::function<void()> OnChange;

private:
  void Change(int& Field, int Value);
  int FMaxHeight = 0, FMaxWidth = 0, FMinHeight = 0, FMinWidth = 0;
};

class TControl : public Classes::TComponent {
public:
  explicit TControl(Classes::TComponent* AOwner);
  ~TControl() override;
  static const TypInfo::TClassInfo& ClassInfo();
  const TypInfo::TClassInfo& ClassType() const override;

  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  void SetLeft(int Value) { SetBounds(Value, FTop, FWidth, FHeight); }
  void SetTop(int Value) { SetBounds(FLeft, Value, FWidth, FHeight); }
  void SetWidth(int Value) { SetBounds(FLeft, FTop, Value, FHeight); }
  void SetHeight(int Value) { SetBounds(FLeft, FTop, FWidth, Value); }
  // Sizes are kept within the constraints and never negative. A control
  // aligned in its parent keeps its place there: the parent aligns it again.
  virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  Graphics::TRect BoundsRect() const;
  // The area children and painting use, in the control's own coordinates:
  // the whole control, less a form's frame.
  virtual Graphics::TRect ClientRect() const { return {0, 0, FWidth, FHeight}; }
  int ClientWidth() const { return ClientRect().Width(); }
  int ClientHeight() const { return ClientRect().Height(); }

  TWinControl* Parent() const { return FParent; }
  virtual void SetParent(TWinControl* AParent);
  // A stored control is read into the windowed control that holds it.
  bool HasParent() const override { return true; }
  void SetParentComponent(Classes::TComponent* Value) override;

  // Where the parent places the control: along one of its client area's
  // edges, over what the other aligned controls leave, or nowhere (alNone).
  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign Value);
  // The edges of the parent's client area the control keeps its distance
  // to when that area is resized: anchored on both sides of an axis it
  // stretches, on neither it keeps its centre's proportion.
  TAnchors Anchors() const { return FAnchors; }
  void SetAnchors(TAnchors Value);
  TSizeConstraints* Constraints() const { return FConstraints.get(); }
  void SetConstraints(TSizeConstraints* Value);
  TCursor Cursor() const { return FCursor; }
  void SetCursor(TCursor Value) { FCursor = Value; }
  TCursor DragCursor() const { return FDragCursor; }
  void SetDragCursor(TCursor Value) { FDragCursor = Value; }
  TDragKind DragKind() const { return FDragKind; }
  void SetDragKind(TDragKind Value) { FDragKind = Value; }
  TDragMode DragMode() const { return FDragMode; }
  void SetDragMode(TDragMode Value) { FDragMode = Value; }
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  bool Visible() const { return FVisible; }
  void SetVisible(bool Value);
  const std::string& Hint() const { return FHint; }
  void SetHint(const std::string& Value) { FHint = Value; }
  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool Value);
  bool ParentShowHint() const { return FParentShowHint; }
  void SetParentShowHint(bool Value);
  Menus::TPopupMenu* PopupMenu() const { return FPopupMenu; }
  void SetPopupMenu(Menus::TPopupMenu* Value);

  // Storage rules of the published properties. This layer has no action
  // links, so the first three always store.
  bool IsEnabledStored() const { return true; }
  bool IsVisibleStored() const { return true; }
  bool IsOnClickStored() const { return true; }
  bool IsShowHintStored() const { return !FParentShowHint; }

  // Marks the control for painting at the next paint pass.
  virtual void Invalidate();
  // Paints the control into its form's surface at once.
  virtual void Repaint();
  void Refresh() { Repaint(); }
  void Update();

  // The form this control is on, if any.
  Forms::TCustomForm* ParentForm() const;
  // The control's top-left corner in its form's coordinates.
  Graphics::TRect FormRect() const;

  // Mouse input in the control's own coordinates; the form routes it here.
  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseMove(TShiftState Shift, int X, int Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void Click();
  virtual void DblClick();

  System::TNotifyEvent OnClick, OnDblClick;
  TMouseEvent OnMouseDown, OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TDragDropEvent OnDragDrop;
  TDragOverEvent OnDragOver;
  TEndDragEvent OnEndDrag;
  TStartDragEvent OnStartDrag;
  TStartDockEvent OnStartDock;
  TEndDockEvent OnEndDock;

  // Paints the control onto Canvas, whose origin is the form's top-left.
  virtual void PaintTo(Graphics::TCanvas& Canvas) const;
  // Whether painting the control covers every pixel of it, so that what
  // lies beneath need not be painted first.
  bool Opaque() const { return FOpaque; }

protected:
  void SetOpaque(bool Value) { FOpaque = Value; }

protected:
  void Notification(Classes::TComponent* AComponent, Classes::TOperation Operation) override;

private:
  // Where the control was put, and the size of its parent's client area
  // then: what its anchors are measured from.
  struct TAnchorRules {
    int Left = 0, Top = 0, Width = 0, Height = 0;
    int ParentWidth = 0, ParentHeight = 0;
  };
  void UpdateAnchorRules();
  // The bounds the anchors give for the parent's client area now.
  Graphics::TRect AnchoredBounds() const;
  void RequestAlign();

  int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  TAnchorRules FAnchorRules;
  TWinControl* FParent = nullptr;
  TAlign FAlign = alNone;
  TAnchors FAnchors = AnchorSet({akLeft, akTop});
  std::unique_ptr<TSizeConstraints> FConstraints;
  TCursor FCursor = crDefault;
  TCursor FDragCursor = crDrag;
  TDragKind FDragKind = dkDrag;
  TDragMode FDragMode = dmManual;
  bool FEnabled = true;
  bool FVisible = true;
  std::string FHint;
  bool FShowHint = false;
  bool FParentShowHint = true;
  Menus::TPopupMenu* FPopupMenu = nullptr;  // not owned; cleared when it goes
  bool FOpaque = false;
  friend class TWinControl;
};

class TWinControl : public TControl {
public:
  explicit TWinControl(Classes::TComponent* AOwner);
  // Destroys the child controls, then gives up its native window.
  ~TWinControl() override;
  static const TypInfo::TClassInfo& ClassInfo();
  const TypInfo::TClassInfo& ClassType() const override;

  // Created through the operating system on first request.
  Windows::HWND Handle();
  bool HandleAllocated() const { return FHandle != 0; }

  int ControlCount() const { return int(FControls.size()); }
  // The child controls the root owns, in z-order, then what this control
  // holds besides; for the root, what it owns in the order it was made (a
  // form's order), its child controls taking the controls' places in z-order.
  void GetChildren(const std::function<void(Classes::TComponent*)>& Proc, Classes::TComponent* Root) override;
  TControl* Controls(int Index) const { return FControls.at(std::size_t(Index)); }
  // Moves a child control to Order in the z-order (0 the bottom), which is
  // also the order a stored form lists it in.
  void SetChildOrder(Classes::TComponent* Child, int Order);
  // The topmost visible control whose bounds hold the point (in this
  // control's coordinates), or nullptr.
  TControl* ControlAtPos(int X, int Y) const;

  void PaintTo(Graphics::TCanvas& Canvas) const override;

  // Places the aligned children inside the client area: the alTop ones from
  // the top down and the alBottom ones from the bottom up, across the whole
  // width; then alLeft and alRight in the band between; then alClient over
  // what is left. Each group goes by position, then by order among the
  // children. Anchored children follow the client area's size. Called
  // whenever the client area, or an aligned child, changes.
  void AlignControls();
  // Holds alignment back while several children change, then aligns them
  // once, each by where it was put; the calls nest.
  void DisableAlign() { ++FAlignLevel; }
  void EnableAlign();

protected:
  // Makes the native window on the first request for Handle.
  virtual Windows::HWND CreateWindowHandle();
  // Gives the native window up before the control is gone.
  void DestroyHandle();

private:
  friend class TControl;
  void InsertControl(TControl* AControl);
  void RemoveControl(TControl* AControl);

  Windows::HWND FHandle = 0;
  std::vector<TControl*> FControls;  // z-order, bottom first; destroyed with this control
  bool FAligning = false;            // children moved now keep their anchor rules
  int FAlignLevel = 0;               // DisableAlign calls not yet undone
};

// What a stored form holds of a class the host does not have, kept when
// the reader is told to (Classes::TReadAnswer::Keep): a windowed control
// at the place its stored Left, Top, Width and Height give (a small box
// where it has none), painted as a hatched frame, holding what the form
// put inside it as real components. Its class name and every property are
// kept as stored and written back; moving it changes only its place.
class TPlaceholder : public TWinControl {
public:
  using TWinControl::TWinControl;
  static const TypInfo::TClassInfo& ClassInfo();
  const TypInfo::TClassInfo& ClassType() const override;
  // The side of the box a placeholder without a size takes.
  static constexpr int BoxSize = 28;

  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  // Inside a windowed control it is a child control; inside anything else
  // (a menu's items) it is held there, and not shown.
  void SetParentComponent(Classes::TComponent* Value) override;
  // Takes its place from what it keeps, if it has not yet.
  void Loaded() override;
  void PaintTo(Graphics::TCanvas& Canvas) const override;

private:
  void Place();
  bool FPlaced = false;  // since it took its place, a new one is kept
  int FPlace[4] = {};    // its left, top, width and height when last kept
};

// A control without a window of its own: it paints onto its parent's.
class TGraphicControl : public TControl {
public:
  using TControl::TControl;
  static const TypInfo::TClassInfo& ClassInfo();
  const TypInfo::TClassInfo& ClassType() const override;

protected:
  virtual void Paint(Graphics::TCanvas& Canvas, const Graphics::TRect& Rect) const;

public:
  void PaintTo(Graphics::TCanvas& Canvas) const override;
};

}  // namespace Controls
