#include "LvFltImg.hpp"

#include <algorithm>

#include "Blend.hpp"
#include "Windows.hpp"

namespace LvFltImg {

std::uint8_t FitinRange(int Value) {
  if (Value > 255) return 255;
  if (Value < 0) return 0;
  return std::uint8_t(Value);
}

TLvFilterImage::TLvFilterImage(Classes::TComponent* AOwner)
    : TImage(AOwner), FInvertedFilter(std::make_unique<Graphics::TBitmap>()) {}

TLvFilterImage::~TLvFilterImage() {
  // The released native handle is deleted here rather than left behind.
  Windows::DeleteObject(FInvertedFilter->ReleaseHandle());
  FInvertedFilter.reset();
}

void TLvFilterImage::SetFilterBitMap(Graphics::TBitmap* Value) {
  FFilterBitMap = Value;
  FInvertedFilter->Assign(Value);
  FInvertedFilter->Dormant();
  FInvertedFilter->FreeImage();
  FInvertedFilter->SetPixelFormat(Graphics::pf24bit);
  const int Rows = FInvertedFilter->Height();
  for (int Y = 0; Y < Rows; ++Y) {
    FFilterLine = FInvertedFilter->ScanLine(Y);
    Blend::InvertRow(FFilterLine, std::size_t(FInvertedFilter->Width()) * 3);
  }
  if (FStoredFilter && Value != FStoredFilter.get()) FStoredFilter.reset();
}

bool TLvFilterImage::Set24BitColor() {
  if (Picture()->Bitmap()->PixelFormat() == Graphics::pf24bit) return true;
  // Without a windowed owner the question still comes, with no parent window.
  auto* OwnerWindow = dynamic_cast<Controls::TWinControl*>(Owner());
  const int Answer = Windows::MessageBoxA(OwnerWindow ? OwnerWindow->Handle() : 0,
                                          "The Imge will convert to \"24 bit color\" format", "Convert",
                                          Windows::MB_OKCANCEL);
  if (Answer != Windows::IDOK) return false;
  Picture()->Bitmap()->SetPixelFormat(Graphics::pf24bit);
  return true;
}

void TLvFilterImage::Filter(int ATop, int ALeft) {
  if (Picture()->Bitmap()->PixelFormat() != Graphics::pf24bit && !Set24BitColor()) return;

  // The region is worked out in 64 bits so that no offset can overflow. It
  // is clipped to the control, to the filter and to the picture's bitmap,
  // keeping picture pixel (y, x) paired with filter pixel (y - ATop, x - ALeft).
  const Graphics::TBitmap* Bitmap = Picture()->Bitmap();
  const std::int64_t Top = std::max<std::int64_t>(ATop, 0);
  const std::int64_t Left = std::max<std::int64_t>(ALeft, 0);
  const std::int64_t Bottom = std::min({std::int64_t(ATop) + FInvertedFilter->Height(), std::int64_t(Height()),
                                        std::int64_t(Bitmap->Height())});
  const std::int64_t Right = std::min({std::int64_t(ALeft) + FInvertedFilter->Width(), std::int64_t(Width()),
                                       std::int64_t(Bitmap->Width())});

  for (std::int64_t Y = Top; Y < Bottom && Left < Right; ++Y) {
    FImageLine = Picture()->Bitmap()->ScanLine(int(Y));
    FFilterLine = FInvertedFilter->ScanLine(int(Y - ATop));
    Blend::SubtractRow(FImageLine + 3 * Left, FFilterLine + 3 * (Left - ALeft), std::size_t(Right - Left) * 3);
  }
  Refresh();
}

void Initialization() {}
void Finalization() {}

void Register() { Classes::RegisterComponents("Lorvane", {&TLvFilterImage::ClassInfo()}); }

}  // namespace LvFltImg
