// The viewer's window where forms have native windows of their own: the
// form is the window, and the system's message box reports failures.
#include "Windows.hpp"
#include "Window.hpp"

namespace Lvview {

int Interact(Forms::TForm& Form, const std::string& Title, const std::string& SaveFormName) {
  // The window takes its title when it is made; the form keeps its own
  // (empty) caption for storing.
  if (Form.Caption() != Title) {
    const std::string Caption = Form.Caption();
    Form.SetCaption(Title);
    Form.Handle();
    Form.SetCaption(Caption);
  }
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
        SaveForm(Form, SaveFormName, Report);
        break;
    }
  };
  Form.ShowModal();
  return 0;
}

}  // namespace Lvview
