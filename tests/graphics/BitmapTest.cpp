#include <gtest/gtest.h>

#include <cstring>

#include "Graphics.hpp"
#include "Graphics/Dib.hpp"
#include "Windows.hpp"
#include "os/Os.hpp"

using namespace Graphics;

namespace {

constexpr TPixelFormat AllFormats[] = {pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit};

// Colours every format can hold exactly: the standard 16 colours are all in
// the default palettes, and their channels (0, 128, 192, 255) survive 5 and
// 6 bits only where they are 0 or 255, so the pattern sticks to those.
constexpr TColor Exact[] = {clBlack, clWhite, clRed, clLime, clBlue, clYellow, RGB(255, 0, 255), RGB(0, 255, 255)};

void Paint(TBitmap& Bitmap, int Colours) {
  for (int Y = 0; Y < Bitmap.Height(); ++Y)
    for (int X = 0; X < Bitmap.Width(); ++X) Bitmap.Canvas()->SetPixels(X, Y, Exact[(X + 3 * Y) % Colours]);
}

struct Make : TBitmap {
  Make(int W, int H, TPixelFormat Format) {
    SetPixelFormat(Format);
    SetSize(W, H);
  }
};

}  // namespace

TEST(Bitmap, NewBitmapIsEmptyAtDeviceFormat) {
  TBitmap Bitmap;
  EXPECT_EQ(Bitmap.Width(), 0);
  EXPECT_EQ(Bitmap.Height(), 0);
  EXPECT_TRUE(Bitmap.Empty());
  EXPECT_EQ(Bitmap.PixelFormat(), pfDevice);
  EXPECT_EQ(int(pf24bit), 6);
}

TEST(Bitmap, StrideIsWholeBytesPaddedToFour) {
  // Expected stride for widths 1..5, one row per format.
  const struct { TPixelFormat Format; std::size_t Stride[5]; } Cases[] = {
      {pf1bit, {4, 4, 4, 4, 4}},       {pf4bit, {4, 4, 4, 4, 4}},       {pf8bit, {4, 4, 4, 4, 8}},
      {pf15bit, {4, 4, 8, 8, 12}},     {pf16bit, {4, 4, 8, 8, 12}},     {pf24bit, {4, 8, 12, 12, 16}},
      {pf32bit, {4, 8, 12, 16, 20}},   {pfDevice, {4, 8, 12, 16, 20}},
  };
  for (const auto& Case : Cases)
    for (int W = 1; W <= 5; ++W) {
      Make Bitmap(W, 3, Case.Format);
      EXPECT_EQ(Bitmap.Image().Stride, Case.Stride[W - 1]) << PixelFormatName(Case.Format) << " width " << W;
      // Rows walk memory forwards.
      EXPECT_EQ(Bitmap.ScanLine(1) - Bitmap.ScanLine(0), std::ptrdiff_t(Case.Stride[W - 1]));
    }
  EXPECT_EQ(BytesPerScanline(33, 1), 8u);
  EXPECT_EQ(BytesPerScanline(-1, 24), 0u);
  EXPECT_EQ(BytesPerScanline(std::int64_t(1) << 62, 32), 0u);
}

TEST(Bitmap, ScanLineOutsideTheImageRaises) {
  Make Bitmap(4, 2, pf24bit);
  for (int Y : {-1, 2, 1 << 30}) {
    try {
      Bitmap.ScanLine(Y);
      ADD_FAILURE() << Y;
    } catch (const EInvalidGraphicOperation& E) {
      EXPECT_STREQ(E.what(), "Scan line index out of range");
    }
  }
  TBitmap Empty;
  EXPECT_THROW(Empty.ScanLine(0), EInvalidGraphicOperation);
}

TEST(Bitmap, ConversionBetweenEveryPairKeepsSizeAndColours) {
  for (TPixelFormat From : AllFormats)
    for (TPixelFormat To : AllFormats) {
      Make Bitmap(5, 3, From);
      const int Colours = From == pf1bit || To == pf1bit ? 2 : 8;
      Paint(Bitmap, Colours);
      Bitmap.SetPixelFormat(To);
      ASSERT_EQ(Bitmap.PixelFormat(), To);
      ASSERT_EQ(Bitmap.Width(), 5);
      ASSERT_EQ(Bitmap.Height(), 3);
      for (int Y = 0; Y < 3; ++Y)
        for (int X = 0; X < 5; ++X)
          ASSERT_EQ(Bitmap.Canvas()->Pixels(X, Y), Exact[(X + 3 * Y) % Colours])
              << PixelFormatName(From) << " -> " << PixelFormatName(To) << " at " << X << "," << Y;
    }
}

