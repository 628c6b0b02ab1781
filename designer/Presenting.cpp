#include "Presenting.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <iterator>
#include <sstream>

#include "Classes.hpp"
#include "Graphics.hpp"
#include "SysUtils.hpp"
#include "TypInfo.hpp"

namespace Design {

TKey ParseShortcut(const std::string& Text) {
  TKey Key;
  std::string Name = Text;
  // Modifiers first, each with its '+'; a last '+' alone is the key itself.
  for (std::size_t Plus; (Plus = Name.find('+')) != std::string::npos && Plus + 1 < Name.size();) {
    const std::string Modifier = Name.substr(0, Plus);
    if (Modifier == "Ctrl") Key.Ctrl = true;
    else if (Modifier == "Shift") Key.Shift = true;
    else if (Modifier == "Alt") Key.Alt = true;
    else return {};
    Name.erase(0, Plus + 1);
  }
  // Menus write some keys shorter.
  if (Name == "Del") Name = "Delete";
  else if (Name == "Ins") Name = "Insert";
  else if (Name == "Esc") Name = "Escape";
  Key.Name = Name;
  return Key;
}

std::vector<TKey> ParseShortcuts(const std::string& Text) {
  std::vector<TKey> Keys;
  for (std::size_t From = 0; From < Text.size();) {
    const std::size_t Comma = Text.find(", ", From);
    Keys.push_back(ParseShortcut(Text.substr(From, Comma - From)));
    if (Comma == std::string::npos) break;
    From = Comma + 2;
  }
  return Keys;
}

std::string MenuShortcut(const TAction& Action) { return Action.Shortcut.substr(0, Action.Shortcut.find(", ")); }

std::string MenuLabel(const TAction& Action, const TDesigner& Designer) {
  if (Action.Verb == "undo") return Designer.UndoLabel();
  if (Action.Verb == "redo") return Designer.RedoLabel();
  return Action.Label;
}

bool InContextMenu(const TAction& Action) {
  static const char* const Verbs[] = {"cut", "copy", "paste", "delete"};
  return std::find(std::begin(Verbs), std::end(Verbs), Action.Verb) != std::end(Verbs);
}

bool RunChosenAction(const TAction& Action, TDesigner& Designer, TPackages& Packages, std::string& Clipboard) {
  if (!Action.Enabled(Designer)) return false;
  const std::string Before = Clipboard;
  std::ostringstream Printed;  // what an action prints is a script's output
  TActionContext Context{Designer, Packages, Printed, Clipboard};
  RunAction(Action, Context);
  return Clipboard != Before;
}

TAskIgnore AskIgnore(const std::function<int(const TQuestion&)>& Ask) {
  return [Ask](const std::string& Fault) {
    static const TIgnoreAnswer Answers[] = {TIgnoreAnswer::Ignore, TIgnoreAnswer::IgnoreAll, TIgnoreAnswer::Keep,
                                            TIgnoreAnswer::KeepAll, TIgnoreAnswer::Cancel};
    const int Chosen = Ask({"Error reading form",
                            Fault + "\n\nIgnore the error and go on reading, or keep what the form holds there?",
                            {"Ignore", "Ignore All", "Keep", "Keep All", "Cancel"},
                            4});
    return Chosen >= 0 && Chosen < 5 ? Answers[Chosen] : TIgnoreAnswer::Cancel;
  };
}

TQuestion SaveChangesQuestion(const TDesigner& Designer) {
  std::string Name = Designer.FileName().empty() ? "Unit1" : Designer.FileName();
  Name.erase(0, Name.find_last_of("/\\") + 1);
  return {"Save changes", "Save changes to " + Name + "?", {"Save", "Discard", "Cancel"}, 2};
}

bool FormHolds(const TDesigner& Designer, Classes::TComponentClass Class) {
  const auto All = Designer.Components();
  return std::any_of(All.begin(), All.end(), [&](const Classes::TComponent* C) { return &C->ClassType() == Class; });
}

std::string Initials(const std::string& ClassName) {
  std::string Out;
  const std::size_t Start = ClassName.size() > 1 && ClassName[0] == 'T' ? 1 : 0;
  for (std::size_t I = Start; I < ClassName.size() && Out.size() < 3; ++I)
    if (I == Start || std::isupper(static_cast<unsigned char>(ClassName[I]))) Out += ClassName[I];
  return Out;
}

bool FormKey(TDesigner& Designer, TFormKey Key, bool Shift) {
  const auto Step = [&](int DX, int DY) { Shift ? Designer.Resize(DX, DY) : Designer.Move(DX, DY); };
  switch (Key) {
    case TFormKey::Left: Step(-1, 0); return true;
    case TFormKey::Right: Step(1, 0); return true;
    case TFormKey::Up: Step(0, -1); return true;
    case TFormKey::Down: Step(0, 1); return true;
    case TFormKey::Tab:
      if (Shift) Designer.SelectNext(true);
      return Shift;
    case TFormKey::Escape: Designer.SetTool(nullptr); return true;
  }
  return false;
}

TPointer PointerFor(TGrab Grab) {
  switch (Grab) {
    case TGrab::Left:
    case TGrab::Right:
    case TGrab::FormRight: return TPointer::LeftRight;
    case TGrab::Top:
    case TGrab::Bottom:
    case TGrab::FormBottom: return TPointer::UpDown;
    case TGrab::TopLeft:
    case TGrab::BottomRight:
    case TGrab::FormCorner: return TPointer::Falling;
    case TGrab::TopRight:
    case TGrab::BottomLeft: return TPointer::Rising;
    default: return TPointer::Arrow;
  }
}

std::string Describe(const Classes::TComponent& Component) {
  return Component.Name() + ": " + Component.StoredClassName();
}

bool NameMatches(const std::string& Name, std::string_view Filter) {
  return std::search(Name.begin(), Name.end(), Filter.begin(), Filter.end(), [](char A, char B) {
           return SysUtils::LowerChar(A) == SysUtils::LowerChar(B);
         }) != Name.end();
}

std::optional<std::string> DecodeStringLiteral(std::string_view Literal) {
  try {
    return Classes::ReadTextString(std::string(Literal));
  } catch (const Classes::EReadError&) {
  }
  return std::nullopt;
}

std::string EncodeStringLiteral(std::string_view Text) { return Classes::TextString(std::string(Text)); }

namespace {
// A string row whose value reads back from its notation: several selected
// whose texts differ show none, and take what is typed as text.
std::optional<std::string> StringText(const TInspectorRow& Row) {
  if (Row.Kind != TRowKind::String) return std::nullopt;
  return Row.Value.empty() ? std::optional<std::string>("") : DecodeStringLiteral(Row.Value);
}
}  // namespace

std::string FieldText(const TInspectorRow& Row) {
  const auto Text = StringText(Row);
  return Text ? *Text : Row.Value;
}

std::string TypedValue(const TInspectorRow& Row, const std::string& Text) {
  return StringText(Row) ? EncodeStringLiteral(Text) : Text;
}

std::vector<std::string> ListChoices(const TInspectorRow& Row) {
  switch (Row.Kind) {
    case TRowKind::Boolean:
    case TRowKind::SetElement:
      return Row.Choices.empty() ? std::vector<std::string>{"False", "True"} : Row.Choices;
    case TRowKind::Reference: {
      std::vector<std::string> Choices{""};
      Choices.insert(Choices.end(), Row.Choices.begin(), Row.Choices.end());
      return Choices;
    }
    default:
      return Row.Choices;
  }
}

std::string ChosenValue(const std::string& Choice) { return Choice.empty() ? "''" : Choice; }

std::optional<Graphics::TColor> SwatchColour(const std::string& Value) {
  std::optional<std::int64_t> Number = TypInfo::IdentToInt("TColor", Value);
  if (!Number) {
    std::int64_t Parsed = 0;
    const auto [End, Error] = std::from_chars(Value.data(), Value.data() + Value.size(), Parsed);
    if (Error == std::errc() && End == Value.data() + Value.size() && !Value.empty()) Number = Parsed;
  }
  if (!Number) return std::nullopt;
  const auto Colour = Graphics::TColor(*Number);
  if (Colour == Graphics::clNone || Colour == Graphics::clDefault) return std::nullopt;
  return Graphics::ColorToRGB(Colour);
}

}  // namespace Design
