#include "Forms.hpp"

#include <algorithm>
#include <utility>

#include "Graphics/Dib.hpp"
#include "SysUtils.hpp"
#include "os/Os.hpp"

namespace Forms {

namespace Detail {

// What a form's native window asks of it. What goes wrong in the form's
// event handlers is shown by the application, which goes on.
class TFormWindow : public Os::TWindowClient {
public:
  explicit TFormWindow(TCustomForm& Form) : FForm(Form) {}
  Os::TBitmapImage WindowSurface() override {
    Guarded([&] { FForm.PaintPending(); });
    return Graphics::Detail::NativeImage(FForm.Surface().Image());
  }
  void WindowMouse(TMouse What, int Button, unsigned Shift, int X, int Y) override {
    const auto Pressed = Button == 1 ? Controls::mbRight : Button == 2 ? Controls::mbMiddle : Controls::mbLeft;
    Guarded([&] {
      if (What == TMouse::Down) FForm.MouseDownAt(Pressed, Shift, X, Y);
      if (What == TMouse::Move) FForm.MouseMoveAt(Shift, X, Y);
      if (What == TMouse::Up) FForm.MouseUpAt(Pressed, Shift, X, Y);
    });
  }
  void WindowResized(int Width, int Height) override {
    Guarded([&] { FForm.SetClientSize(Width, Height); });
  }
  void WindowKey(char Key) override {
    Guarded([&] {
      if (FForm.OnKeyPress) FForm.OnKeyPress(&FForm, Key);
    });
  }
  void WindowClose() override {
    Guarded([&] { FForm.Close(); });
  }

private:
  template <class F>
  void Guarded(const F& Handle) {
    try {
      Handle();
    } catch (const std::exception& E) {
      Application->HandleException(&FForm, E);
    }
  }
  TCustomForm& FForm;
};

}  // namespace Detail

using Graphics::TRect;

static TRect Union(const TRect& A, const TRect& B) {
  if (A.Width() <= 0 || A.Height() <= 0) return B;
  if (B.Width() <= 0 || B.Height() <= 0) return A;
  return {std::min(A.Left, B.Left), std::min(A.Top, B.Top), std::max(A.Right, B.Right), std::max(A.Bottom, B.Bottom)};
}

TFormFrame FrameOf(TFormBorderStyle Style) {
  switch (Style) {
    case bsNone: return {0, 0};
    case bsSingle:
    case bsDialog: return {3, 19};
    case bsSizeable: return {4, 19};
    case bsToolWindow: return {3, 16};
    case bsSizeToolWin: return {4, 16};
  }
  return {};
}

TCustomForm::TCustomForm(Classes::TComponent* AOwner)
    : TWinControl(AOwner), FFont(std::make_unique<Graphics::TFont>()) {
  FSurface.SetPixelFormat(Graphics::pf32bit);
  SetVisible(false);
}

// The window goes first: it reports to the form until it is gone.
TCustomForm::~TCustomForm() { DestroyHandle(); }

Windows::HWND TCustomForm::CreateWindowHandle() {
  if (!FWindow) FWindow = std::make_unique<Detail::TFormWindow>(*this);
  Os::TWindowPlace Place;
  if (FPosition == poDesigned) Place = {Os::TWindowPlace::Designed, Left(), Top()};
  if (FPosition == poScreenCenter || FPosition == poMainFormCenter || FPosition == poOwnerFormCenter)
    Place.How = Os::TWindowPlace::Centred;
  const bool Sizeable = FBorderStyle == bsSizeable || FBorderStyle == bsSizeToolWin;
  FWindowed = Os::WindowSystemOpen();
  return Os::CreateFormWindow(*FWindow, FCaption, ClientWidth(), ClientHeight(), Place, Sizeable);
}

void TCustomForm::ShowModal() {
  std::string Why;
  if (!Os::OpenWindowSystem(&Why))
    throw Classes::EComponentError((FCaption.empty() ? Name() : FCaption) + ": cannot show the form: " + Why);
  Show();
  FModal = true;
  struct TDone {
    bool& Modal;
    ~TDone() { Modal = false; }
  } Done{FModal};
  Os::RunMessageLoop();
}

void TCustomForm::ReadFormResource(const std::string& ClassName, const void* AddressInModule) {
  const Windows::HMODULE Module = Os::ModuleOfAddress(AddressInModule);
  // A program's own module serves its resources once it is on the list.
  bool Listed = false;
  for (const SysUtils::TLibModule& Lib : SysUtils::LibModules()) Listed |= Lib.Instance == Module;
  if (!Listed) SysUtils::RegisterModule(AddressInModule);
  std::string Name = ClassName;
  for (char& C : Name) C = C >= 'a' && C <= 'z' ? char(C - 'a' + 'A') : C;
  const auto Data = Windows::FindResourceData(SysUtils::FindResourceHInstance(Module), Name.c_str(), Windows::RT_RCDATA);
  if (Data.empty())
    throw Classes::EResNotFound(ClassName + ": no form resource " + Name + " in " + Os::ModuleFileName(Module));
  Classes::TReadOptions Options;
  Options.SourceName = ClassName;
  Options.BindFields = true;
  Classes::TMemoryStream Stream(std::vector<std::uint8_t>(Data.begin(), Data.end()));
  Stream.ReadComponent(this, Options);
  if (!SysUtils::SameText(StoredClassName(), ClassName))
    throw Classes::EReadError(ClassName + ": the resource " + Name + " holds a " + StoredClassName());
}

void TCustomForm::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  const TRect Before = ClientRect(), Bounds = BoundsRect();
  TWinControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  try {
    ClientResized(Before);
  } catch (...) {
    // A shown form whose surface cannot take the new size keeps the old one.
    const TRect Refused = ClientRect();
    TWinControl::SetBounds(Bounds.Left, Bounds.Top, Bounds.Width(), Bounds.Height());
    ClientResized(Refused);
    throw;
  }
}

