#include "Fixtures.hpp"

#include <climits>
#include <random>

#include "Graphics/Dib.hpp"

using namespace Graphics;
using namespace Testing;
using LvFltImg::FitinRange;

TEST(FitinRange, ClampsAtBothEnds) {
  const std::pair<int, int> Cases[] = {{-255, 0}, {-1, 0}, {0, 0}, {1, 1}, {128, 128}, {255, 255},
                                       {256, 255}, {1000, 255}, {INT_MIN, 0}, {INT_MAX, 255}};
  for (const auto& [In, Out] : Cases) EXPECT_EQ(FitinRange(In), Out) << In;
}

namespace {

// The blend as the plain per-channel formula states it, over the region
// clipped to control, filter and picture.
void Reference(TBitmap& Picture, TBitmap& Filter, int ControlW, int ControlH, int ATop, int ALeft) {
  for (std::int64_t Y = 0; Y < Picture.Height(); ++Y)
    for (std::int64_t X = 0; X < Picture.Width(); ++X) {
      const std::int64_t FY = Y - ATop, FX = X - ALeft;
      if (Y >= ControlH || X >= ControlW || FY < 0 || FX < 0 || FY >= Filter.Height() || FX >= Filter.Width())
        continue;
      std::uint8_t* P = Picture.ScanLine(int(Y)) + 3 * X;
      const std::uint8_t* F = Filter.ScanLine(int(FY)) + 3 * FX;
      for (int C : {2, 1, 0}) P[C] = FitinRange(P[C] + F[C] - 255);
    }
}

std::unique_ptr<TBitmap> Noise(int W, int H, std::mt19937& Random) {
  auto Bitmap = Solid(W, H, {0, 0, 0});
  for (int Y = 0; Y < H; ++Y) {
    std::uint8_t* Row = Bitmap->ScanLine(Y);
    for (int I = 0; I < 3 * W; ++I) Row[I] = std::uint8_t(Random());
  }
  return Bitmap;
}

}  // namespace

class FilterTest : public ComponentTest {
protected:
  TBitmap& Picture() { return *Image->Picture()->Bitmap(); }
  int Paints() const { return Form->PaintCount(); }
};

TEST_F(FilterTest, WorkedValuesPerChannel) {
  // Picture pixel, filter pixel, result (blue, green, red).
  const struct { Pixel P, F, Out; } Cases[] = {
      {{200, 100, 50}, {128, 255, 0}, {73, 100, 0}},  // each channel with its own
      {{200, 200, 200}, {128, 128, 128}, {73, 73, 73}},
      {{100, 100, 100}, {100, 100, 100}, {0, 0, 0}},
      {{1, 2, 3}, {255, 255, 255}, {1, 2, 3}},        // white leaves it
      {{255, 255, 255}, {0, 0, 0}, {0, 0, 0}},        // black blacks it out
  };
  for (const auto& Case : Cases) {
    SetPicture(*Solid(3, 2, Case.P));
    auto Filter = Solid(3, 2, Case.F);
    Image->SetFilterBitMap(Filter.get());
    Image->Filter(0, 0);
    for (int Y = 0; Y < 2; ++Y)
      for (int X = 0; X < 3; ++X) EXPECT_EQ(At(Picture(), X, Y), Case.Out);
  }
}

TEST_F(FilterTest, CallsAccumulate) {
  SetPicture(*Solid(2, 2, {200, 200, 200}));
  auto Filter = Solid(2, 2, {200, 200, 200});
  Image->SetFilterBitMap(Filter.get());
  Image->Filter(0, 0);
  EXPECT_EQ(At(Picture(), 1, 1), (Pixel{145, 145, 145}));
  Image->Filter(0, 0);
  EXPECT_EQ(At(Picture(), 1, 1), (Pixel{90, 90, 90}));
}

TEST_F(FilterTest, EmptyFilterChangesNothingButAsksAndRepaints) {
  SetPicture(*Solid(2, 2, {9, 8, 7}, pf8bit));
  Answers->Queue(Windows::IDOK);
  const int Before = Paints();
  Image->Filter(0, 0);
  EXPECT_EQ(Answers->Calls().size(), 1u);
  EXPECT_EQ(Picture().PixelFormat(), pf24bit);
  EXPECT_EQ(Paints(), Before + 1);
  TBitmap Expected;
  Expected.Assign(Solid(2, 2, {9, 8, 7}, pf8bit).get());
  Expected.SetPixelFormat(pf24bit);
  EXPECT_EQ(At(Picture(), 1, 1), At(Expected, 1, 1));
}

TEST_F(FilterTest, DeclinedConversionLeavesEverythingAndDoesNotRepaint) {
  SetPicture(*Solid(2, 2, {0, 0, 0}, pf8bit));
  auto Filter = Solid(2, 2, {0, 0, 0});
  Image->SetFilterBitMap(Filter.get());
  Form->PaintPending();
  const Graphics::Detail::TPixelBuffer Before = Picture().Image().Bits;
  const int PaintsBefore = Paints();
  for (int Answer : {Windows::IDCANCEL, 0}) {
    Answers->Queue(Answer);
    Image->Filter(0, 0);
    EXPECT_EQ(Picture().PixelFormat(), pf8bit);
    EXPECT_EQ(Picture().Image().Bits, Before);
    EXPECT_EQ(Paints(), PaintsBefore);
  }
}

