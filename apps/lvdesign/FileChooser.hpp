// Choosing a file inside the design window: a folder listing with a
// filter, a name field and Up, as a modal over the window.
#pragma once

#include <optional>
#include <string>

#include "Screen.hpp"

namespace Lvdesign {

enum class TFileKind { Forms, Pictures, Packages, All };

struct TFileQuestion {
  std::string Title;
  TFileKind Kind = TFileKind::All;
  bool Saving = false;           // a name that need not exist yet
  std::string DefaultExtension;  // given to a saved name without one (".dfm")
  std::string Start;             // a file or folder to begin at; the working folder if empty
};

// The file chosen, or nothing when the user cancelled. Saving over an
// existing file is asked about first.
std::optional<std::string> ChooseFile(TScreen& Screen, const TFileQuestion& Question);

}  // namespace Lvdesign
