#include "Unit1.hpp"

TForm1* Form1 = nullptr;

TForm1::TForm1(Classes::TComponent* AOwner) : Forms::TForm(AOwner) {
  // What Form1.dfm names: its component, and the handler of its OnMouseDown.
  DeclareField("LvFilterImage1", LvFilterImage1);
  DeclareMethod("LvFilterImage1MouseDown", &TForm1::LvFilterImage1MouseDown);
  InitInheritedComponent(this, "TForm1");
}

// Stamps the filter centred on the point clicked. The picture is centred in
// the control, and the filter is placed in the picture's own coordinates.
void TForm1::LvFilterImage1MouseDown(System::TObject*, Controls::TMouseButton Button, Controls::TShiftState, int X,
                                     int Y) {
  if (Button != Controls::mbLeft) return;
  Graphics::TPicture* Picture = LvFilterImage1->Picture();
  const Graphics::TBitmap& Stamp = LvFilterImage1->InvertedFilter();
  const int Left = (LvFilterImage1->Width() - Picture->Width()) / 2;
  const int Top = (LvFilterImage1->Height() - Picture->Height()) / 2;
  LvFilterImage1->Filter(Y - Top - Stamp.Height() / 2, X - Left - Stamp.Width() / 2);
}
