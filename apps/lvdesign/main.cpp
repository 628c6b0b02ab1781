// lvdesign: the design host. The component palette, the form being designed
// and the object inspector in a window, or the same commands as a script of
// actions with no window at all.
#include <CLI/CLI.hpp>

#include <iostream>
#include <string>
#include <vector>

#include "Actions.hpp"
#include "CommandLine.hpp"
#include "DesignWindow.hpp"
#include "Designer.hpp"
#include "Dialogs.hpp"
#include "FormFiles.hpp"
#include "Tool.hpp"
#include "Windows.hpp"

namespace {

struct TOptions {
  std::string Form, Actions;
  std::vector<std::string> Packages;
};

int Run(const TOptions& Options) {
  Tool::RegisterFormClasses();
  Design::TPackages Packages;
  Packages.Install(Tool::DefaultPackage());
  for (const std::string& Package : Options.Packages) Packages.Install(Package);
  Design::TDesigner Designer;
  if (!Options.Form.empty()) Designer.Open(Options.Form);
  if (Options.Actions.empty()) {
    // The viewer is beside lvdesign.
    std::string Lvview = Windows::GetModuleFileName(0);
    Lvview.erase(Lvview.find_last_of("/\\") + 1);
#ifdef _WIN32
    Lvview += "lvview.exe";
#else
    Lvview += "lvview";
#endif
    return Lvdesign::RunDesignWindow(Designer, Packages, Lvview);
  }
  // A script answers no question: a form that asks to convert is declined.
  Dialogs::SetMessageBoxResponder(std::make_shared<Dialogs::TNoResponder>());
  std::string Clipboard;
  Design::RunActions(Designer, Packages, Options.Actions, std::cout, Clipboard);
  return Tool::ExitDone;
}

}  // namespace

int main(int argc, char** argv) {
  TOptions Options;
  CLI::App App(std::string("Designs a form with the components of the installed packages: pick a component\n"
                           "on its palette page, place it on the form, set its properties in the object\n"
                           "inspector, store the form (.dfm binary, .txt text) and run it in lvview (F9).\n\n"
                           "With --actions it runs the same commands as a script, with no window and no\n"
                           "display, and quits. The first action that fails ends it with one line naming\n"
                           "the action and the fault; unless the status is 0, no file is created or\n"
                           "changed, as save and screenshot write their files only when all actions ran.\n"
                           "Actions, separated by ';':\n") +
                   Design::ActionsHelp() +
                   "Values are written as in a text form file: 'text', True, [akLeft,akTop], clRed;\n"
                   "a file name holding blanks or ';' as a quoted string.\n\n" +
                   Tool::ExitStatusHelp(false) + "\n" + Tool::LimitsHelp(),
               "lvdesign");
  App.add_option("FORM", Options.Form, "A form file to open (binary or text)");
  App.add_option("--package", Options.Packages, "Install another design package as well (repeatable)");
  App.add_option("--actions", Options.Actions, "Run these actions without a window, and quit");
  App.set_version_flag("--version", std::string("lvdesign ") + Tool::Version, "Print the version and exit");
  if (const auto Stop = Tool::ParseCommandLine(App, argc, argv)) return *Stop;
  try {
    return Run(Options);
  } catch (const Design::EActionError& E) {
    std::cerr << "lvdesign: " << E.what() << "\n";
    return E.Status();
  } catch (const Design::EDesignError& E) {
    std::cerr << "lvdesign: " << E.what() << "\n";
    return Tool::ExitBadInput;
  } catch (const std::exception& E) {
    return Tool::Report("lvdesign", E);
  }
}