TEST(Bitmap, ConversionToIndexedPicksNearestWhenColoursDoNotFit) {
  Make Bitmap(3, 1, pf24bit);
  Bitmap.Canvas()->SetPixels(0, 0, RGB(250, 10, 10));
  Bitmap.Canvas()->SetPixels(1, 0, RGB(10, 10, 250));
  Bitmap.Canvas()->SetPixels(2, 0, RGB(240, 240, 240));
  Bitmap.SetPixelFormat(pf1bit);  // three colours, two entries: black and white
  EXPECT_EQ(Bitmap.Canvas()->Pixels(0, 0), clBlack);
  EXPECT_EQ(Bitmap.Canvas()->Pixels(2, 0), clWhite);
}

TEST(Bitmap, FiveAndSixBitChannelsWidenWithRounding) {
  Make Bitmap(1, 1, pf16bit);
  const std::uint16_t Pixel = 16 << 11 | 32 << 5 | 31;  // red 16/31, green 32/63, blue 31/31
  std::memcpy(Bitmap.ScanLine(0), &Pixel, 2);
  EXPECT_EQ(Bitmap.Canvas()->Pixels(0, 0), RGB(132, 130, 255));
  Bitmap.SetPixelFormat(pf24bit);
  const std::uint8_t* Row = Bitmap.ScanLine(0);
  EXPECT_EQ(Row[0], 255);
  EXPECT_EQ(Row[1], 130);
  EXPECT_EQ(Row[2], 132);
  Bitmap.SetPixelFormat(pf16bit);  // and back again exactly
  EXPECT_EQ(std::memcmp(Bitmap.ScanLine(0), &Pixel, 2), 0);
}

TEST(Bitmap, ResizeKeepsOverlapAndBlackensNewArea) {
  for (TPixelFormat Format : AllFormats) {
    Make Bitmap(2, 2, Format);
    Bitmap.Canvas()->Brush.Color = clWhite;
    Bitmap.Canvas()->FillRect(Rect(0, 0, 2, 2));
    Bitmap.SetSize(3, 1);
    EXPECT_EQ(Bitmap.Canvas()->Pixels(1, 0), clWhite) << PixelFormatName(Format);
    EXPECT_EQ(Bitmap.Canvas()->Pixels(2, 0), clBlack) << PixelFormatName(Format);
    EXPECT_EQ(Bitmap.Height(), 1);
  }
}

TEST(Bitmap, CopiesNeverWriteIntoTheirSource) {
  Make Source(2, 2, pf24bit);
  Source.Canvas()->SetPixels(0, 0, clRed);

  TBitmap Copy;
  Copy.Assign(&Source);
  EXPECT_EQ(&Copy.Image(), &Source.Image()) << "assigning shares the image";
  Copy.Dormant();
  Copy.FreeImage();
  EXPECT_NE(&Copy.Image(), &Source.Image()) << "FreeImage makes it private";
  Copy.ScanLine(0)[2] = 0;
  EXPECT_EQ(Source.Canvas()->Pixels(0, 0), clRed);

  // Writing through the source leaves earlier copies alone too.
  TBitmap Earlier;
  Earlier.Assign(&Source);
  Source.ScanLine(0)[0] = 255;
  EXPECT_EQ(Earlier.Canvas()->Pixels(0, 0), clRed);

  // A source whose rows are out may change behind our back: copy, don't share.
  std::uint8_t* Row = Source.ScanLine(1);
  TBitmap Late;
  Late.Assign(&Source);
  Row[0] = 77;
  EXPECT_EQ(Late.ScanLine(1)[0], 0);

  // Conversions of a copy leave the source's format alone.
  Late.SetPixelFormat(pf8bit);
  EXPECT_EQ(Source.PixelFormat(), pf24bit);
}

TEST(Bitmap, AssignNilEmptiesAndPictureGivesItsBitmap) {
  Make Bitmap(3, 3, pf24bit);
  Bitmap.Assign(nullptr);
  EXPECT_TRUE(Bitmap.Empty());

  TPicture Picture;
  TBitmap* First = Picture.Bitmap();
  EXPECT_TRUE(First->Empty());
  First->SetPixelFormat(pf8bit);
  EXPECT_EQ(Picture.Bitmap(), First) << "the same bitmap until the picture changes";
  EXPECT_EQ(Picture.Bitmap()->PixelFormat(), pf8bit);

  int Changes = 0;
  Picture.OnChange = [&](System::TObject*) { ++Changes; };
  Picture.Bitmap()->SetSize(4, 2);
  EXPECT_GT(Changes, 0);
  EXPECT_EQ(Picture.Width(), 4);
}

