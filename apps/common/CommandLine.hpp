// The programs' command lines as CLI11 parses them.
#pragma once

#include <CLI/CLI.hpp>

#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "SysUtils.hpp"
#include "Tool.hpp"

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

// Options are -x and --xx on every system: on Windows, /x stays a path
// (CLI11 would take it as an option there).
inline void OnlyDashOptions(CLI::App& App) {
  App.allow_windows_style_options(false);
  for (CLI::App* Command : App.get_subcommands([](CLI::App*) { return true; })) OnlyDashOptions(*Command);
}

// Parses the arguments in UTF-8 (on Windows from the system's wide command
// line), once the standard streams write UTF-8 as the system shows it
// (UseStandardText). Raises what CLI11 raises.
inline void ParseArguments(CLI::App& App, int argc, char** argv) {
  UseStandardText();
  OnlyDashOptions(App);
  std::vector<std::string> Arguments = SysUtils::CommandLineArguments(argc, argv);
  std::vector<char*> Pointers;
  for (std::string& Argument : Arguments) Pointers.push_back(Argument.data());
  App.parse(int(Pointers.size()), Pointers.data());
}

// Parses the command line and refuses empty values. Answers the status to
// exit with where the program stops here: after --help or --version, or
// after a fault of the usage, reported as "<tool>: <fault> (see <tool>
// --help)"; nothing where the program goes on.
inline std::optional<int> ParseCommandLine(CLI::App& App, int argc, char** argv) {
  try {
    ParseArguments(App, argc, argv);
    RefuseEmptyValues(App);
  } catch (const CLI::Success& E) {
    return App.exit(E);
  } catch (const CLI::ParseError& E) {
    std::cerr << App.get_name() << ": " << E.what() << " (see " << App.get_name() << " --help)\n";
    return ExitBadInput;
  }
  return std::nullopt;
}

}  // namespace Tool
