// A form with a filter image in a window of its own, for the window tests
// to look at and drive: P paints a red block into the picture through its
// rows and refreshes; a mouse button pressed on the image is printed; the
// program ends when the window is closed. Prints "shown" once the window is
// on the screen. Its window is asked for before there are windows.
#include <iostream>
#include <string>

#include "Forms.hpp"
#include "LvFltImg.hpp"

int main() {
  Forms::TForm Form(nullptr);
  // A handle asked for before the program opens the window system stands
  // for no window: showing the form makes it one.
  Form.Handle();
  Forms::Application->Initialize();
  Form.SetName("Form1");
  Form.SetCaption("Form window test");
  Form.SetPosition(Forms::poDesigned);
  Form.SetBounds(20, 30, 0, 0);
  Form.SetClientSize(200, 150);
  Form.SetColor(Graphics::RGB(255, 255, 255));

  auto* Image = new LvFltImg::TLvFilterImage(&Form);
  Image->SetParent(&Form);
  Image->SetBounds(10, 20, 160, 100);
  Graphics::TBitmap* Picture = Image->Picture()->Bitmap();
  Picture->SetPixelFormat(Graphics::pf24bit);
  Picture->SetSize(160, 100);
  Picture->Canvas()->Brush.Color = Graphics::RGB(40, 80, 160);
  Picture->Canvas()->FillRect(Graphics::Rect(0, 0, 160, 100));

  Image->OnMouseDown = [](System::TObject*, Controls::TMouseButton Button, Controls::TShiftState Shift, int X, int Y) {
    std::cout << "down " << X << "," << Y << " button " << int(Button) << " shift " << Shift << std::endl;
  };
  Form.OnKeyPress = [&](System::TObject*, char& Key) {
    if (Key != 'p') return;
    // Columns 50 to 69, rows 30 to 39 of the picture: blue, green, red.
    for (int Y = 30; Y < 40; ++Y) {
      auto* Row = static_cast<unsigned char*>(Picture->ScanLine(Y));
      for (int X = 50; X < 70; ++X) Row[3 * X] = 0, Row[3 * X + 1] = 0, Row[3 * X + 2] = 255;
    }
    Image->Refresh();
    std::cout << "painted" << std::endl;
  };

  Form.Show();
  std::cout << "shown" << std::endl;
  try {
    Form.ShowModal();
  } catch (const std::exception& E) {
    std::cerr << "form_window: " << E.what() << std::endl;
    return 1;
  }
  std::cout << "closed" << std::endl;
  return 0;
}
