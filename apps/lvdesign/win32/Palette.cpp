#include "Palette.hpp"

#include <algorithm>

#include "Ids.hpp"
#include "Presenting.hpp"
#include "Wide.hpp"

namespace Lvdesign {

namespace {

constexpr int Glyph = 24, Button = 32;

// A glyph drawn by Paint on the button's face colour, in a bitmap the image list copies.
template <class F>
HBITMAP DrawGlyph(F Paint) {
  const HDC Screen = ::GetDC(nullptr);
  const HDC Dc = ::CreateCompatibleDC(Screen);
  const HBITMAP Bitmap = ::CreateCompatibleBitmap(Screen, Glyph, Glyph);
  ::ReleaseDC(nullptr, Screen);
  const HGDIOBJ Old = ::SelectObject(Dc, Bitmap);
  RECT All{0, 0, Glyph, Glyph};
  ::FillRect(Dc, &All, ::GetSysColorBrush(COLOR_BTNFACE));
  Paint(Dc);
  ::SelectObject(Dc, Old);
  ::DeleteDC(Dc);
  return Bitmap;
}

HBITMAP Arrow() {
  return DrawGlyph([](HDC Dc) {
    const POINT Head[] = {{8, 3}, {8, 19}, {18, 14}};
    const HGDIOBJ Brush = ::SelectObject(Dc, ::GetStockObject(BLACK_BRUSH));
    ::Polygon(Dc, Head, 3);
    const HPEN Pen = ::CreatePen(PS_SOLID, 3, RGB(0, 0, 0));
    const HGDIOBJ Old = ::SelectObject(Dc, Pen);
    ::MoveToEx(Dc, 12, 14, nullptr);
    ::LineTo(Dc, 16, 22);
    ::SelectObject(Dc, Old);
    ::SelectObject(Dc, Brush);
    ::DeleteObject(Pen);
  });
}

HBITMAP Plain(const std::string& ClassName) {
  return DrawGlyph([&](HDC Dc) {
    RECT Box{2, 2, Glyph - 2, Glyph - 2};
    ::FillRect(Dc, &Box, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::FrameRect(Dc, &Box, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    ::SetBkMode(Dc, TRANSPARENT);
    const HGDIOBJ Font = ::SelectObject(Dc, ::GetStockObject(DEFAULT_GUI_FONT));
    ::DrawTextW(Dc, Widen(Design::Initials(ClassName)).c_str(), -1, &Box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    ::SelectObject(Dc, Font);
  });
}

// The class's palette bitmap as the system loads it from the module that
// registered it, scaled to the button's glyph; nothing where it has none.
HBITMAP Loaded(Windows::HMODULE Module, const std::string& ClassName) {
  if (!Module) return nullptr;
  const HBITMAP Bitmap = ::LoadBitmapW(reinterpret_cast<HINSTANCE>(Module), Widen(ClassName).c_str());
  if (!Bitmap) return nullptr;
  BITMAP Size{};
  ::GetObjectW(Bitmap, sizeof Size, &Size);
  const HBITMAP Scaled = DrawGlyph([&](HDC Dc) {
    const HDC From = ::CreateCompatibleDC(Dc);
    const HGDIOBJ Old = ::SelectObject(From, Bitmap);
    // Keeping its proportions, centred.
    const int Longest = std::max<int>({Size.bmWidth, Size.bmHeight, 1});
    const int W = Size.bmWidth * Glyph / Longest, H = Size.bmHeight * Glyph / Longest;
    ::SetStretchBltMode(Dc, HALFTONE);
    ::StretchBlt(Dc, (Glyph - W) / 2, (Glyph - H) / 2, W, H, From, 0, 0, Size.bmWidth, Size.bmHeight, SRCCOPY);
    ::SelectObject(From, Old);
    ::DeleteDC(From);
  });
  ::DeleteObject(Bitmap);
  return Scaled;
}

}  // namespace

TPalette::TPalette(THost& Host, Design::TDesigner& Designer, Design::TPackages& Packages)
    : FHost(Host), FDesigner(Designer), FPackages(Packages) {
  const HINSTANCE Instance = ::GetModuleHandleW(nullptr);
  FTabs = ::CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 100, Height,
                            Host.Window(), reinterpret_cast<HMENU>(INT_PTR(Ids::PaletteTabs)), Instance, nullptr);
  FBar = ::CreateWindowExW(0, TOOLBARCLASSNAMEW, L"",
                           WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NORESIZE | CCS_NOPARENTALIGN |
                               CCS_NODIVIDER,
                           0, 0, 100, Button + 4, Host.Window(), reinterpret_cast<HMENU>(INT_PTR(Ids::PaletteBar)),
                           Instance, nullptr);
  ::SendMessageW(FTabs, WM_SETFONT, WPARAM(::GetStockObject(DEFAULT_GUI_FONT)), TRUE);
  ::SendMessageW(FBar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  ::SendMessageW(FBar, TB_SETBITMAPSIZE, 0, MAKELPARAM(Glyph, Glyph));
  ::SetWindowPos(FBar, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  Rebuild();
}

TPalette::~TPalette() {
  if (FImages) ImageList_Destroy(FImages);
}

void TPalette::Place(int Left, int Top, int Width) {
  ::MoveWindow(FTabs, Left, Top, Width, Height, TRUE);
  RECT Inside{0, 0, Width, Height};
  TabCtrl_AdjustRect(FTabs, FALSE, &Inside);
  ::MoveWindow(FBar, Left + Inside.left, Top + Inside.top, Inside.right - Inside.left, Button + 4, TRUE);
}

void TPalette::Rebuild() {
  FButtons = FPackages.Palette();
  FPages.clear();
  for (const auto& B : FButtons)
    if (std::find(FPages.begin(), FPages.end(), B.Page) == FPages.end()) FPages.push_back(B.Page);
  TabCtrl_DeleteAllItems(FTabs);
  for (std::size_t I = 0; I < FPages.size(); ++I) {
    std::wstring Name = Widen(FPages[I]);
    TCITEMW Item{TCIF_TEXT};
    Item.pszText = Name.data();
    TabCtrl_InsertItem(FTabs, int(I), &Item);
  }
  if (FImages) ImageList_Destroy(FImages);
  FImages = ImageList_Create(Glyph, Glyph, ILC_COLOR32, int(FButtons.size()) + 1, 4);
  const auto Add = [&](HBITMAP Bitmap) {
    ImageList_Add(FImages, Bitmap, nullptr);
    ::DeleteObject(Bitmap);
  };
  Add(Arrow());
  for (const auto& B : FButtons) {
    const HBITMAP Bitmap = B.Class ? Loaded(B.Module, B.Class->ClassName) : nullptr;
    Add(Bitmap ? Bitmap : Plain(B.Class ? B.Class->ClassName : "?"));
  }
  ::SendMessageW(FBar, TB_SETIMAGELIST, 0, LPARAM(FImages));
  ShowPage();
}

void TPalette::ShowPage() {
  while (::SendMessageW(FBar, TB_DELETEBUTTON, 0, 0)) {
  }
  const int Page = std::max(TabCtrl_GetCurSel(FTabs), 0);
  std::vector<TBBUTTON> Buttons{{0, Ids::Tool, TBSTATE_ENABLED, BTNS_CHECKGROUP}};
  for (std::size_t I = 0; I < FButtons.size(); ++I)
    if (FButtons[I].Class && std::size_t(Page) < FPages.size() && FButtons[I].Page == FPages[std::size_t(Page)])
      Buttons.push_back({int(I) + 1, Ids::Tool + 1 + int(I), TBSTATE_ENABLED, BTNS_CHECKGROUP});
  ::SendMessageW(FBar, TB_ADDBUTTONSW, Buttons.size(), LPARAM(Buttons.data()));
  ::SendMessageW(FBar, TB_SETBUTTONSIZE, 0, MAKELPARAM(Button, Button));
  Update();
}

void TPalette::Update() {
  const Classes::TComponentClass Tool = FDesigner.Tool();
  ::SendMessageW(FBar, TB_CHECKBUTTON, Ids::Tool, !Tool);
  for (std::size_t I = 0; I < FButtons.size(); ++I)
    ::SendMessageW(FBar, TB_CHECKBUTTON, Ids::Tool + 1 + I, Tool && FButtons[I].Class == Tool);
}

bool TPalette::Command(int Id) {
  if (Id < Ids::Tool || Id > Ids::Tool + int(FButtons.size())) return false;
  const Classes::TComponentClass Class = Id == Ids::Tool ? nullptr : FButtons[std::size_t(Id - Ids::Tool - 1)].Class;
  FHost.Edit([&] { FDesigner.SetTool(Class); });
  return true;
}

void TPalette::Tip(NMTTDISPINFOW& Info) {
  const int Id = int(Info.hdr.idFrom);
  if (Id == Ids::Tool) FTip = L"Select";
  else if (Id > Ids::Tool && Id <= Ids::Tool + int(FButtons.size()) && FButtons[std::size_t(Id - Ids::Tool - 1)].Class)
    FTip = Widen(FButtons[std::size_t(Id - Ids::Tool - 1)].Class->ClassName);
  else return;
  Info.lpszText = FTip.data();
}

void TPalette::PageChanged() { ShowPage(); }

}  // namespace Lvdesign
