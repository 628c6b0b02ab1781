// lvdesign's window: the menu, the component palette, the object inspector
// and the form being designed, drawn each frame from the model and feeding
// it what the user does.
#pragma once

#include <string>

#include "Designer.hpp"

namespace Lvdesign {

// Runs until the window is closed; answers the exit status. Lvview is the
// viewer that Run (F9) opens the stored form in.
int RunDesignWindow(Design::TDesigner& Designer, Design::TPackages& Packages, const std::string& Lvview);

}  // namespace Lvdesign
