#include "Actions.hpp"

#include <cctype>
#include <filesystem>
#include <ostream>

#include "FormFiles.hpp"
#include "SysUtils.hpp"
#include "Tool.hpp"

namespace Design {

namespace {

bool Blank(char C) { return std::isspace(static_cast<unsigned char>(C)) != 0; }

// The start of Text, on one printable line, for a message to quote.
std::string Excerpt(const std::string& Text, std::size_t Max = 60) {
  std::string Line;
  for (char C : Text.substr(0, Max + 1)) Line += C == '\n' || C == '\r' || C == '\t' ? ' ' : C;
  Line = SysUtils::PrintableText(Line);
  return Line.size() > Max ? Line.substr(0, Max - 3) + "..." : Line;
}

// Where a quoted string that starts at I ends: after its closing quote.
std::size_t QuotedEnd(const std::string& Text, std::size_t I) {
  const std::size_t Start = I;
  for (++I; I < Text.size(); ++I)
    if (Text[I] == '\'') {
      if (I + 1 < Text.size() && Text[I + 1] == '\'') ++I;
      else return I + 1;
    }
  throw EDesignError("a quoted string without its closing quote: " + Excerpt(Text.substr(Start)));
}

std::string Trim(const std::string& Text) {
  std::size_t First = 0, Last = Text.size();
  while (First < Last && Blank(Text[First])) ++First;
  while (Last > First && Blank(Text[Last - 1])) --Last;
  return Text.substr(First, Last - First);
}

// A file name as an action gives it: as it stands, or as a string of the
// text form ('my file.png', 'it''s', #39).
std::string FileName(const std::string& Word) {
  if (Word.empty() || (Word[0] != '\'' && Word[0] != '#')) return Word;
  try {
    return Classes::ReadTextString(Word);
  } catch (const Classes::EReadError& E) {
    throw EDesignError("a file name: " + E.Fault());
  }
}

int Number(const std::string& What, const std::string& Text) {
  return int(Tool::ParseInteger(What, Text, -1000000, 1000000));
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

using TWords = std::vector<std::string>;

bool Always(const TDesigner&) { return true; }
bool Components(const TDesigner& D) { return D.Selection().front() != &D.Form(); }

TAction Plain(std::string Verb, std::string Menu, std::string Label, std::string Shortcut,
              std::function<bool(const TDesigner&)> Enabled, std::function<void(TActionContext&)> Run) {
  return {Verb, Verb, std::move(Menu), std::move(Label), std::move(Shortcut), std::move(Enabled),
          [Run](TActionContext& C, const TWords&, const std::string&) { Run(C); }};
}

TAction LiningUp(const std::string& Verb, const std::string& Label, TLineUp How) {
  return Plain(Verb, "Arrange", Label, "", [](const TDesigner& D) { return D.Selection().size() > 1; },
               [How](TActionContext& C) { C.Designer.LineUp(How); });
}

std::vector<TAction> MakeActions() {
  auto Script = [](std::string Verb, std::string Usage,
                   std::function<void(TActionContext&, const TWords&, const std::string&)> Run) {
    return TAction{std::move(Verb), std::move(Usage), "", "", "", Always, std::move(Run)};
  };
  auto NeedFile = [](const TWords& W, const std::string& Verb) {
    if (W.size() != 2) throw EDesignError("expected " + Verb + " FILE");
    return FileName(W[1]);
  };
  // A menu lists its actions in this order.
  return {
      Plain("new", "", "", "", Always, [](TActionContext& C) { C.Designer.New(); }),
      Script("open", "open FILE",
             [NeedFile](TActionContext& C, const TWords& W, const std::string&) {
               const std::string File = NeedFile(W, "open");
               if (const auto* Pending = C.Outputs ? C.Outputs->Pending(File) : nullptr) C.Designer.Open(File, {}, Pending);
               else C.Designer.Open(File);
             }),
      Script("save", "save FILE",
             [NeedFile](TActionContext& C, const TWords& W, const std::string&) {
               const std::string File = NeedFile(W, "save");
               if (!C.Outputs) return C.Designer.Save(File);
               C.Designer.Save(C.Outputs->Add(File));
               C.Outputs->Keep(File, C.Designer.Stored());
             }),
      Script("palette", "palette",
             [](TActionContext& C, const TWords&, const std::string&) {
               for (const TPaletteButton& Button : C.Packages.Palette())
                 C.Out << Button.Page << "\t" << Button.Class->ClassName << "\n";
             }),
      Script("place", "place CLASS X Y [W H]",
             [](TActionContext& C, const TWords& W, const std::string&) {
               if (W.size() != 4 && W.size() != 6) throw EDesignError("expected place CLASS X Y [W H]");
               Classes::TComponentClass Class = nullptr;
               for (const TPaletteButton& Button : C.Packages.Palette())
                 if (SysUtils::SameText(Button.Class->ClassName, W[1])) Class = Button.Class;
               if (!Class) throw EDesignError("no palette page offers a class " + W[1]);
               C.Designer.Place(Class, Number("X", W[2]), Number("Y", W[3]), W.size() == 6 ? Number("W", W[4]) : 0,
                                W.size() == 6 ? Number("H", W[5]) : 0);
             }),
      Script("select", "select NAME[,NAME...]",
             [](TActionContext& C, const TWords& W, const std::string&) {
               if (W.size() != 2) throw EDesignError("expected select NAME[,NAME...]");
               std::vector<std::string> Names;
               for (std::size_t From = 0;;) {
                 const std::size_t Comma = W[1].find(',', From);
                 Names.push_back(W[1].substr(From, Comma - From));
                 if (Comma == std::string::npos) break;
                 From = Comma + 1;
               }
               C.Designer.Select(Names);
             }),
      Script("set", "set PROPERTY VALUE",
             [](TActionContext& C, const TWords& W, const std::string& Action) {
               if (W.size() < 3) throw EDesignError("expected set PROPERTY VALUE");
               C.Designer.SetProperty(W[1], After(Action, 2));
             }),
      Script("event", "event EVENT [HANDLER]",
             [](TActionContext& C, const TWords& W, const std::string&) {
               if (W.size() != 3 && W.size() != 2) throw EDesignError("expected event EVENT [HANDLER]");
               C.Designer.SetEvent(W[1], W.size() == 3 && W[2] != "''" ? W[2] : "");
             }),
      Script("load-picture", "load-picture FILE",
             [NeedFile](TActionContext& C, const TWords& W, const std::string&) {
               C.Designer.LoadGraphic("Picture", NeedFile(W, "load-picture"));
             }),
      Script("load-filter", "load-filter FILE",
             [NeedFile](TActionContext& C, const TWords& W, const std::string&) {
               C.Designer.LoadGraphic("FilterBitMap", NeedFile(W, "load-filter"));
             }),
      Plain("clear-picture", "", "", "", Always, [](TActionContext& C) { C.Designer.ClearGraphic("Picture"); }),
      Script("move", "move DX DY",
             [](TActionContext& C, const TWords& W, const std::string&) {
               if (W.size() != 3) throw EDesignError("expected move DX DY");
               C.Designer.Move(Number("DX", W[1]), Number("DY", W[2]));
             }),
      Script("size", "size W H",
             [](TActionContext& C, const TWords& W, const std::string&) {
               if (W.size() != 3) throw EDesignError("expected size W H");
               C.Designer.SetSize(Number("W", W[1]), Number("H", W[2]));
             }),
      Script("form-size", "form-size W H",
             [](TActionContext& C, const TWords& W, const std::string&) {
               if (W.size() != 3) throw EDesignError("expected form-size W H");
               C.Designer.SetFormSize(Number("W", W[1]), Number("H", W[2]));
             }),
      LiningUp("align-lefts", "Align Left Edges", TLineUp::Lefts),
      LiningUp("align-centres", "Align Horizontal Centres", TLineUp::Centres),
      LiningUp("align-rights", "Align Right Edges", TLineUp::Rights),
      LiningUp("align-tops", "Align Tops", TLineUp::Tops),
      LiningUp("align-middles", "Align Vertical Centres", TLineUp::Middles),
      LiningUp("align-bottoms", "Align Bottoms", TLineUp::Bottoms),
      Plain("same-width", "Arrange", "Make Same Width", "", [](const TDesigner& D) { return D.Selection().size() > 1; },
            [](TActionContext& C) { C.Designer.SameWidth(); }),
      Plain("same-height", "Arrange", "Make Same Height", "", [](const TDesigner& D) { return D.Selection().size() > 1; },
            [](TActionContext& C) { C.Designer.SameHeight(); }),
      Plain("centre", "Arrange", "Centre in Form", "", Components,
            [](TActionContext& C) { C.Designer.CentreInForm(true, true); }),
      Plain("bring-to-front", "Arrange", "Bring to Front", "", Components,
            [](TActionContext& C) { C.Designer.BringToFront(); }),
      Plain("send-to-back", "Arrange", "Send to Back", "", Components, [](TActionContext& C) { C.Designer.SendToBack(); }),
      Plain("undo", "Edit", "Undo", "Ctrl+Z", [](const TDesigner& D) { return D.CanUndo(); },
            [](TActionContext& C) { C.Designer.Undo(); }),
      Plain("redo", "Edit", "Redo", "Ctrl+Y, Ctrl+Shift+Z", [](const TDesigner& D) { return D.CanRedo(); },
            [](TActionContext& C) { C.Designer.Redo(); }),
      Plain("cut", "Edit", "Cut", "Ctrl+X", Components, [](TActionContext& C) { C.Clipboard = C.Designer.Cut(); }),
      Plain("copy", "Edit", "Copy", "Ctrl+C", Components, [](TActionContext& C) { C.Clipboard = C.Designer.Copy(); }),
      Plain("paste", "Edit", "Paste", "Ctrl+V", Always, [](TActionContext& C) { C.Designer.Paste(C.Clipboard); }),
      Plain("delete", "Edit", "Delete", "Del", Components, [](TActionContext& C) { C.Designer.Delete(); }),
      Plain("select-all", "Edit", "Select All", "Ctrl+A", Always, [](TActionContext& C) { C.Designer.SelectAll(); }),
      Plain("select-next", "Edit", "Select Next", "Tab", Always, [](TActionContext& C) { C.Designer.SelectNext(); }),
      Plain("inspect", "", "", "", Always,
            [](TActionContext& C) {
              for (const auto& Rows : {C.Designer.Properties(), C.Designer.Events()})
                for (const TInspectorRow& Row : Rows) C.Out << Row.Path << "\t" << Row.Value << "\n";
            }),
      Script("screenshot", "screenshot FILE",
             [NeedFile](TActionContext& C, const TWords& W, const std::string&) {
               const std::string File = NeedFile(W, "screenshot");
               if (C.Outputs) C.Designer.View().SaveToFile(C.Outputs->Add(File));
               else C.Designer.View().SaveToFile(File);
             }),
  };
}

}  // namespace

// ---- Outputs -----------------------------------------------------------------------

struct TOutputs::TOutput {
  std::string Key;  // the file, as the system would find it
  std::unique_ptr<Classes::TFileWriter> File;
  std::vector<std::uint8_t> Bytes;
};

namespace {
std::string KeyOf(const std::string& FileName) {
  std::error_code Error;
  const auto Path = std::filesystem::weakly_canonical(FileName, Error);
  return Error ? FileName : Path.string();
}
}  // namespace

TOutputs::TOutputs() = default;
TOutputs::~TOutputs() = default;

Classes::TFileWriter& TOutputs::Add(const std::string& FileName) {
  // A second output of the same file replaces the first.
  const std::string Key = KeyOf(FileName);
  std::erase_if(FOutputs, [&](const auto& O) { return O->Key == Key; });
  FOutputs.push_back(std::make_unique<TOutput>(TOutput{Key, std::make_unique<Classes::TFileWriter>(FileName), {}}));
  return *FOutputs.back()->File;
}

void TOutputs::Keep(const std::string& FileName, std::vector<std::uint8_t> Bytes) {
  const std::string Key = KeyOf(FileName);
  for (auto& O : FOutputs)
    if (O->Key == Key) O->Bytes = std::move(Bytes);
}

const std::vector<std::uint8_t>* TOutputs::Pending(const std::string& FileName) const {
  const std::string Key = KeyOf(FileName);
  for (const auto& O : FOutputs)
    if (O->Key == Key && !O->Bytes.empty()) return &O->Bytes;
  return nullptr;
}

void TOutputs::Commit() {
  for (auto& O : FOutputs) O->File->Commit();
  FOutputs.clear();
}

// ---- The table ---------------------------------------------------------------------

const std::vector<TAction>& Actions() {
  static const std::vector<TAction> Table = MakeActions();
  return Table;
}

const TAction* FindAction(const std::string& Verb) {
  for (const TAction& A : Actions())
    if (A.Verb == Verb) return &A;
  return nullptr;
}

std::string ActionsHelp() {
  std::string Help, Line = " ";
  for (const TAction& A : Actions()) {
    if (Line.size() + A.Usage.size() + 3 > 80) Help += Line + "\n", Line = " ";
    Line += (Line.size() > 1 ? " | " : " ") + A.Usage;
  }
  return Help + Line + "\n";
}

std::vector<std::string> SplitActions(const std::string& Script) {
  std::vector<std::string> List;
  std::size_t Start = 0;
  for (std::size_t I = 0; I <= Script.size();) {
    if (I == Script.size() || Script[I] == ';') {
      if (std::string Action = Trim(Script.substr(Start, I - Start)); !Action.empty()) List.push_back(Action);
      Start = ++I;
    } else {
      I = Script[I] == '\'' ? QuotedEnd(Script, I) : I + 1;
    }
  }
  return List;
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

void RunAction(const TAction& Action, TActionContext& Context) { Action.Run(Context, {Action.Verb}, Action.Verb); }

namespace {
int StatusOf(const std::exception& E) {
  return dynamic_cast<const EDesignError*>(&E) ? Tool::ExitBadInput : Tool::ExitStatusFor(E);
}
}  // namespace

void RunActions(TDesigner& Designer, TPackages& Packages, const std::string& Script, std::ostream& Out,
                std::string& Clipboard) {
  std::vector<std::string> List;
  try {
    List = SplitActions(Script);
  } catch (const std::exception& E) {
    throw EActionError(std::string("--actions: ") + SysUtils::PrintableText(E.what()), Tool::ExitBadInput);
  }
  TOutputs Outputs;
  TActionContext Context{Designer, Packages, Out, Clipboard, &Outputs};
  for (const std::string& Action : List) {
    try {
      const std::vector<std::string> Words = SplitWords(Action);
      const TAction* Found = FindAction(Words.front());
      if (!Found) throw EDesignError("no such action");
      if (Found->Usage == Found->Verb && Words.size() != 1) throw EDesignError("expected " + Found->Verb + " alone");
      Found->Run(Context, Words, Action);
    } catch (const std::exception& E) {
      // A file the action names is not named again.
      std::string Fault = E.what();
      if (const auto* Read = dynamic_cast<const Classes::EReadError*>(&E);
          Read && !Read->Source().empty() && Action.find(Read->Source()) != std::string::npos)
        Fault = Classes::EReadError("", Read->Where(), Read->Fault()).Message();
      throw EActionError(Excerpt(Action, 80) + ": " + SysUtils::PrintableText(Fault), StatusOf(E));
    }
  }
  try {
    Outputs.Commit();
  } catch (const std::exception& E) {
    throw EActionError(SysUtils::PrintableText(E.what()), StatusOf(E));
  }
  Out.flush();
}

}  // namespace Design
