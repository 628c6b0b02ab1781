// The design host's actions as text: what the menu, the palette and the
// mouse do, one command a time, for scripts and tests.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "Designer.hpp"

namespace Design {

// Runs "A; B; ..." in order on the designer. What palette and inspect
// print goes to Out. The first action that fails ends the run: EDesignError
// names the action and the fault, and the actions after it do not run.
// Copy and cut keep their text in Clipboard, where paste takes it.
void RunActions(TDesigner& Designer, TPackages& Packages, const std::string& Script, std::ostream& Out,
                std::string& Clipboard);

// The actions of a script: split at ';' outside quoted strings, blanks
// trimmed, empty ones dropped.
std::vector<std::string> SplitActions(const std::string& Script);
// An action's words: blank-separated, a quoted string ('a b', 'it''s',
// #39) being one word.
std::vector<std::string> SplitWords(const std::string& Action);

}  // namespace Design
