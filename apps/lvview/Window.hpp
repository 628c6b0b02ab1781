// The viewer's window: the form shown until the user closes it. Keys: S
// saves a screenshot, F stores the form, Q or Escape quits.
#pragma once

#include <functional>
#include <string>

#include "Forms.hpp"

namespace Lvview {

// Shows a failure to the user: a title and a text.
using TReport = std::function<void(const std::string& Title, const std::string& Text)>;

// Title: the window's, which the form's caption gives where it has one.
int Interact(Forms::TForm& Form, const std::string& Title, const std::string& SaveFormName);

// Save what the window shows, or the form; a failure is reported, on
// standard error and through Report, and the viewer goes on.
void SaveScreenshot(Forms::TForm& Form, const TReport& Report);
void SaveForm(Forms::TForm& Form, const std::string& FileName, const TReport& Report);

}  // namespace Lvview