TEST(Bitmap, HandlesAreCountedAndReleasedOnlyOnce) {
  const int Before = Os::LiveHandleCount(Os::THandleKind::Bitmap);
  Windows::HBITMAP Released;
  {
    Make Bitmap(2, 2, pf24bit);
    EXPECT_FALSE(Bitmap.HandleAllocated());
    const Windows::HBITMAP Handle = Bitmap.Handle();
    EXPECT_EQ(Bitmap.Handle(), Handle);
    Released = Bitmap.ReleaseHandle();
    EXPECT_EQ(Released, Handle);
    EXPECT_FALSE(Bitmap.HandleAllocated());
    EXPECT_EQ(Bitmap.ReleaseHandle(), 0u);
    Bitmap.Handle();  // a new one, freed with the bitmap
  }
  EXPECT_EQ(Os::LiveHandleCount(Os::THandleKind::Bitmap), Before + 1) << "the released one lives on";
  EXPECT_TRUE(Windows::DeleteObject(Released));
  EXPECT_FALSE(Windows::DeleteObject(Released));
  EXPECT_EQ(Os::LiveHandleCount(Os::THandleKind::Bitmap), Before);
}

TEST(Bitmap, TransparentColourIsBottomLeftUnlessFixed) {
  Make Bitmap(2, 2, pf24bit);
  Bitmap.Canvas()->SetPixels(0, 1, clLime);
  EXPECT_EQ(Bitmap.TransparentColor(), clLime);
  Bitmap.SetTransparentColor(clRed);
  EXPECT_EQ(Bitmap.TransparentColor(), clRed);
  EXPECT_EQ(Bitmap.TransparentMode(), TTransparentMode::tmFixed);
}

TEST(Canvas, DrawAndStretchDrawNearestWithTransparency) {
  Make Target(4, 4, pf32bit);
  Make Sprite(2, 2, pf24bit);
  Sprite.Canvas()->SetPixels(0, 0, clRed);
  Sprite.Canvas()->SetPixels(1, 0, clBlue);
  Sprite.Canvas()->SetPixels(0, 1, clLime);  // bottom-left: the transparent colour
  Sprite.Canvas()->SetPixels(1, 1, clWhite);

  Target.Canvas()->StretchDraw(Rect(0, 0, 4, 4), Sprite);
  const TColor Stretched[4][4] = {{clRed, clRed, clBlue, clBlue},
                                  {clRed, clRed, clBlue, clBlue},
                                  {clLime, clLime, clWhite, clWhite},
                                  {clLime, clLime, clWhite, clWhite}};
  for (int Y = 0; Y < 4; ++Y)
    for (int X = 0; X < 4; ++X) EXPECT_EQ(Target.Canvas()->Pixels(X, Y), Stretched[Y][X]) << X << "," << Y;

  Target.Canvas()->Brush.Color = clYellow;
  Target.Canvas()->FillRect(Rect(-5, -5, 50, 50));
  Sprite.SetTransparent(true);
  Target.Canvas()->Draw(3, 3, Sprite);  // clipped to one pixel
  Target.Canvas()->Draw(0, 0, Sprite);
  EXPECT_EQ(Target.Canvas()->Pixels(0, 0), clRed);
  EXPECT_EQ(Target.Canvas()->Pixels(0, 1), clYellow) << "transparent colour left out";
  EXPECT_EQ(Target.Canvas()->Pixels(3, 3), clRed);
}

TEST(Bitmap, SizesOverTheLimitsAreRefusedBeforeAllocating) {
  Make Bitmap(2, 2, pf24bit);
  EXPECT_THROW(Bitmap.SetSize(16385, 1), EInvalidGraphic);
  EXPECT_THROW(Bitmap.SetSize(-1, 1), EInvalidGraphic);
  EXPECT_THROW(Bitmap.SetPixelFormat(pfCustom), EInvalidGraphicOperation);
  EXPECT_EQ(Bitmap.Width(), 2) << "a refused change changes nothing";
  EXPECT_EQ(Bitmap.PixelFormat(), pf24bit);
}
