// The design host's actions: one table of what the menus, the keys and a
// script of --actions can do, each with its verb, its menu label and key,
// when it is enabled, and what it runs.
#pragma once

#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Designer.hpp"

namespace Design {

// An action that failed, with the exit status its cause maps to: 2 for a
// bad script or input, 1 for anything else (an output that cannot be written).
class EActionError : public EDesignError {
public:
  EActionError(const std::string& Message, int Status) : EDesignError(Message), FStatus(Status) {}
  int Status() const { return FStatus; }

private:
  int FStatus;
};

// What a script writes (save, screenshot), kept pending until it ends
// well: then all are committed, and otherwise none is. A form saved
// earlier in the script is opened from what is pending.
class TOutputs {
public:
  TOutputs();
  ~TOutputs();
  Classes::TFileWriter& Add(const std::string& FileName);
  // The form bytes pending for FileName, kept by Keep; nullptr if none.
  void Keep(const std::string& FileName, std::vector<std::uint8_t> Bytes);
  const std::vector<std::uint8_t>* Pending(const std::string& FileName) const;
  void Commit();

private:
  struct TOutput;
  std::vector<std::unique_ptr<TOutput>> FOutputs;
};

// Where an action runs.
struct TActionContext {
  TDesigner& Designer;
  TPackages& Packages;
  std::ostream& Out;        // what palette and inspect print
  std::string& Clipboard;   // what copy and cut keep, and paste takes
  TOutputs* Outputs = nullptr;  // a script's; the window's actions write nothing
};

struct TAction {
  std::string Verb;   // as a script names it
  std::string Usage;  // its words, as --help shows them ("move DX DY")
  // Where the window offers it, with no words: the menu ("Edit",
  // "Arrange"), its label and key ("Ctrl+A"; more than one separated by
  // ", ", the first shown in the menu). An empty menu: scripts only.
  std::string Menu, Label, Shortcut;
  std::function<bool(const TDesigner&)> Enabled;
  std::function<void(TActionContext&, const std::vector<std::string>& Words, const std::string& Action)> Run;
};

const std::vector<TAction>& Actions();
// One a verb, or nullptr.
const TAction* FindAction(const std::string& Verb);
// The verbs and their words, for --help.
std::string ActionsHelp();

// Runs "A; B; ..." in order. The first action that fails ends the run:
// EActionError names the action and the fault on one printable line, and
// the actions after it do not run. Outputs are written only when all ran.
void RunActions(TDesigner& Designer, TPackages& Packages, const std::string& Script, std::ostream& Out,
                std::string& Clipboard);
// One action with no words, as the window's menus and keys run it.
void RunAction(const TAction& Action, TActionContext& Context);

// The actions of a script: split at ';' outside quoted strings, blanks
// trimmed, empty ones dropped.
std::vector<std::string> SplitActions(const std::string& Script);
// An action's words: blank-separated, a quoted string ('a b', 'it''s',
// #39) being one word.
std::vector<std::string> SplitWords(const std::string& Action);

}  // namespace Design
