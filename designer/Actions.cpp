#include "Actions.hpp"

#include <cctype>
#include <map>
#include <ostream>

#include "SysUtils.hpp"
#include "Tool.hpp"

namespace Design {

namespace {

bool Blank(char C) { return std::isspace(static_cast<unsigned char>(C)) != 0; }

// Where a quoted string that starts at I ends: after its closing quote.
std::size_t QuotedEnd(const std::string& Text, std::size_t I) {
  for (++I; I < Text.size(); ++I)
    if (Text[I] == '\'') {
      if (I + 1 < Text.size() && Text[I + 1] == '\'') ++I;
      else return I + 1;
    }
  throw EDesignError("a quoted string without its closing quote: " + Text);
}

std::string Trim(const std::string& Text) {
  std::size_t First = 0, Last = Text.size();
  while (First < Last && Blank(Text[First])) ++First;
  while (Last > First && Blank(Text[Last - 1])) --Last;
  return Text.substr(First, Last - First);
}

// A file name as an action gives it: as it stands, or as a quoted string of
// the text form ('my file.png', 'it''s', #39).
std::string FileName(const std::string& Word) {
  if (Word.empty() || (Word[0] != '\'' && Word[0] != '#')) return Word;
  std::string Out;
  for (std::size_t I = 0; I < Word.size();) {
    if (Word[I] == '\'') {
      const std::size_t End = QuotedEnd(Word, I);
      for (std::size_t J = I + 1; J + 1 < End; ++J) {
        Out += Word[J];
        if (Word[J] == '\'') ++J;
      }
      I = End;
    } else if (Word[I] == '#') {
      std::size_t J = I + 1;
      const bool Hex = J < Word.size() && Word[J] == '$';
      if (Hex) ++J;
      const std::size_t Start = J;
      while (J < Word.size() && (Hex ? std::isxdigit(static_cast<unsigned char>(Word[J])) : std::isdigit(static_cast<unsigned char>(Word[J])))) ++J;
      const long Code = J > Start && J - Start <= 6 ? std::stol(Word.substr(Start, J - Start), nullptr, Hex ? 16 : 10) : -1;
      if (Code < 1 || Code > 255) throw EDesignError("a character code in a file name must be from 1 to 255: " + Word);
      Out += char(Code);
      I = J;
    } else {
      throw EDesignError("text after a quoted file name: " + Word);
    }
  }
  return Out;
}

int Number(const std::string& What, const std::string& Text) {
  return int(Tool::ParseInteger(What, Text, -1000000, 1000000));
}

void Expect(const std::vector<std::string>& Words, std::size_t Min, std::size_t Max, const char* Usage) {
  if (Words.size() < Min || Words.size() > Max) throw EDesignError(std::string("expected ") + Usage);
}

// Everything after the first N words, as it stands: a value may hold blanks.
std::string After(const std::string& Action, std::size_t N) {
  std::size_t I = 0;
  for (std::size_t Word = 0; Word < N; ++Word) {
    while (I < Action.size() && Blank(Action[I])) ++I;
    while (I < Action.size() && !Blank(Action[I])) I = Action[I] == '\'' ? QuotedEnd(Action, I) : I + 1;
  }
  return Trim(Action.substr(I));
}

void Run(TDesigner& D, TPackages& Packages, const std::string& Action, std::ostream& Out, std::string& Clipboard) {
  const std::vector<std::string> W = SplitWords(Action);
  const std::string Verb = W.front();
  if (Verb == "new") {
    Expect(W, 1, 1, "new");
    D.New();
  } else if (Verb == "open") {
    Expect(W, 2, 2, "open FILE");
    D.Open(FileName(W[1]));
  } else if (Verb == "save") {
    Expect(W, 2, 2, "save FILE");
    D.Save(FileName(W[1]));
  } else if (Verb == "palette") {
    Expect(W, 1, 1, "palette");
    for (const TPaletteButton& Button : Packages.Palette()) Out << Button.Page << "\t" << Button.Class->ClassName << "\n";
  } else if (Verb == "place") {
    if (W.size() != 4 && W.size() != 6) throw EDesignError("expected place CLASS X Y [W H]");
    Classes::TComponentClass Class = nullptr;
    for (const TPaletteButton& Button : Packages.Palette())
      if (SysUtils::SameText(Button.Class->ClassName, W[1])) Class = Button.Class;
    if (!Class) throw EDesignError("no palette page offers a class " + W[1]);
    D.Place(Class, Number("X", W[2]), Number("Y", W[3]), W.size() == 6 ? Number("W", W[4]) : 0,
            W.size() == 6 ? Number("H", W[5]) : 0);
  } else if (Verb == "select") {
    Expect(W, 2, 2, "select NAME[,NAME...]");
    std::vector<std::string> Names;
    for (std::size_t From = 0;;) {
      const std::size_t Comma = W[1].find(',', From);
      Names.push_back(W[1].substr(From, Comma - From));
      if (Comma == std::string::npos) break;
      From = Comma + 1;
    }
    D.Select(Names);
  } else if (Verb == "set") {
    if (W.size() < 3) throw EDesignError("expected set PROPERTY VALUE");
    D.SetProperty(W[1], After(Action, 2));
  } else if (Verb == "event") {
    if (W.size() != 3 && W.size() != 2) throw EDesignError("expected event EVENT HANDLER");
    D.SetEvent(W[1], W.size() == 3 && W[2] != "''" ? W[2] : "");
  } else if (Verb == "load-picture" || Verb == "load-filter") {
    Expect(W, 2, 2, "load-picture FILE or load-filter FILE");
    D.LoadGraphic(Verb == "load-picture" ? "Picture" : "FilterBitMap", FileName(W[1]));
  } else if (Verb == "clear-picture") {
    Expect(W, 1, 1, "clear-picture");
    D.ClearGraphic("Picture");
  } else if (Verb == "move" || Verb == "size") {
    Expect(W, 3, 3, Verb == "move" ? "move DX DY" : "size W H");
    if (Verb == "move") D.Move(Number("DX", W[1]), Number("DY", W[2]));
    else D.SetSize(Number("W", W[1]), Number("H", W[2]));
  } else if (Verb == "delete" || Verb == "cut" || Verb == "copy" || Verb == "paste" || Verb == "undo" ||
             Verb == "redo") {
    Expect(W, 1, 1, Verb.c_str());
    if (Verb == "delete") D.Delete();
    else if (Verb == "cut") Clipboard = D.Cut();
    else if (Verb == "copy") Clipboard = D.Copy();
    else if (Verb == "paste") D.Paste(Clipboard);
    else if (Verb == "undo") D.Undo();
    else D.Redo();
  } else if (Verb == "inspect") {
    Expect(W, 1, 1, "inspect");
    for (const auto& Rows : {D.Properties(), D.Events()})
      for (const TInspectorRow& Row : Rows) Out << Row.Path << "\t" << Row.Value << "\n";
  } else if (Verb == "screenshot") {
    Expect(W, 2, 2, "screenshot FILE");
    D.View().SaveToFile(FileName(W[1]));
  } else {
    throw EDesignError("no such action");
  }
}

// The action as an error quotes it: one line, and not too long.
std::string Quoted(const std::string& Action) {
  std::string Line;
  for (char C : Action) Line += C == '\n' || C == '\r' || C == '\t' ? ' ' : C;
  return Line.size() > 80 ? Line.substr(0, 77) + "..." : Line;
}

}  // namespace

std::vector<std::string> SplitActions(const std::string& Script) {
  std::vector<std::string> Actions;
  std::size_t Start = 0;
  for (std::size_t I = 0; I <= Script.size();) {
    if (I == Script.size() || Script[I] == ';') {
      if (std::string Action = Trim(Script.substr(Start, I - Start)); !Action.empty()) Actions.push_back(Action);
      Start = ++I;
    } else {
      I = Script[I] == '\'' ? QuotedEnd(Script, I) : I + 1;
    }
  }
  return Actions;
}

std::vector<std::string> SplitWords(const std::string& Action) {
  std::vector<std::string> Words;
  for (std::size_t I = 0; I < Action.size();) {
    if (Blank(Action[I])) {
      ++I;
      continue;
    }
    const std::size_t Start = I;
    while (I < Action.size() && !Blank(Action[I])) I = Action[I] == '\'' ? QuotedEnd(Action, I) : I + 1;
    Words.push_back(Action.substr(Start, I - Start));
  }
  return Words;
}

void RunActions(TDesigner& Designer, TPackages& Packages, const std::string& Script, std::ostream& Out,
                std::string& Clipboard) {
  std::vector<std::string> Actions;
  try {
    Actions = SplitActions(Script);
  } catch (const std::exception& E) {
    throw EDesignError(std::string("--actions: ") + E.what());
  }
  for (const std::string& Action : Actions) {
    try {
      Run(Designer, Packages, Action, Out, Clipboard);
    } catch (const std::exception& E) {
      throw EDesignError(Quoted(Action) + ": " + E.what());
    }
  }
  Out.flush();
}

}  // namespace Design
