// What every window of the design host shows the same way: the actions'
// menu items and keys as the table gives them, and the inspector's rows as
// text fields and lists. Each window draws these with its own widgets.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Actions.hpp"
#include "Designer.hpp"

namespace Design {

// ---- The actions in menus and on keys

// A key as the table writes it ("Ctrl+A", "Del", "Tab"), its name spelled
// out ("Delete", "Insert", "Escape"); an empty name where the text names
// no key.
struct TKey {
  std::string Name;
  bool Ctrl = false, Shift = false, Alt = false;
};
TKey ParseShortcut(const std::string& Text);
// An action's keys: "Ctrl+Y, Ctrl+Shift+Z".
std::vector<TKey> ParseShortcuts(const std::string& Text);
// The key a menu item shows: the first of the action's.
std::string MenuShortcut(const TAction& Action);
// Undo and Redo say which step they take ("Undo Move").
std::string MenuLabel(const TAction& Action, const TDesigner& Designer);
// What the form's right-click menu offers before Arrange: the clipboard's items.
bool InContextMenu(const TAction& Action);
// Runs an action chosen from a menu or by its key, with Clipboard as the
// system's clipboard holds it. An action no longer enabled by the time it
// runs does nothing, as its greyed item would. Answers whether the action
// left other text on the clipboard, for the window to put back.
bool RunChosenAction(const TAction& Action, TDesigner& Designer, TPackages& Packages, std::string& Clipboard);

// ---- Questions, keys and pointers

// A question a window asks with buttons of its own; the answer is the
// place of the button chosen, Cancel where the box was closed.
struct TQuestion {
  std::string Title, Text;
  std::vector<std::string> Buttons;
  int Cancel = 0;
};
// What Open and SetText take, asking each fault of a form with components
// the framework lacks as Ask asks: Ignore, Ignore All, Keep, Keep All, Cancel.
TAskIgnore AskIgnore(const std::function<int(const TQuestion&)>& Ask);
// Whether to save the changed form before it goes: Save (0), Discard (1), Cancel (2).
TQuestion SaveChangesQuestion(const TDesigner& Designer);
// Whether the form holds a component of Class: its package stays then.
bool FormHolds(const TDesigner& Designer, Classes::TComponentClass Class);
// TLvFilterImage: LFI, as a palette button without a bitmap shows its class.
std::string Initials(const std::string& ClassName);

// The keys the form view takes itself, each window naming its own.
enum class TFormKey { Left, Right, Up, Down, Tab, Escape };
// Arrows move the selection by a pixel, or size it with Shift; Shift+Tab
// selects the one before (Tab alone is the table's Select Next); Escape
// puts the palette's chosen class back. Answers whether the key did anything.
bool FormKey(TDesigner& Designer, TFormKey Key, bool Shift);
// The pointer over what a press would grab, or a drag has grabbed.
enum class TPointer { Arrow, LeftRight, UpDown, Falling, Rising };
TPointer PointerFor(TGrab Grab);

// ---- The inspector's rows

// "LvFilterImage1: TLvFilterImage", as the component list names it.
std::string Describe(const Classes::TComponent& Component);
// Whether the inspector's filter lets the row's name through: it holds
// Filter, ignoring case.
bool NameMatches(const std::string& Name, std::string_view Filter);
// A string as the text form writes it ('a''b'#13#10 + 'c') read as UTF-8
// text, by the form reader itself; nothing when it is no such string.
std::optional<std::string> DecodeStringLiteral(std::string_view Literal);
// UTF-8 text written back in that notation, as the form writer writes it.
std::string EncodeStringLiteral(std::string_view Text);
// What a row's text field shows: a string row its text without the
// notation (unless it cannot be read back from it), others their value.
std::string FieldText(const TInspectorRow& Row);
// What typing Text into that field sets.
std::string TypedValue(const TInspectorRow& Row, const std::string& Text);
// What a row's list offers: its choices, False and True for a boolean,
// an empty choice first for a reference (which takes it away).
std::vector<std::string> ListChoices(const TInspectorRow& Row);
// What choosing Choice from that list sets.
std::string ChosenValue(const std::string& Choice);
// The colour a TColor value shows as in a swatch (clRed, clBtnFace or a
// number), as RGB; nothing for clNone and clDefault, which are no colour of
// their own, nor for what is no colour value at all.
std::optional<Graphics::TColor> SwatchColour(const std::string& Value);

}  // namespace Design