TEST_F(FilterTest, AcceptedConversionThenBlends) {
  SetPicture(*Solid(2, 2, {255, 255, 255}, pf8bit));
  auto Filter = Solid(2, 2, {0, 0, 0});
  Image->SetFilterBitMap(Filter.get());
  Answers->Queue(Windows::IDOK);
  Image->Filter(0, 0);
  EXPECT_EQ(At(Picture(), 0, 0), (Pixel{0, 0, 0}));
  EXPECT_EQ(Form->Surface().Pixel(0, 0), clBlack) << "and shows it";
}

TEST_F(FilterTest, RegionIsCutAtTheControlTheFilterAndThePicture) {
  // Picture 6 x 4, filter 3 x 2 black, control size, offset; which picture
  // pixels must turn black (as rows of '#').
  const struct { int CW, CH, Top, Left; std::vector<const char*> Black; } Cases[] = {
      {6, 4, 0, 0, {"###...", "###...", "......", "......"}},
      {6, 4, 1, 2, {"......", "..###.", "..###.", "......"}},
      {6, 4, 3, 4, {"......", "......", "......", "....##"}},     // past right and bottom
      {5, 3, 1, 3, {"......", "...##.", "...##.", "......"}},     // cut by the control
      {6, 4, -1, -2, {"#.....", "......", "......", "......"}},   // negative offsets
      {6, 4, 4, 0, {"......", "......", "......", "......"}},     // at the control's height
      {6, 4, 0, 6, {"......", "......", "......", "......"}},     // at its width
      {9, 9, 3, 5, {"......", "......", "......", ".....#"}},     // control larger than the picture
      {6, 4, INT_MIN, INT_MIN, {"......", "......", "......", "......"}},
      {6, 4, INT_MAX, INT_MAX, {"......", "......", "......", "......"}},
      {6, 4, INT_MAX, 0, {"......", "......", "......", "......"}},
  };
  for (const auto& Case : Cases) {
    SetPicture(*Solid(6, 4, {255, 255, 255}));
    Image->SetBounds(0, 0, Case.CW, Case.CH);
    auto Filter = Solid(3, 2, {0, 0, 0});
    Image->SetFilterBitMap(Filter.get());
    const int Before = Paints();
    Image->Filter(Case.Top, Case.Left);
    EXPECT_EQ(Paints(), Before + 1) << "repainted even when nothing changed";
    for (int Y = 0; Y < 4; ++Y)
      for (int X = 0; X < 6; ++X) {
        const Pixel Expected = Case.Black[Y][X] == '#' ? Pixel{0, 0, 0} : Pixel{255, 255, 255};
        EXPECT_EQ(At(Picture(), X, Y), Expected)
            << "offset " << Case.Top << "," << Case.Left << " control " << Case.CW << "x" << Case.CH << " at " << X
            << "," << Y;
      }
  }
}

TEST_F(FilterTest, FilterLargerThanThePicture) {
  SetPicture(*Solid(3, 3, {255, 255, 255}));
  Image->SetBounds(0, 0, 20, 20);
  auto Filter = Solid(10, 10, {0, 0, 0});
  Image->SetFilterBitMap(Filter.get());
  Image->Filter(-4, -4);
  for (int Y = 0; Y < 3; ++Y)
    for (int X = 0; X < 3; ++X) EXPECT_EQ(At(Picture(), X, Y), (Pixel{0, 0, 0}));
}

TEST_F(FilterTest, MatchesThePlainFormulaOverRandomShapes) {
  std::mt19937 Random(20261207);
  for (int Round = 0; Round < 300; ++Round) {
    const int PW = 1 + int(Random() % 40), PH = 1 + int(Random() % 12);
    const int FW = 1 + int(Random() % 40), FH = 1 + int(Random() % 12);
    const int CW = int(Random() % 50), CH = int(Random() % 16);
    const int Top = int(Random() % 30) - 15, Left = int(Random() % 60) - 30;
    auto Start = Noise(PW, PH, Random);
    auto Filter = Noise(FW, FH, Random);

    TBitmap Expected;
    Expected.Assign(Start.get());
    Reference(Expected, *Filter, CW, CH, Top, Left);

    Image->Picture()->SetBitmap(Start.get());
    Image->SetBounds(0, 0, CW, CH);
    Image->SetFilterBitMap(Filter.get());
    Image->Filter(Top, Left);
    ASSERT_EQ(Picture().Image().Bits, Expected.Image().Bits)
        << "picture " << PW << "x" << PH << " filter " << FW << "x" << FH << " control " << CW << "x" << CH
        << " offset " << Top << "," << Left;
  }
}
