#include "PropertyGrid.hpp"

#include <windowsx.h>

#include "Ids.hpp"
#include "Presenting.hpp"
#include "Wide.hpp"

namespace Lvdesign {

using namespace std::string_literals;
using Design::TInspectorRow;
using Design::TRowKind;

namespace {

constexpr int RowHeight = 18, Indent = 12;
const wchar_t* const NoChoice = L"(none)";

HWND Child(HWND Parent, const wchar_t* Class, DWORD Style, int Id, DWORD ExStyle = 0) {
  const HWND Window = ::CreateWindowExW(ExStyle, Class, L"", WS_CHILD | Style, 0, 0, 10, 10, Parent,
                                        reinterpret_cast<HMENU>(INT_PTR(Id)), ::GetModuleHandleW(nullptr), nullptr);
  ::SendMessageW(Window, WM_SETFONT, WPARAM(::GetStockObject(DEFAULT_GUI_FONT)), TRUE);
  return Window;
}

std::string TextOf(HWND Window) {
  std::wstring Text(std::size_t(::GetWindowTextLengthW(Window)) + 1, L'\0');
  Text.resize(std::size_t(::GetWindowTextW(Window, Text.data(), int(Text.size()))));
  return Narrow(Text);
}

// A list's row as the list control holds it: what a program reading the
// inspector from outside finds.
std::wstring RowText(const TInspectorRow& Row) { return Widen(Row.Path + "\t" + Row.Value); }

void Swatch(HDC Dc, RECT At, const std::string& Value) {
  if (const auto Colour = Design::SwatchColour(Value)) {
    const HBRUSH Brush = ::CreateSolidBrush(COLORREF(*Colour));
    ::FillRect(Dc, &At, Brush);
    ::DeleteObject(Brush);
  } else {
    // No colour of its own: crossed out.
    ::FillRect(Dc, &At, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::MoveToEx(Dc, At.left, At.bottom - 1, nullptr);
    ::LineTo(Dc, At.right, At.top - 1);
  }
  ::FrameRect(Dc, &At, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
}

}  // namespace

TPropertyGrid::TPropertyGrid(THost& Host, Design::TDesigner& Designer) : FHost(Host), FDesigner(Designer) {
  const HWND Parent = Host.Window();
  FComponents = Child(Parent, WC_COMBOBOXW, WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWNLIST, Ids::ComponentList);
  FTabs = Child(Parent, WC_TABCONTROLW, WS_VISIBLE | WS_CLIPSIBLINGS, Ids::InspectorTabs);
  for (const wchar_t* Name : {L"Properties", L"Events"}) {
    TCITEMW Item{TCIF_TEXT};
    Item.pszText = const_cast<wchar_t*>(Name);
    TabCtrl_InsertItem(FTabs, TabCtrl_GetItemCount(FTabs), &Item);
  }
  FFilter = Child(Parent, WC_EDITW, WS_VISIBLE | ES_AUTOHSCROLL, Ids::Filter, WS_EX_CLIENTEDGE);
  ::SendMessageW(FFilter, EM_SETCUEBANNER, TRUE, LPARAM(L"Find a property"));
  FRows = Child(Parent, WC_LISTBOXW,
                WS_VISIBLE | WS_VSCROLL | WS_CLIPSIBLINGS | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOTIFY |
                    LBS_NOINTEGRALHEIGHT,
                Ids::Rows, WS_EX_CLIENTEDGE);
  ::SetWindowSubclass(FRows, &RowMouse, 1, DWORD_PTR(this));
  FFault = Child(Parent, WC_STATICW, WS_VISIBLE | SS_LEFT, Ids::Fault);
  LOGFONTW Font{};
  ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof Font, &Font);
  Font.lfWeight = FW_BOLD;
  FBold = ::CreateFontIndirectW(&Font);
  ::SetWindowPos(FTabs, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  Update();
}

TPropertyGrid::~TPropertyGrid() { ::DeleteObject(FBold); }

void TPropertyGrid::Place(int Left, int Top, int Width, int Height) {
  const int Fault = 48;
  ::MoveWindow(FComponents, Left, Top, Width, 300, TRUE);
  ::MoveWindow(FTabs, Left, Top + 28, Width, Height - 28, TRUE);
  RECT Inside{0, 0, Width, Height - 28};
  TabCtrl_AdjustRect(FTabs, FALSE, &Inside);
  const int X = Left + Inside.left, Y = Top + 28 + Inside.top, W = Inside.right - Inside.left;
  const int H = Inside.bottom - Inside.top;
  ::MoveWindow(FFilter, X, Y, W, 22, TRUE);
  ::MoveWindow(FRows, X, Y + 26, W, std::max(H - 26 - Fault, 40), TRUE);
  ::MoveWindow(FFault, X, Y + H - Fault + 4, W, Fault - 4, TRUE);
  ::SetWindowPos(FRows, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  if (FEditor) OpenEditor();
}

void TPropertyGrid::SetFault(const std::string& Fault) {
  if (Fault == FFaultText) return;
  FFaultText = Fault;
  ::SetWindowTextW(FFault, Widen(Fault).c_str());
}

std::vector<TInspectorRow> TPropertyGrid::Rows() const {
  std::vector<TInspectorRow> Rows;
  const std::string Filter = TextOf(FFilter);
  for (TInspectorRow& Row : FEvents ? FDesigner.Events() : FDesigner.Properties())
    if (Design::NameMatches(Row.Name, Filter)) Rows.push_back(std::move(Row));
  return Rows;
}

void TPropertyGrid::Update() {
  ShowComponents();
  ShowRows(Rows());
}

void TPropertyGrid::ShowComponents() {
  std::vector<std::string> Names;
  for (const Classes::TComponent* Component : FDesigner.Components()) Names.push_back(Design::Describe(*Component));
  if (Names != FComponentNames) {
    FComponentNames = Names;
    ::SendMessageW(FComponents, CB_RESETCONTENT, 0, 0);
    for (const std::string& Name : Names) ::SendMessageW(FComponents, CB_ADDSTRING, 0, LPARAM(Widen(Name).c_str()));
  }
  const auto& Selection = FDesigner.Selection();
  const auto All = FDesigner.Components();
  int Index = -1;
  if (Selection.size() == 1)
    Index = int(std::find(All.begin(), All.end(), Selection.front()) - All.begin());
  ::SendMessageW(FComponents, CB_SETCURSEL, WPARAM(Index), 0);
  if (Index < 0)
    ::SetWindowTextW(FComponents, Widen(std::to_string(Selection.size()) + " components selected").c_str());
}

namespace {
bool SameRows(const std::vector<TInspectorRow>& A, const std::vector<TInspectorRow>& B) {
  return std::equal(A.begin(), A.end(), B.begin(), B.end(), [](const TInspectorRow& X, const TInspectorRow& Y) {
    return X.Path == Y.Path && X.Value == Y.Value && X.NotDefault == Y.NotDefault && X.Choices == Y.Choices &&
           X.ReadOnly == Y.ReadOnly && X.Expandable == Y.Expandable;
  });
}
}  // namespace

void TPropertyGrid::ShowRows(const std::vector<TInspectorRow>& Rows) {
  if (SameRows(Rows, FShown)) return;
  const bool SameLayout = Rows.size() == FShown.size() &&
                          std::equal(Rows.begin(), Rows.end(), FShown.begin(), [](const auto& A, const auto& B) {
                            return A.Path == B.Path;
                          });
  FShown = Rows;
  ::SendMessageW(FRows, WM_SETREDRAW, FALSE, 0);
  const int Top = int(::SendMessageW(FRows, LB_GETTOPINDEX, 0, 0));
  if (!SameLayout) ::SendMessageW(FRows, LB_RESETCONTENT, 0, 0);
  int Chosen = -1;
  for (std::size_t I = 0; I < Rows.size(); ++I) {
    if (SameLayout) {
      // The text outside programs read, kept true to the value.
      ::SendMessageW(FRows, LB_DELETESTRING, I, 0);
      ::SendMessageW(FRows, LB_INSERTSTRING, I, LPARAM(RowText(Rows[I]).c_str()));
    } else {
      ::SendMessageW(FRows, LB_ADDSTRING, 0, LPARAM(RowText(Rows[I]).c_str()));
    }
    if (Rows[I].Path == FChosenPath) Chosen = int(I);
  }
  ::SendMessageW(FRows, LB_SETTOPINDEX, WPARAM(Top), 0);
  ::SendMessageW(FRows, LB_SETCURSEL, WPARAM(Chosen), 0);
  ::SendMessageW(FRows, WM_SETREDRAW, TRUE, 0);
  ::InvalidateRect(FRows, nullptr, TRUE);
  OpenEditor();
}

const TInspectorRow* TPropertyGrid::Chosen() const {
  const int Index = int(::SendMessageW(FRows, LB_GETCURSEL, 0, 0));
  return Index >= 0 && std::size_t(Index) < FShown.size() ? &FShown[std::size_t(Index)] : nullptr;
}

int TPropertyGrid::NameWidth() const {
  RECT Client;
  ::GetClientRect(FRows, &Client);
  return Client.right * 2 / 5;
}

RECT TPropertyGrid::ValueRect(int Index) const {
  RECT Item{};
  ::SendMessageW(FRows, LB_GETITEMRECT, WPARAM(Index), LPARAM(&Item));
  Item.left = NameWidth() + 1;
  ::MapWindowPoints(FRows, FHost.Window(), reinterpret_cast<POINT*>(&Item), 2);
  return Item;
}

void TPropertyGrid::CloseEditor() {
  if (FEditor) ::DestroyWindow(FEditor);
  for (HWND& Button : FButtons)
    if (Button) ::DestroyWindow(Button), Button = nullptr;
  FEditor = nullptr;
  FKind = TEditor::None;
}

void TPropertyGrid::OpenEditor() {
  const TInspectorRow* Row = Chosen();
  const int Index = int(::SendMessageW(FRows, LB_GETCURSEL, 0, 0));
  TEditor Kind = TEditor::None;
  if (Row && !Row->ReadOnly) switch (Row->Kind) {
      case TRowKind::String:
      case TRowKind::Integer:
      case TRowKind::Set:
      case TRowKind::Event: Kind = TEditor::Text; break;
      case TRowKind::Boolean:
      case TRowKind::SetElement:
      case TRowKind::Enumeration:
      case TRowKind::Reference: Kind = TEditor::List; break;
      case TRowKind::Color:
      case TRowKind::Cursor: Kind = TEditor::NameOrNumber; break;
      case TRowKind::Graphic: Kind = TEditor::Graphic; break;
      case TRowKind::Object: break;
    }
  // The editor open for this row already stays, with what is typed in it.
  if (Kind != FKind || !Row || Row->Path != FChosenPath || Kind == TEditor::Graphic) CloseEditor();
  if (!Row || Kind == TEditor::None) return;
  FChosenPath = Row->Path;
  const RECT At = ValueRect(Index);
  const int W = At.right - At.left, H = At.bottom - At.top;
  const HWND Parent = FHost.Window();
  if (Kind == TEditor::Graphic) {
    const wchar_t* Labels[] = {L"Load\u2026", L"Clear", L"Save\u2026"};
    // Only a picture is saved back out; a filter comes from a file already.
    const int Count = Row->Path == "Picture" && Row->Value != "(None)" ? 3 : 2;
    for (int I = 0; I < Count; ++I) {
      FButtons[I] = Child(Parent, WC_BUTTONW, WS_VISIBLE | BS_PUSHBUTTON, Ids::LoadButton + I);
      ::SetWindowTextW(FButtons[I], Labels[I]);
      ::SetWindowPos(FButtons[I], HWND_TOP, At.right - (Count - I) * 52, At.top, 52, H, 0);
    }
    FKind = Kind;
    return;
  }
  if (!FEditor) {
    ++FSerial;
    FKind = Kind;
    if (Kind == TEditor::Text) {
      FEditor = Child(Parent, WC_EDITW, WS_VISIBLE | ES_AUTOHSCROLL, Ids::Editor);
      ::SetWindowSubclass(FEditor, &EditorKeys, 1, DWORD_PTR(this));
    } else {
      const DWORD Style = Kind == TEditor::List ? CBS_DROPDOWNLIST : CBS_DROPDOWN | CBS_AUTOHSCROLL;
      const DWORD Draw = Row->Kind == TRowKind::Color ? CBS_OWNERDRAWFIXED | CBS_HASSTRINGS : 0;
      FEditor = Child(Parent, WC_COMBOBOXW, WS_VISIBLE | WS_VSCROLL | Style | Draw, Ids::Editor);
      ::SetWindowSubclass(FEditor, &EditorKeys, 1, DWORD_PTR(this));
      if (const HWND Field = ::FindWindowExW(FEditor, nullptr, WC_EDITW, nullptr))
        ::SetWindowSubclass(Field, &EditorKeys, 1, DWORD_PTR(this));
    }
  }
  FOriginal = Kind == TEditor::Text ? Design::FieldText(*Row) : Row->Value;
  if (Kind == TEditor::Text) {
    ::SetWindowTextW(FEditor, Widen(FOriginal).c_str());
    ::MoveWindow(FEditor, At.left, At.top, W, H, TRUE);
  } else {
    ::SendMessageW(FEditor, CB_RESETCONTENT, 0, 0);
    const std::vector<std::string> Choices = Kind == TEditor::List ? Design::ListChoices(*Row) : Row->Choices;
    int Current = -1;
    for (const std::string& Choice : Choices) {
      const int At = int(::SendMessageW(FEditor, CB_ADDSTRING, 0, LPARAM(Choice.empty() ? NoChoice : Widen(Choice).c_str())));
      if (Choice == Row->Value) Current = At;
    }
    ::SendMessageW(FEditor, CB_SETCURSEL, WPARAM(Current), 0);
    if (Kind == TEditor::NameOrNumber) ::SetWindowTextW(FEditor, Widen(Row->Value).c_str());
    ::SendMessageW(FEditor, CB_SETITEMHEIGHT, WPARAM(-1), H - 6);
    ::MoveWindow(FEditor, At.left, At.top, W, 300, TRUE);
  }
  ::SetWindowPos(FEditor, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

std::string TPropertyGrid::EditorText() const {
  if (FKind == TEditor::List) {
    const int Index = int(::SendMessageW(FEditor, CB_GETCURSEL, 0, 0));
    if (Index < 0) return FOriginal;
    std::wstring Text(std::size_t(::SendMessageW(FEditor, CB_GETLBTEXTLEN, WPARAM(Index), 0)) + 1, L'\0');
    Text.resize(std::size_t(::SendMessageW(FEditor, CB_GETLBTEXT, WPARAM(Index), LPARAM(Text.data()))));
    return Text == NoChoice ? "" : Narrow(Text);
  }
  if (FKind == TEditor::NameOrNumber) {
    // A name chosen from the list, before the field below shows it.
    const int Index = int(::SendMessageW(FEditor, CB_GETCURSEL, 0, 0));
    if (Index >= 0 && ::SendMessageW(FEditor, CB_GETDROPPEDSTATE, 0, 0)) {
      std::wstring Text(std::size_t(::SendMessageW(FEditor, CB_GETLBTEXTLEN, WPARAM(Index), 0)) + 1, L'\0');
      Text.resize(std::size_t(::SendMessageW(FEditor, CB_GETLBTEXT, WPARAM(Index), LPARAM(Text.data()))));
      return Narrow(Text);
    }
  }
  return TextOf(FEditor);
}

void TPropertyGrid::Commit(WPARAM Serial) {
  const TInspectorRow* Row = Chosen();
  if (!FEditor || Serial != FSerial || !Row || Row->Path != FChosenPath) return;
  const std::string Text = EditorText();
  if (Text == FOriginal) return;
  FOriginal = Text;
  if (Row->Kind == TRowKind::Event) return Set(Row->Path, Text, true);
  Set(Row->Path, FKind == TEditor::Text ? Design::TypedValue(*Row, Text) : FKind == TEditor::List ? Design::ChosenValue(Text) : Text,
      false);
}

void TPropertyGrid::Set(const std::string& Path, const std::string& Value, bool Event) {
  // A refused value changes nothing: the rows show the value as it is,
  // and the fault under them.
  FHost.Edit([&] { Event ? FDesigner.SetEvent(Path, Value) : FDesigner.SetProperty(Path, Value); });
  FOriginal.clear();
  if (const TInspectorRow* Row = Chosen(); Row && FEditor && FKind == TEditor::Text)
    ::SetWindowTextW(FEditor, Widen(FOriginal = Design::FieldText(*Row)).c_str());
}

void TPropertyGrid::Graphic(int Id) {
  const std::string Path = FChosenPath;
  if (Id == Ids::ClearButton) return FHost.Edit([&] { FDesigner.ClearGraphic(Path); });
  const bool Saving = Id == Ids::SaveButton;
  const std::string File = FHost.ChooseFile(Widen((Saving ? "Save " : "Load ") + Path),
                                            L"Pictures (*.bmp;*.png;*.jpg;*.jpeg)\0*.bmp;*.png;*.jpg;*.jpeg\0"
                                            L"All files\0*.*\0"s,
                                            Saving, Saving ? L"bmp" : L"", "");
  if (File.empty()) return;
  FHost.Edit([&] { Saving ? FDesigner.SaveGraphic(Path, File) : FDesigner.LoadGraphic(Path, File); });
}

void TPropertyGrid::Expand(int Index) {
  if (Index < 0 || std::size_t(Index) >= FShown.size() || !FShown[std::size_t(Index)].Expandable) return;
  const std::string Path = FShown[std::size_t(Index)].Path;
  FHost.Edit([&] { FDesigner.SetExpanded(Path, !FDesigner.Expanded(Path)); });
}

bool TPropertyGrid::Command(int Id, int Code, HWND) {
  switch (Id) {
    case Ids::ComponentList:
      if (Code == CBN_SELCHANGE) {
        const int Index = int(::SendMessageW(FComponents, CB_GETCURSEL, 0, 0));
        const auto All = FDesigner.Components();
        if (Index >= 0 && std::size_t(Index) < All.size()) {
          const std::string Name = All[std::size_t(Index)]->Name();
          FHost.Edit([&] { FDesigner.Select({Name}); });
        }
      }
      return true;
    case Ids::Filter:
      if (Code == EN_CHANGE) ShowRows(Rows());
      return true;
    case Ids::Rows:
      if (Code == LBN_SELCHANGE) {
        // What was typed for the row left goes to it first.
        if (FEditor) Commit(FSerial);
        if (const TInspectorRow* Row = Chosen()) FChosenPath = Row->Path;
        OpenEditor();
        if (FEditor) ::SetFocus(FEditor);
      }
      return true;
    case Ids::Editor:
      if ((Code == CBN_SELCHANGE && !::SendMessageW(FEditor, CB_GETDROPPEDSTATE, 0, 0)) || Code == CBN_SELENDOK ||
          Code == EN_KILLFOCUS || Code == CBN_KILLFOCUS)
        ::PostMessageW(FHost.Window(), CommitMessage, FSerial, 0);
      return true;
    case Ids::LoadButton:
    case Ids::ClearButton:
    case Ids::SaveButton:
      if (Code == BN_CLICKED) Graphic(Id);
      return true;
    default:
      return false;
  }
}

bool TPropertyGrid::Notify(const NMHDR& Header) {
  if (Header.hwndFrom != FTabs || Header.code != TCN_SELCHANGE) return false;
  if (FEditor) Commit(FSerial);
  FEvents = TabCtrl_GetCurSel(FTabs) == 1;
  CloseEditor();
  ShowRows(Rows());
  return true;
}

void TPropertyGrid::MeasureItem(MEASUREITEMSTRUCT& Item) {
  Item.itemHeight = Item.CtlID == UINT(Ids::Rows) ? RowHeight : RowHeight - 4;
}

bool TPropertyGrid::DrawItem(const DRAWITEMSTRUCT& Item) {
  const HDC Dc = Item.hDC;
  RECT R = Item.rcItem;
  const bool Selected = (Item.itemState & ODS_SELECTED) != 0;
  if (Item.CtlID == UINT(Ids::Editor)) {
    // A colour's list: a swatch before each name.
    ::FillRect(Dc, &R, ::GetSysColorBrush(Selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    if (Item.itemID == UINT(-1)) return true;
    std::wstring Text(std::size_t(::SendMessageW(Item.hwndItem, CB_GETLBTEXTLEN, Item.itemID, 0)) + 1, L'\0');
    Text.resize(std::size_t(::SendMessageW(Item.hwndItem, CB_GETLBTEXT, Item.itemID, LPARAM(Text.data()))));
    const int Side = R.bottom - R.top - 4;
    Swatch(Dc, {R.left + 2, R.top + 2, R.left + 2 + Side, R.top + 2 + Side}, Narrow(Text));
    ::SetBkMode(Dc, TRANSPARENT);
    ::SetTextColor(Dc, ::GetSysColor(Selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    R.left += Side + 6;
    ::DrawTextW(Dc, Text.c_str(), -1, &R, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    return true;
  }
  if (Item.CtlID != UINT(Ids::Rows)) return false;
  ::FillRect(Dc, &R, ::GetSysColorBrush(COLOR_WINDOW));
  if (Item.itemID == UINT(-1) || Item.itemID >= FShown.size()) return true;
  const TInspectorRow& Row = FShown[Item.itemID];
  const int Split = R.left + NameWidth();
  RECT Name{R.left + 2 + Row.Depth * Indent, R.top, Split - 2, R.bottom};
  if (Selected) {
    RECT Mark{R.left, R.top, Split, R.bottom};
    ::FillRect(Dc, &Mark, ::GetSysColorBrush(COLOR_HIGHLIGHT));
  }
  ::SetBkMode(Dc, TRANSPARENT);
  ::SetTextColor(Dc, ::GetSysColor(Selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  const HGDIOBJ Old = ::SelectObject(Dc, Row.NotDefault ? FBold : static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT)));
  if (Row.Expandable) {
    RECT Box{Name.left, R.top + 4, Name.left + 9, R.top + 13};
    ::FrameRect(Dc, &Box, ::GetSysColorBrush(COLOR_GRAYTEXT));
    ::DrawTextW(Dc, FDesigner.Expanded(Row.Path) ? L"-" : L"+", 1, &Box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    Name.left += 12;
  }
  ::DrawTextW(Dc, Widen(Row.Name).c_str(), -1, &Name, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
  ::SetTextColor(Dc, ::GetSysColor(Row.ReadOnly ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT));
  RECT Value{Split + 4, R.top, R.right - 2, R.bottom};
  if (Row.Kind == TRowKind::Color && !Row.Value.empty()) {
    const int Side = R.bottom - R.top - 6;
    Swatch(Dc, {Value.left, R.top + 3, Value.left + Side, R.top + 3 + Side}, Row.Value);
    Value.left += Side + 4;
  }
  // Strings as their text, as the field shows them; the list's text keeps the notation.
  ::DrawTextW(Dc, Widen(Design::FieldText(Row)).c_str(), -1, &Value, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
  ::SelectObject(Dc, Old);
  // The line between the columns, and under the row.
  const HGDIOBJ Pen = ::SelectObject(Dc, ::GetStockObject(DC_PEN));
  ::SetDCPenColor(Dc, ::GetSysColor(COLOR_BTNFACE));
  ::MoveToEx(Dc, Split, R.top, nullptr);
  ::LineTo(Dc, Split, R.bottom);
  ::MoveToEx(Dc, R.left, R.bottom - 1, nullptr);
  ::LineTo(Dc, R.right, R.bottom - 1);
  ::SelectObject(Dc, Pen);
  return true;
}

HBRUSH TPropertyGrid::Colour(HWND Control, HDC Dc) {
  if (Control != FFault) return nullptr;
  ::SetTextColor(Dc, RGB(192, 0, 0));
  ::SetBkColor(Dc, ::GetSysColor(COLOR_BTNFACE));
  return ::GetSysColorBrush(COLOR_BTNFACE);
}

LRESULT CALLBACK TPropertyGrid::EditorKeys(HWND Window, UINT Message, WPARAM W, LPARAM L, UINT_PTR, DWORD_PTR Self) {
  auto* Grid = reinterpret_cast<TPropertyGrid*>(Self);
  // The wheel scrolls the rows; it does not step through a closed list's values.
  if (Message == WM_MOUSEWHEEL) return ::SendMessageW(Grid->FRows, Message, W, L);
  // An open list has its own keys: Enter takes the choice, Escape closes it.
  if (Grid->FKind != TEditor::Text && ::SendMessageW(Grid->FEditor, CB_GETDROPPEDSTATE, 0, 0))
    return ::DefSubclassProc(Window, Message, W, L);
  if (Message == WM_KEYDOWN && W == VK_RETURN) {
    ::PostMessageW(Grid->FHost.Window(), CommitMessage, Grid->FSerial, 0);
    return 0;
  }
  if (Message == WM_KEYDOWN && W == VK_ESCAPE) {
    // Back to the value as it is.
    ::SetWindowTextW(Window, Widen(Grid->FOriginal).c_str());
    ::SendMessageW(Window, EM_SETSEL, 0, -1);
    return 0;
  }
  if (Message == WM_CHAR && (W == L'\r' || W == 27)) return 0;  // no beep
  return ::DefSubclassProc(Window, Message, W, L);
}

LRESULT CALLBACK TPropertyGrid::RowMouse(HWND Window, UINT Message, WPARAM W, LPARAM L, UINT_PTR, DWORD_PTR Self) {
  auto* Grid = reinterpret_cast<TPropertyGrid*>(Self);
  const LRESULT Result = ::DefSubclassProc(Window, Message, W, L);
  if (Message == WM_LBUTTONDOWN || Message == WM_LBUTTONDBLCLK) {
    const LRESULT Hit = ::SendMessageW(Window, LB_ITEMFROMPOINT, 0, L);
    const int Index = HIWORD(Hit) ? -1 : int(LOWORD(Hit));
    if (Index >= 0 && std::size_t(Index) < Grid->FShown.size()) {
      const TInspectorRow Row = Grid->FShown[std::size_t(Index)];
      // A click on a set's or an object's name unfolds it or folds it.
      if (GET_X_LPARAM(L) < Grid->NameWidth() && Row.Expandable) Grid->Expand(Index);
      // A double-click on an empty event names its handler.
      else if (Message == WM_LBUTTONDBLCLK && Row.Kind == TRowKind::Event && Row.Value.empty())
        Grid->FHost.Edit([&] { Grid->FDesigner.MakeHandler(Row.Path); });
    }
  }
  // The editor follows its row; what it covered is the list's to paint.
  if (Message == WM_VSCROLL || Message == WM_MOUSEWHEEL) {
    Grid->OpenEditor();
    ::InvalidateRect(Window, nullptr, FALSE);
  }
  return Result;
}

}  // namespace Lvdesign
