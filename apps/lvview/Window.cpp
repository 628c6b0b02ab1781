// The viewer's window: the form is the window, and the system's message box
// reports failures.
#include <stdexcept>

#include "Windows.hpp"
#include "Window.hpp"

namespace Lvview {

int Interact(Forms::TForm& Form, const std::string& Title, const std::string& SaveFormName) {
  // Without a display the viewer says so in its own words, before anything shows.
  std::string Why;
  if (!Forms::Application->HasWindows(&Why)) throw std::runtime_error("cannot open a window: " + Why);
  // A form's caption titles its window; the form is stored with its own
  // (empty) caption.
  const std::string Caption = Form.Caption();
  Form.SetCaption(Title);
  const TReport Report = [&](const std::string& Title, const std::string& Text) {
    Windows::MessageBoxA(Form.Handle(), Text.c_str(), Title.c_str(), Windows::MB_OK | Windows::MB_ICONHAND);
  };
  Form.OnKeyPress = [&](System::TObject*, char& Key) {
    switch (Key) {
      case 'q': case 'Q': case '\x1b':
        Form.Close();
        break;
      case 's': case 'S':
        SaveScreenshot(Form, Report);
        break;
      case 'f': case 'F':
        Form.SetCaption(Caption);
        SaveForm(Form, SaveFormName, Report);
        Form.SetCaption(Title);
        break;
    }
  };
  Form.ShowModal();
  return 0;
}

}  // namespace Lvview
