// The Forms unit: top-level windows that own the surface their controls
// paint into.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "Controls.hpp"
#include "Graphics.hpp"

namespace Forms {

namespace Detail { class TFormWindow; }

class TCustomForm : public Controls::TWinControl {
public:
  explicit TCustomForm(Classes::TComponent* AOwner);
  ~TCustomForm() override;
  static const TypInfo::TClassInfo& ClassInfo();
  const TypInfo::TClassInfo& ClassType() const override;

  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  int ClientWidth() const { return Width(); }
  int ClientHeight() const { return Height(); }
  void SetClientSize(int AWidth, int AHeight) { SetBounds(Left(), Top(), AWidth, AHeight); }
  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& Value) { FCaption = Value; }
  Graphics::TColor Color() const { return FColor; }
  void SetColor(Graphics::TColor Value);

  // A form starts hidden. A hidden form paints nothing and keeps no surface;
  // showing it paints it whole.
  void Show();
  void Hide();
  // Shows the form in a native window of its own and handles the user's
  // input until the window is closed (on Windows; elsewhere there are no
  // native windows and it raises EComponentError).
  void ShowModal();
  // Hides the form and ends ShowModal, as closing its window does.
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
  void SaveScreenshot(Graphics::TFileWriter& File);

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
  std::function<void(System::TObject* Sender, char& Key)> OnKeyPress;

protected:
  void Notification(Classes::TComponent* AComponent, Classes::TOperation Operation) override;
  // A top-level window that shows the surface and passes the mouse on.
  Windows::HWND CreateWindowHandle() override;

private:
  Controls::TControl* Target(int X, int Y, int& LocalX, int& LocalY);

  std::string FCaption;
  Graphics::TColor FColor = 0xF0F0F0;
  Graphics::TBitmap FSurface;
  std::unique_ptr<Detail::TFormWindow> FWindow;  // what the native window reports to
  Graphics::TRect FPending;
  Controls::TControl* FPressed = nullptr;
  int FPaintCount = 0;
};

class TForm : public TCustomForm {
public:
  using TCustomForm::TCustomForm;
  static const TypInfo::TClassInfo& ClassInfo();
  const TypInfo::TClassInfo& ClassType() const override;
};

}  // namespace Forms
