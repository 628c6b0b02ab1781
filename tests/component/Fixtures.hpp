// Shared set-up for the component's tests: a form holding the component, a
// scripted message box, and bitmaps made from plain pixel values.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

#include "Dialogs.hpp"
#include "Forms.hpp"
#include "LvFltImg.hpp"

namespace Testing {

using Pixel = std::array<std::uint8_t, 3>;  // blue, green, red

// A bitmap of the given format whose pixels all hold Colour (in 24-bit
// terms), built at pf24bit and then converted.
inline std::unique_ptr<Graphics::TBitmap> Solid(int W, int H, Pixel Colour,
                                                Graphics::TPixelFormat Format = Graphics::pf24bit) {
  auto Bitmap = std::make_unique<Graphics::TBitmap>();
  Bitmap->SetPixelFormat(Graphics::pf24bit);
  Bitmap->SetSize(W, H);
  for (int Y = 0; Y < H; ++Y) {
    std::uint8_t* Row = Bitmap->ScanLine(Y);
    for (int X = 0; X < W; ++X)
      for (int C = 0; C < 3; ++C) Row[3 * X + C] = Colour[C];
  }
  Bitmap->SetPixelFormat(Format);
  return Bitmap;
}

inline Pixel At(Graphics::TBitmap& Bitmap, int X, int Y) {
  const std::uint8_t* Row = Bitmap.ScanLine(Y);
  return {Row[3 * X], Row[3 * X + 1], Row[3 * X + 2]};
}

class ComponentTest : public ::testing::Test {
protected:
  void SetUp() override {
    Dialogs::SetMessageBoxResponder(Answers);
    Form->SetClientSize(64, 48);
    Form->Show();
    Image->SetParent(Form.get());
  }
  void TearDown() override { Dialogs::SetMessageBoxResponder(nullptr); }

  // Gives the component a picture and sizes the control to it.
  void SetPicture(const Graphics::TBitmap& Picture) {
    Image->Picture()->SetBitmap(&Picture);
    Image->SetBounds(0, 0, Picture.Width(), Picture.Height());
  }

  std::shared_ptr<Dialogs::TScriptedResponder> Answers = std::make_shared<Dialogs::TScriptedResponder>();
  std::unique_ptr<Forms::TForm> Form = std::make_unique<Forms::TForm>(nullptr);
  LvFltImg::TLvFilterImage* Image = new LvFltImg::TLvFilterImage(Form.get());
};

}  // namespace Testing
