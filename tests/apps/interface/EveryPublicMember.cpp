// A user's program against the installed header and the modules: it calls
// each public member of the component and each function of its unit by
// name, not through the vtable, so each must be exported to link. Built at
// -O0, where nothing is inlined away.
#include <cstdio>

#include "Forms.hpp"
#include "LvFltImg.hpp"

namespace {

// A user's subclass that overrides nothing.
class TMyImage : public LvFltImg::TLvFilterImage {
public:
  using TLvFilterImage::TLvFilterImage;
};

}  // namespace

int main() {
  using LvFltImg::TLvFilterImage;
  LvFltImg::Initialization();
  LvFltImg::Register();
  Forms::TForm Form(nullptr);
  auto* Image = new TLvFilterImage(&Form);
  Image->SetParent(&Form);
  Image->SetBounds(0, 0, 2, 2);
  Image->Picture()->Bitmap()->SetPixelFormat(Graphics::pf24bit);
  Image->Picture()->Bitmap()->SetSize(2, 2);
  Graphics::TBitmap Filter;
  Filter.SetPixelFormat(Graphics::pf24bit);
  Filter.SetSize(2, 2);
  Image->TLvFilterImage::SetFilterBitMap(&Filter);
  const bool Ok = &Image->TLvFilterImage::ClassType() == &TLvFilterImage::ClassInfo() &&
                  Image->TLvFilterImage::FilterBitMap() == &Filter &&
                  Image->TLvFilterImage::InvertedFilter().Width() == 2 && Image->TLvFilterImage::Set24BitColor() &&
                  LvFltImg::FitinRange(300) == 255;
  Image->TLvFilterImage::Filter(0, 0);
  TMyImage Mine(nullptr);
  const bool Inherited = &Mine.ClassType() == &TLvFilterImage::ClassInfo();
  delete new TLvFilterImage(nullptr);
  LvFltImg::Finalization();
  std::puts(Ok && Inherited ? "every public member links and works" : "wrong answers");
  return Ok && Inherited ? 0 : 1;
}
