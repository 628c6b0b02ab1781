// The Forms unit: top-level windows that own the surface their controls
// paint into.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <typeinfo>

#include "Controls.hpp"
#include "Graphics.hpp"

namespace Forms {

namespace Detail { class TFormWindow; }

enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
using TBorderIcons = unsigned;  // a set of TBorderIcon, bit n for ordinal n
enum TPosition {
  poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter, poMainFormCenter, poOwnerFormCenter
};
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TWindowState { wsNormal, wsMinimized, wsMaximized };
enum TCloseAction { caNone, caHide, caFree, caMinimize };
using TCloseEvent = std::function<void(System::TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(System::TObject* Sender, bool& CanClose)>;
using TKeyEvent = std::function<void(System::TObject* Sender, std::uint16_t& Key, Controls::TShiftState Shift)>;
using TKeyPressEvent = std::function<void(System::TObject* Sender, char& Key)>;

// The frame a window of a border style has around its client area, in the
// classic metrics: a form's Width and Height are its outer size, as on the
// screen, and ClientWidth and ClientHeight what is inside the frame.
struct TFormFrame {
  int Border = 0;   // each side
  int Caption = 0;  // the title bar, above the client area
};
TFormFrame FrameOf(TFormBorderStyle Style);

class TCustomForm : public Controls::TWinControl {
public:
  explicit TCustomForm(Classes::TComponent* AOwner);
  ~TCustomForm() override;
  static const TypInfo::TClassInfo& ClassInfo();
  const TypInfo::TClassInfo& ClassType() const override;

  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  Graphics::TRect ClientRect() const override;
  void SetClientSize(int AWidth, int AHeight);
  void SetClientWidth(int Value) { SetClientSize(Value, ClientHeight()); }
  void SetClientHeight(int Value) { SetClientSize(ClientWidth(), Value); }
  // Titles the form's window.
  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& Value);
  // Fills the client area where no control covers it.
  Graphics::TColor Color() const { return FColor; }
  void SetColor(Graphics::TColor Value);
  Graphics::TFont* Font() const { return FFont.get(); }
  void SetFont(Graphics::TFont* Value) { FFont->Assign(Value); }
  // Changing the frame keeps the outer size, as the window does.
  TFormBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TFormBorderStyle Value);
  TPosition Position() const { return FPosition; }
  void SetPosition(TPosition Value) { FPosition = Value; }
  // Width and Height are stored while the form scrolls, ClientWidth and
  // ClientHeight otherwise, as the framework stores them.
  bool AutoScroll() const { return FAutoScroll; }
  void SetAutoScroll(bool Value) { FAutoScroll = Value; }
  bool IsFormSizeStored() const { return FAutoScroll; }
  bool IsClientSizeStored() const { return !FAutoScroll; }
  int PixelsPerInch() const { return FPixelsPerInch; }
  void SetPixelsPerInch(int Value);
  // The height of the font's text when the form was designed; kept and
  // stored, since nothing measures text here.
  int TextHeight() const { return FTextHeight; }
  void SetTextHeight(int Value) { FTextHeight = Value; }
  void DefineProperties(Classes::TFiler& Filer) override;

  // Kept and stored for the program the form belongs to; nothing here acts
  // on them. A form shows through Show, whatever Visible says.
  TBorderIcons BorderIcons() const { return FBorderIcons; }
  void SetBorderIcons(TBorderIcons Value) { FBorderIcons = Value; }
  TFormStyle FormStyle() const { return FFormStyle; }
  void SetFormStyle(TFormStyle Value) { FFormStyle = Value; }
  TWindowState WindowState() const { return FWindowState; }
  void SetWindowState(TWindowState Value) { FWindowState = Value; }
  bool StoredVisible() const { return FStoredVisible; }
  void SetStoredVisible(bool Value) { FStoredVisible = Value; }
  bool KeyPreview() const { return FKeyPreview; }
  void SetKeyPreview(bool Value) { FKeyPreview = Value; }
  bool Scaled() const { return FScaled; }
  void SetScaled(bool Value) { FScaled = Value; }
  bool OldCreateOrder() const { return FOldCreateOrder; }
  void SetOldCreateOrder(bool Value) { FOldCreateOrder = Value; }
  int HelpContext() const { return FHelpContext; }
  void SetHelpContext(int Value) { FHelpContext = Value; }

