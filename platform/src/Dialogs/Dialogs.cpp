// The message box's responders. The console prompt talks to whatever
// streams it is given; the default is the system's own box where there is
// one at the time of the call, else the prompt when a terminal is attached.
#include <iostream>
#include <mutex>

#include "Dialogs.hpp"
#include "SysUtils.hpp"
#include "os/Os.hpp"

namespace Dialogs {

std::vector<std::pair<std::string, int>> MessageBoxButtons(Windows::UINT Type) {
  using namespace Windows;
  switch (Type & MB_TYPEMASK) {
    case MB_OKCANCEL: return {{"OK", IDOK}, {"Cancel", IDCANCEL}};
    case MB_ABORTRETRYIGNORE: return {{"Abort", IDABORT}, {"Retry", IDRETRY}, {"Ignore", IDIGNORE}};
    case MB_YESNOCANCEL: return {{"Yes", IDYES}, {"No", IDNO}, {"Cancel", IDCANCEL}};
    case MB_YESNO: return {{"Yes", IDYES}, {"No", IDNO}};
    case MB_RETRYCANCEL: return {{"Retry", IDRETRY}, {"Cancel", IDCANCEL}};
    default: return {{"OK", IDOK}};
  }
}

namespace {

// The button a typed word means: a button's name, else its first letter,
// else yes for OK and no for Cancel, as people type at a terminal. Case
// does not matter. 0 when it means none.
int ButtonFor(const std::string& Word, const std::vector<std::pair<std::string, int>>& Buttons) {
  for (const auto& [Label, Id] : Buttons)
    if (SysUtils::LowerCase(Label) == Word) return Id;
  for (const auto& [Label, Id] : Buttons)
    if (Word.size() == 1 && SysUtils::LowerChar(Label[0]) == Word[0]) return Id;
  for (const auto& [Label, Id] : Buttons) {
    if (Id == Windows::IDOK && (Word == "yes" || Word == "y")) return Id;
    if (Id == Windows::IDCANCEL && (Word == "no" || Word == "n")) return Id;
  }
  return 0;
}

}  // namespace

int TConsoleResponder::Answer(const TMessageBoxCall& Call) {
  const auto Buttons = MessageBoxButtons(Call.Type);
  // Closing the box: Cancel where there is one, else the last button.
  int Closed = Buttons.back().second;
  for (const auto& [Label, Id] : Buttons)
    if (Id == Windows::IDCANCEL) Closed = Id;
  std::string Choices;
  for (const auto& [Label, Id] : Buttons) Choices += (Choices.empty() ? "" : " / ") + Label;
  FOut << "\n[" << Call.Caption << "] " << Call.Text << "\n";
  for (;;) {
    FOut << "  " << Choices << " (Enter: " << Buttons.front().first << ")? " << std::flush;
    std::string Line;
    if (!std::getline(FIn, Line)) {
      FOut << "\n";
      return Closed;
    }
    Line = SysUtils::LowerCase(Line.substr(0, Line.find_last_not_of(" \t\r") + 1));
    Line.erase(0, Line.find_first_not_of(" \t"));
    if (Line.empty()) return Buttons.front().second;
    if (const int Id = ButtonFor(Line, Buttons)) return Id;
    FOut << "  Please answer " << Choices << ".\n";
  }
}

int TSystemResponder::Answer(const TMessageBoxCall& Call) {
  return Os::SystemMessageBox(Call.Window, Call.Text, Call.Caption, Call.Type);
}

int TScriptedResponder::Answer(const TMessageBoxCall& Call) {
  FCalls.push_back(Call);
  if (FAnswers.empty()) return FFallback;
  const int Answer = FAnswers.front();
  FAnswers.pop_front();
  return Answer;
}

namespace {
std::mutex GLock;
std::shared_ptr<TMessageBoxResponder> GResponder;
}  // namespace

void SetMessageBoxResponder(std::shared_ptr<TMessageBoxResponder> Responder) {
  std::lock_guard Guard(GLock);
  GResponder = std::move(Responder);
}

// Without one set by the program, the responder is chosen for each call, as
// the means to ask come and go: the system's box once a window is on the
// screen, the prompt while a terminal is attached, else none.
TMessageBoxResponder& MessageBoxResponder() {
  {
    std::lock_guard Guard(GLock);
    if (GResponder) return *GResponder;
  }
  static TSystemResponder System;
  static TConsoleResponder Console(std::cin, std::cerr);
  static TNoResponder None;
  if (Os::HasSystemMessageBox()) return System;
  if (Os::StdinIsTerminal()) return Console;
  return None;
}

}  // namespace Dialogs

int Windows::MessageBoxA(HWND hWnd, const char* lpText, const char* lpCaption, UINT uType) {
  return Dialogs::MessageBoxResponder().Answer({hWnd, lpText ? lpText : "", lpCaption ? lpCaption : "Error", uType});
}