void TCustomForm::ClientResized(const TRect& Before) {
  if (ClientRect() == Before) return;
  if (Visible()) FitSurface();
  if (HandleAllocated()) Os::SetFormWindowSize(Handle(), ClientWidth(), ClientHeight());
  if (OnResize) OnResize(this);
}

void TCustomForm::FitSurface() {
  if (FSurface.Width() != ClientWidth() || FSurface.Height() != ClientHeight()) {
    FSurface.Assign(nullptr);  // no need to keep the old pixels while resizing
    FSurface.SetPixelFormat(Graphics::pf32bit);
    FSurface.SetSize(ClientWidth(), ClientHeight());
  }
  FPending = {};
  PaintRect(ClientRect());
}

TRect TCustomForm::ClientRect() const {
  const TFormFrame Frame = FrameOf(FBorderStyle);
  return {0, 0, std::max(0, Width() - 2 * Frame.Border), std::max(0, Height() - 2 * Frame.Border - Frame.Caption)};
}

void TCustomForm::SetClientSize(int AWidth, int AHeight) {
  const TFormFrame Frame = FrameOf(FBorderStyle);
  SetBounds(Left(), Top(), std::max(0, AWidth) + 2 * Frame.Border,
            std::max(0, AHeight) + 2 * Frame.Border + Frame.Caption);
}

void TCustomForm::SetBorderStyle(TFormBorderStyle Value) {
  if (Value == FBorderStyle) return;
  const TRect Before = ClientRect();
  FBorderStyle = Value;
  // The outer size stays: only the client area changes.
  AlignControls();
  ClientResized(Before);
}

void TCustomForm::SetPixelsPerInch(int Value) {
  FPixelsPerInch = Value;
  FFont->SetPixelsPerInch(Value);
}

void TCustomForm::DefineProperties(Classes::TFiler& Filer) {
  TWinControl::DefineProperties(Filer);
  Filer.DefineProperty(
      "PixelsPerInch", [this](Classes::TReader& Reader) { SetPixelsPerInch(int(Reader.ReadInteger())); },
      [this](Classes::TWriter& Writer) { Writer.WriteInteger(FPixelsPerInch); }, true);
  Filer.DefineProperty(
      "TextHeight", [this](Classes::TReader& Reader) { FTextHeight = int(Reader.ReadInteger()); },
      [this](Classes::TWriter& Writer) { Writer.WriteInteger(FTextHeight); }, true);
}

void TCustomForm::Show() {
  SetVisible(true);
  FitSurface();
  if (Os::WindowSystemOpen()) {
    // A handle asked for before there were windows stands for none.
    if (HandleAllocated() && !FWindowed) DestroyHandle();
    Os::ShowFormWindow(Handle(), true);
  }
  if (OnShow) OnShow(this);
}

void TCustomForm::Close() {
  TCloseAction Action = caHide;
  if (OnClose) OnClose(this, Action);
  if (Action == caNone) return;
  Hide();
  if (this == Application->MainForm()) Application->Terminate();
  else if (FModal) Os::QuitMessageLoop();
}

void TCustomForm::Hide() {
  const bool Shown = Visible();
  if (HandleAllocated()) Os::ShowFormWindow(Handle(), false);
  SetVisible(false);
  FSurface.Assign(nullptr);
  FPending = {};
  if (Shown && OnHide) OnHide(this);
}

void TCustomForm::SetCaption(const std::string& Value) {
  FCaption = Value;
  if (HandleAllocated()) Os::SetFormWindowCaption(Handle(), FCaption);
}

void TCustomForm::SetColor(Graphics::TColor Value) {
  FColor = Value;
  Invalidate();
}

void TCustomForm::InvalidateRect(const TRect& Rect) {
  if (Visible()) FPending = Union(FPending, Rect);
}

void TCustomForm::SetDesignGrid(int Step) {
  if (Step == FDesignGrid) return;
  FDesignGrid = std::max(Step, 0);
  InvalidateRect(ClientRect());
}

void TCustomForm::PaintGrid(const TRect& Rect) {
  const TRect Area{std::max(Rect.Left, 0), std::max(Rect.Top, 0), std::min(Rect.Right, FSurface.Width()),
                   std::min(Rect.Bottom, FSurface.Height())};
  const int Step = FDesignGrid;
  for (int Y = (Area.Top + Step - 1) / Step * Step; Y < Area.Bottom; Y += Step) {
    auto* Row = reinterpret_cast<std::uint32_t*>(FSurface.ScanLine(Y));
    for (int X = (Area.Left + Step - 1) / Step * Step; X < Area.Right; X += Step) Row[X] = 0xFF000000;  // opaque black
  }
}