  // At design time the form shows the grid its components snap to: a
  // black dot every Step pixels on its background; 0 shows none.
  int DesignGrid() const { return FDesignGrid; }
  void SetDesignGrid(int Step);

  // A form starts hidden. A hidden form paints nothing and keeps no surface;
  // showing it paints it whole.
  void Show();
  void Hide();
  // Shows the form in a window of its own and handles the user's input
  // until it is closed. Opens the window system first: where there is no
  // display, raises EComponentError saying so.
  void ShowModal();
  // Hides the form, as closing its window does, and ends ShowModal; closing
  // the application's main form ends the application.
  void Close();

  // The 32-bit surface the controls paint into; a window backend shows it.
  const Graphics::TBitmap& Surface() const { return FSurface; }
  // Paints the part of the surface that Rect (form coordinates) covers:
  // the background, then every visible control over it, bottom first.
  void PaintRect(const Graphics::TRect& Rect);
  void InvalidateRect(const Graphics::TRect& Rect);
  // Paints whatever was invalidated since the last paint pass.
  void PaintPending();
  bool PaintPendingRequired() const { return FPending.Width() > 0 && FPending.Height() > 0; }
  int PaintCount() const { return FPaintCount; }

  // Saves what the form shows, after painting anything pending. The form
  // must be shown.
  void SaveScreenshot(const std::string& FileName);
  void SaveScreenshot(Classes::TFileWriter& File);

  // Mouse input at a point of the client area, routed to the topmost
  // visible, enabled control there in that control's coordinates. A press
  // and a release over the same control with the left button is a click.
  void MouseDownAt(Controls::TMouseButton Button, Controls::TShiftState Shift, int X, int Y);
  void MouseMoveAt(Controls::TShiftState Shift, int X, int Y);
  void MouseUpAt(Controls::TMouseButton Button, Controls::TShiftState Shift, int X, int Y);
  void ClickAt(int X, int Y);
  void DoubleClickAt(int X, int Y);

  System::TNotifyEvent OnPaint;  // after every paint pass
  // A character typed in the form's native window.
  TKeyPressEvent OnKeyPress;
  System::TNotifyEvent OnShow, OnHide, OnResize;  // when shown, hidden, resized
  TCloseEvent OnClose;                            // by Close
  // Stored with the form for its program; nothing here calls them.
  System::TNotifyEvent OnCreate, OnDestroy, OnActivate, OnDeactivate;
  TCloseQueryEvent OnCloseQuery;
  TKeyEvent OnKeyDown, OnKeyUp;

protected:
  void Notification(Classes::TComponent* AComponent, Classes::TOperation Operation) override;
  // A top-level window that shows the surface and passes the mouse on.
  Windows::HWND CreateWindowHandle() override;

  // For a form class of the application's own (class TForm1 : public
  // TForm), in its constructor once it has declared its fields and
  // handlers: reads the form it was designed as, linked into the module
  // that holds the class as the resource named after ClassName in capitals
  // (TFORM1). Each component the form names is made and bound to its field,
  // each handler name to the declared method. Raises EResNotFound when
  // there is no such resource, and EReadError naming the class, the place
  // and the fault for a component without a field, a field of another
  // class, a handler the class lacks or anything else the form holds amiss.
  template <class TFormClass>
  void InitInheritedComponent(TFormClass*, const std::string& ClassName) {
    ReadFormResource(ClassName, &typeid(TFormClass));
  }
  void ReadFormResource(const std::string& ClassName, const void* AddressInModule);

private:
  Controls::TControl* Target(int X, int Y, int& LocalX, int& LocalY);
  void PaintGrid(const Graphics::TRect& Rect);
  // Fits the surface and the window to a new client size (SetBounds has
  // aligned the controls already).
  void ClientResized(const Graphics::TRect& Before);
  // Makes the surface the client area's size and paints it whole.
  void FitSurface();

