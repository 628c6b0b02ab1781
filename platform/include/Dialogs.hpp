// What stands behind Windows::MessageBoxA: a responder the program chooses.
#pragma once

#include <deque>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "Windows.hpp"

namespace Dialogs {

struct TMessageBoxCall {
  Windows::HWND Window = 0;
  std::string Text;
  std::string Caption;
  Windows::UINT Type = 0;
};

class TMessageBoxResponder {
public:
  virtual ~TMessageBoxResponder() = default;
  // The button chosen (IDOK, IDCANCEL, ...), or 0 when the box failed.
  virtual int Answer(const TMessageBoxCall& Call) = 0;
};

// Asks at a terminal: shows caption, text and buttons, reads the choice.
// End of input answers Cancel (or No, or OK for a box with only OK).
class TConsoleResponder : public TMessageBoxResponder {
public:
  TConsoleResponder(std::istream& In, std::ostream& Out) : FIn(In), FOut(Out) {}
  int Answer(const TMessageBoxCall& Call) override;

private:
  std::istream& FIn;
  std::ostream& FOut;
};

// Answers from a queue filled in advance and records every call. With the
// queue empty it answers the fallback (0: the box failed).
class TScriptedResponder : public TMessageBoxResponder {
public:
  explicit TScriptedResponder(int Fallback = 0) : FFallback(Fallback) {}
  void Queue(int Answer) { FAnswers.push_back(Answer); }
  int Answer(const TMessageBoxCall& Call) override;
  const std::vector<TMessageBoxCall>& Calls() const { return FCalls; }

private:
  int FFallback;
  std::deque<int> FAnswers;
  std::vector<TMessageBoxCall> FCalls;
};

// The system's own modal box (user32's on Windows, SDL's elsewhere), owned
// by the call's window. Where the system has none, every box fails.
class TSystemResponder : public TMessageBoxResponder {
public:
  int Answer(const TMessageBoxCall& Call) override;
};

// No way to ask: every box fails.
class TNoResponder : public TMessageBoxResponder {
public:
  int Answer(const TMessageBoxCall&) override { return 0; }
};

// Installs the responder; nullptr goes back to the default, which decides
// at each call: the system's box where one can be shown (on Windows always,
// elsewhere once a form's window is on the screen), else the console prompt
// when standard input is a terminal, else none.
void SetMessageBoxResponder(std::shared_ptr<TMessageBoxResponder> Responder);
TMessageBoxResponder& MessageBoxResponder();

// The buttons a box of the given type shows, as (label, answer) pairs, the
// default first; every system's box and the console prompt show these.
std::vector<std::pair<std::string, int>> MessageBoxButtons(Windows::UINT Type);

}  // namespace Dialogs