void TCustomForm::PaintRect(const TRect& Rect) {
  if (!Visible()) return;
  Graphics::TCanvas& Canvas = *FSurface.Canvas();
  Canvas.SetClipRect(Rect);
  // Painting starts at the topmost opaque control that covers the whole
  // rectangle: nothing beneath it would show.
  int First = -1;
  for (int I = ControlCount() - 1; I >= 0 && First < 0; --I) {
    const Controls::TControl* C = Controls(I);
    const TRect R = C->FormRect();
    if (C->Visible() && C->Opaque() && R.Left <= Rect.Left && R.Top <= Rect.Top && R.Right >= Rect.Right &&
        R.Bottom >= Rect.Bottom)
      First = I;
  }
  if (First < 0) {
    Canvas.Brush.Color = Graphics::ColorToRGB(FColor);
    Canvas.FillRect(Rect);
    if (FDesignGrid > 0) PaintGrid(Rect);
    First = 0;
  }
  for (int I = First; I < ControlCount(); ++I)
    if (Controls(I)->Visible()) Controls(I)->PaintTo(Canvas);
  Canvas.ClearClipRect();
  ++FPaintCount;
  if (HandleAllocated() && FWindow)
    Os::PresentFormWindow(Handle(), Graphics::Detail::NativeImage(FSurface.Image()), Rect.Left, Rect.Top, Rect.Right, Rect.Bottom);
  if (OnPaint) OnPaint(this);
}

void TCustomForm::PaintPending() {
  if (!PaintPendingRequired()) return;
  const TRect Rect = std::exchange(FPending, TRect{});
  PaintRect(Rect);
}

void TCustomForm::SaveScreenshot(const std::string& FileName) {
  if (!Visible()) throw Classes::EComponentError(FileName + ": cannot take a screenshot of a hidden form");
  Classes::TFileWriter File(FileName);
  SaveScreenshot(File);
  File.Commit();
}

void TCustomForm::SaveScreenshot(Classes::TFileWriter& File) {
  if (!Visible()) throw Classes::EComponentError(File.FileName() + ": cannot take a screenshot of a hidden form");
  PaintPending();
  Graphics::TBitmap Shot;
  Shot.Assign(&FSurface);
  Shot.SetPixelFormat(Graphics::pf24bit);
  Shot.SaveToFile(File);
}

Controls::TControl* TCustomForm::Target(int X, int Y, int& LocalX, int& LocalY) {
  Controls::TControl* Hit = this;
  LocalX = X;
  LocalY = Y;
  for (auto* Win = static_cast<Controls::TWinControl*>(this); Win;) {
    Controls::TControl* Child = Win->ControlAtPos(LocalX, LocalY);
    if (!Child || !Child->Enabled()) break;
    LocalX -= Child->Left();
    LocalY -= Child->Top();
    Hit = Child;
    Win = dynamic_cast<Controls::TWinControl*>(Child);
  }
  return Hit;
}

void TCustomForm::MouseDownAt(Controls::TMouseButton Button, Controls::TShiftState Shift, int X, int Y) {
  int LX, LY;
  Controls::TControl* Hit = Target(X, Y, LX, LY);
  if (Button == Controls::mbLeft) {
    if (FPressed) RemoveFreeNotification(FPressed);
    FPressed = Hit;
    FreeNotification(FPressed);
  }
  Hit->MouseDown(Button, Shift, LX, LY);
}

void TCustomForm::MouseMoveAt(Controls::TShiftState Shift, int X, int Y) {
  int LX, LY;
  Target(X, Y, LX, LY)->MouseMove(Shift, LX, LY);
}

void TCustomForm::MouseUpAt(Controls::TMouseButton Button, Controls::TShiftState Shift, int X, int Y) {
  int LX, LY;
  Controls::TControl* Hit = Target(X, Y, LX, LY);
  Hit->MouseUp(Button, Shift, LX, LY);
  if (Button != Controls::mbLeft) return;
  Controls::TControl* Pressed = std::exchange(FPressed, nullptr);
  if (Pressed) RemoveFreeNotification(Pressed);
  if (Pressed == Hit) Hit->Click();
}

void TCustomForm::ClickAt(int X, int Y) {
  MouseDownAt(Controls::mbLeft, 1u << Controls::ssLeft, X, Y);
  MouseUpAt(Controls::mbLeft, 0, X, Y);
}

void TCustomForm::DoubleClickAt(int X, int Y) {
  ClickAt(X, Y);
  int LX, LY;
  Target(X, Y, LX, LY)->DblClick();
}

void TCustomForm::Notification(Classes::TComponent* AComponent, Classes::TOperation Operation) {
  TWinControl::Notification(AComponent, Operation);
  if (Operation == Classes::TOperation::opRemove && AComponent == FPressed) FPressed = nullptr;
}

}  // namespace Forms
