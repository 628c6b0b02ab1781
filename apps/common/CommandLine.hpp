// The programs' command lines as CLI11 parses them.
#pragma once

#include <CLI/CLI.hpp>

namespace Tool {

// CLI11 takes an empty value ("") as given, where a program would take it
// as not given and quietly do something else (print instead of writing, open
// a window instead of saving a screenshot). Raises CLI::ValidationError
// naming the first option or argument given empty, its commands' included.
inline void RefuseEmptyValues(const CLI::App& App) {
  for (const CLI::Option* Option : App.get_options())
    for (const std::string& Value : Option->results())
      if (Value.empty()) throw CLI::ValidationError(Option->get_name(), "the value is empty");
  for (const CLI::App* Command : App.get_subcommands()) RefuseEmptyValues(*Command);
}

}  // namespace Tool
