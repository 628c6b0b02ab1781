// darken PICTURE FILTER OUTPUT [TOP LEFT]: blends FILTER into PICTURE with
// the filter image control on a form and saves the picture, converting a
// picture that is not 24-bit colour without asking.
#include <cstdlib>
#include <iostream>
#include <memory>

#include "Dialogs.hpp"
#include "Forms.hpp"
#include "LvFltImg.hpp"
#include "System.hpp"

int main(int argc, char** argv) {
  if (argc != 4 && argc != 6) {
    std::cerr << "usage: darken PICTURE FILTER OUTPUT [TOP LEFT]\n";
    return 2;
  }
  const int Top = argc == 6 ? std::atoi(argv[4]) : 0;
  const int Left = argc == 6 ? std::atoi(argv[5]) : 0;
  // The control asks before converting a picture to 24-bit colour: say OK.
  auto Answers = std::make_shared<Dialogs::TScriptedResponder>(Windows::IDOK);
  Dialogs::SetMessageBoxResponder(Answers);
  try {
    Forms::TForm Form(nullptr);
    auto* Image = new LvFltImg::TLvFilterImage(&Form);  // owned by the form
    Image->SetParent(&Form);
    Image->Picture()->LoadFromFile(argv[1]);
    // The blend changes only the pixels inside the control: size it to the picture.
    Image->SetBounds(0, 0, Image->Picture()->Width(), Image->Picture()->Height());
    Graphics::TBitmap Filter;
    Filter.LoadFromFile(argv[2]);
    Image->SetFilterBitMap(&Filter);
    Image->Filter(Top, Left);
    Image->Picture()->SaveToFile(argv[3]);
  } catch (const System::Exception& E) {
    std::cerr << "darken: " << E.what() << "\n";
    return 1;
  }
  return 0;
}
