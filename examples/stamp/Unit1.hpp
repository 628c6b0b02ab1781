// The stamp program's form, as designed in lvdesign (Form1.dfm): one filter
// image filling the window, whose every click stamps the filter into the
// picture.
#pragma once

#include "Controls.hpp"
#include "Forms.hpp"
#include "LvFltImg.hpp"

class TForm1 : public Forms::TForm {
public:
  explicit TForm1(Classes::TComponent* AOwner);

  // Made and set by reading Form1.dfm.
  LvFltImg::TLvFilterImage* LvFilterImage1 = nullptr;

  void LvFilterImage1MouseDown(System::TObject* Sender, Controls::TMouseButton Button, Controls::TShiftState Shift,
                               int X, int Y);
};

extern TForm1* Form1;