  std::string FCaption;
  Graphics::TColor FColor = Graphics::clBtnFace;
  std::unique_ptr<Graphics::TFont> FFont;
  TFormBorderStyle FBorderStyle = bsSizeable;
  TBorderIcons FBorderIcons = 1u << biSystemMenu | 1u << biMinimize | 1u << biMaximize;
  TPosition FPosition = poDesigned;
  TFormStyle FFormStyle = fsNormal;
  TWindowState FWindowState = wsNormal;
  bool FAutoScroll = true;
  bool FStoredVisible = false;
  bool FKeyPreview = false;
  bool FScaled = true;
  bool FOldCreateOrder = false;
  int FPixelsPerInch = 96;
  int FTextHeight = 13;
  int FHelpContext = 0;
  int FDesignGrid = 0;
  Graphics::TBitmap FSurface;
  std::unique_ptr<Detail::TFormWindow> FWindow;  // what the native window reports to
  Graphics::TRect FPending;
  Controls::TControl* FPressed = nullptr;
  int FPaintCount = 0;
  bool FModal = false;     // in ShowModal
  bool FWindowed = false;  // the handle is a window on the screen
};

class TForm : public TCustomForm {
public:
  using TCustomForm::TCustomForm;
  static const TypInfo::TClassInfo& ClassInfo();
  const TypInfo::TClassInfo& ClassType() const override;
};

using TExceptionEvent = std::function<void(System::TObject* Sender, const std::exception& E)>;

// The object every application starts with: it makes the forms, runs the
// main one, and shows what goes wrong in an event handler.
//
//   Application->Initialize();
//   Application->CreateForm(Form1);
//   Application->Run();
class TApplication : public Classes::TComponent {
public:
  explicit TApplication(Classes::TComponent* AOwner);
  ~TApplication() override;
  static const TypInfo::TClassInfo& ClassInfo();
  const TypInfo::TClassInfo& ClassType() const override;

  // Opens the window system where a display can be opened: forms shown
  // from here on have windows. Without one, forms paint into memory, and
  // Run says there is no display.
  void Initialize();
  // Whether forms shown now have windows, opening the window system on the
  // first ask; where they have none, Why says why ("no display").
  bool HasWindows(std::string* Why = nullptr);
  // Whether the display can be opened, for a program that draws forms in a
  // window of its own (a design host), opening it without giving forms
  // windows: they stay in memory until HasWindows or Initialize.
  bool HasDisplay(std::string* Why = nullptr);
  // Makes a form of class T, owned by the application, and points
  // Reference at it. The first form made is the main form.
  template <class T>
  void CreateForm(T*& Reference) {
    T* Form = new T(this);
    Reference = Form;
    if (!FMainForm) SetMainForm(Form);
  }
  TCustomForm* MainForm() const { return FMainForm; }
  // Shows the main form and handles the user's input until it is closed
  // or Terminate is called, then returns. Raises EComponentError when the
  // form cannot be shown (no display).
  void Run();
  // Ends Run once the input being handled now is done.
  void Terminate();
  bool Terminated() const { return FTerminated; }
  // Handles the input waiting, without waiting for more: a long piece of
  // work calls it now and then, so that the windows stay alive.
  void ProcessMessages();
  // The caption of the message box and of the program; the program's
  // file name without its folder and extension until set.
  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& Value) { FTitle = Value; }

  // For an exception that escapes an event handler: calls OnException
  // where set, or else shows the exception; the application goes on either
  // way. The exception is passed, not rethrown: a module's runtime knows
  // only the exceptions it caught itself.
  void HandleException(System::TObject* Sender, const std::exception& E);
  // Shows the exception's message in the message box, titled with Title;
  // on standard error where no box can be shown.
  void ShowException(const std::exception& E);
  TExceptionEvent OnException;

protected:
  void Notification(Classes::TComponent* AComponent, Classes::TOperation Operation) override;

private:
  void SetMainForm(Classes::TComponent* Form);
  TCustomForm* FMainForm = nullptr;
  std::string FTitle;
  bool FTerminated = false;
};

// The application, made on first use: Application->Run() as everywhere.
struct TApplicationReference {
  TApplication* operator->() const;
  TApplication& operator*() const { return *operator->(); }
  operator TApplication*() const { return operator->(); }
};
inline constexpr TApplicationReference Application{};

}  // namespace Forms
