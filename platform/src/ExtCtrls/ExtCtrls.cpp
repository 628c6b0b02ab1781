#include "ExtCtrls.hpp"

namespace ExtCtrls {

using Graphics::TRect;

TImage::TImage(Classes::TComponent* AOwner)
    : TGraphicControl(AOwner), FPicture(std::make_unique<Graphics::TPicture>()) {
  FPicture->OnChange = [this](System::TObject*) { PictureChanged(); };
  FPicture->OnProgress = [this](System::TObject* Sender) {
    if (OnProgress) OnProgress(Sender, 0, 0, FIncrementalDisplay, ClientRect(), "");
  };
  SetBounds(Left(), Top(), 105, 105);
}

TImage::~TImage() {
  // The picture goes first, with nothing left to tell.
  FPicture->OnChange = nullptr;
  FPicture->OnProgress = nullptr;
}

void TImage::SetPicture(Graphics::TPicture* Value) { FPicture->Assign(Value); }

void TImage::PictureChanged() {
  if (Graphics::TGraphic* Graphic = FPicture->Graphic()) {
    Graphic->SetTransparent(FTransparent);
    if (FAutoSize && !Graphic->Empty()) SetBounds(Left(), Top(), Graphic->Width(), Graphic->Height());
  }
  UpdateOpaque();
  Invalidate();
}

void TImage::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  TGraphicControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  UpdateOpaque();
}

// An untransparent picture that covers the whole control hides whatever
// lies beneath it.
void TImage::UpdateOpaque() {
  const Graphics::TGraphic* Graphic = FPicture ? FPicture->Graphic() : nullptr;
  const TRect D = DestRect();
  SetOpaque(Graphic && !Graphic->Empty() && !FTransparent && D.Left <= 0 && D.Top <= 0 && D.Right >= Width() &&
            D.Bottom >= Height());
}

void TImage::SetAutoSize(bool Value) {
  if (Value == FAutoSize) return;
  FAutoSize = Value;
  PictureChanged();
}

void TImage::SetCenter(bool Value) {
  if (Value == FCenter) return;
  FCenter = Value;
  PictureChanged();
}

void TImage::SetStretch(bool Value) {
  if (Value == FStretch) return;
  FStretch = Value;
  PictureChanged();
}

void TImage::SetTransparent(bool Value) {
  if (Value == FTransparent) return;
  FTransparent = Value;
  PictureChanged();
}

TRect TImage::DestRect() const {
  if (FStretch) return ClientRect();
  TRect R{0, 0, FPicture->Width(), FPicture->Height()};
  if (FCenter) {
    const int DX = (Width() - R.Right) / 2, DY = (Height() - R.Bottom) / 2;
    R = {R.Left + DX, R.Top + DY, R.Right + DX, R.Bottom + DY};
  }
  return R;
}

void TImage::Paint(Graphics::TCanvas& Canvas, const TRect& Rect) const {
  const Graphics::TGraphic* Graphic = FPicture->Graphic();
  if (!Graphic || Graphic->Empty()) return;
  const TRect D = DestRect();
  Canvas.StretchDraw({Rect.Left + D.Left, Rect.Top + D.Top, Rect.Left + D.Right, Rect.Top + D.Bottom}, *Graphic);
}

}  // namespace ExtCtrls
