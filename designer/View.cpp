// The design view: the form's client area as the form paints it, with the
// grid, an outline round each control, the handles of the selected ones
// and the rectangle of a placement being dragged.
#include "Internal.hpp"

namespace Design {

using Classes::TComponent;
using Controls::TControl;
using Graphics::TRect;

namespace {

class TOverlay {
public:
  explicit TOverlay(Graphics::TBitmap& View) : FView(View), FWidth(View.Width()), FHeight(View.Height()) {}

  void Put(int X, int Y, std::uint32_t Colour) {
    if (X >= 0 && Y >= 0 && X < FWidth && Y < FHeight) reinterpret_cast<std::uint32_t*>(FView.ScanLine(Y))[X] = Colour;
  }
  void Fill(int Left, int Top, int Right, int Bottom, std::uint32_t Colour) {
    for (int Y = std::max(Top, 0); Y < std::min(Bottom, FHeight); ++Y) {
      auto* Row = reinterpret_cast<std::uint32_t*>(FView.ScanLine(Y));
      for (int X = std::max(Left, 0); X < std::min(Right, FWidth); ++X) Row[X] = Colour;
    }
  }
  // A frame of dashes, alternating two colours every Dash pixels.
  void Dashed(const TRect& R, int Dash, std::uint32_t On, std::uint32_t Off) {
    const int Right = R.Right - 1, Bottom = R.Bottom - 1;
    if (Right < R.Left || Bottom < R.Top) return;
    for (int X = R.Left; X <= Right; ++X) {
      const std::uint32_t C = (X - R.Left) / Dash % 2 ? Off : On;
      Put(X, R.Top, C), Put(X, Bottom, C);
    }
    for (int Y = R.Top; Y <= Bottom; ++Y) {
      const std::uint32_t C = (Y - R.Top) / Dash % 2 ? Off : On;
      Put(R.Left, Y, C), Put(Right, Y, C);
    }
  }

private:
  Graphics::TBitmap& FView;
  int FWidth, FHeight;
};

// Opaque, as the form paints: B, G, R and 255 in memory order.
constexpr std::uint32_t Black = 0xFF000000, Grey = 0xFF808080, White = 0xFFFFFFFF;

}  // namespace

const Graphics::TBitmap& TDesigner::View() {
  if (FViewPainted == FViewVersion && FView.Width() == FForm->ClientWidth() && FView.Height() == FForm->ClientHeight())
    return FView;
  const Graphics::TBitmap& Surface = FForm->Surface();
  if (Surface.Width() != FForm->ClientWidth() || Surface.Height() != FForm->ClientHeight()) FForm->Show();
  else FForm->PaintRect(FForm->ClientRect());
  FView.Assign(&FForm->Surface());
  TOverlay Overlay(FView);
  // Every control shows its bounds, so that an empty image can be found.
  for (TComponent* C : Components())
    if (auto* Control = dynamic_cast<TControl*>(C); Control && Control != FForm.get())
      Overlay.Dashed(Control->FormRect(), 2, Grey, White);
  const bool Several = FSelection.size() > 1;
  for (TControl* Control : SelectedControls()) {
    if (Control == FForm.get()) continue;
    const TRect R = Control->FormRect();
    const int MidX = (R.Left + R.Right) / 2, MidY = (R.Top + R.Bottom) / 2, H = HandleSize / 2;
    for (const auto& [X, Y] : {std::pair{R.Left, R.Top}, {MidX, R.Top}, {R.Right, R.Top}, {R.Right, MidY},
                               {R.Right, R.Bottom}, {MidX, R.Bottom}, {R.Left, R.Bottom}, {R.Left, MidY}})
      Overlay.Fill(X - H, Y - H, X + H + 1, Y + H + 1, Several ? Grey : Black);
  }
  // The form's own grip: its bottom-right corner sizes it.
  const int W = FView.Width(), H = FView.Height();
  for (int I = 0; I < 3; ++I) Overlay.Fill(W - 4 - 4 * I, H - 4, W - 2 - 4 * I, H - 2, Grey), Overlay.Fill(W - 4, H - 4 - 4 * I, W - 2, H - 2 - 4 * I, Grey);
  if (FDrag && FDrag->What == TDrag::Place)
    Overlay.Dashed({std::min(FDrag->StartX, FDrag->X), std::min(FDrag->StartY, FDrag->Y),
                    std::max(FDrag->StartX, FDrag->X) + 1, std::max(FDrag->StartY, FDrag->Y) + 1},
                   1, Black, White);
  FViewPainted = FViewVersion;
  return FView;
}

}  // namespace Design
