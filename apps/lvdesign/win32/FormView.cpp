#include "FormView.hpp"

#include <windowsx.h>

#include <filesystem>

#include "Ids.hpp"
#include "Presenting.hpp"
#include "Wide.hpp"

namespace Lvdesign {

namespace {

constexpr int Margin = 16, Border = 4, CaptionHeight = 22;

LPCWSTR CursorFor(Design::TGrab Grab) {
  // In the order of Design::TPointer.
  static const LPCWSTR Cursors[] = {IDC_ARROW, IDC_SIZEWE, IDC_SIZENS, IDC_SIZENWSE, IDC_SIZENESW};
  return Cursors[int(Design::PointerFor(Grab))];
}

}  // namespace

TFormView::TFormView(THost& Host, Design::TDesigner& Designer) : FHost(Host), FDesigner(Designer) {
  RegisterWindowClass(Ids::FormViewClass, &ObjectProcedure<TFormView>, CS_DBLCLKS, nullptr);
  FWindow = ::CreateWindowExW(WS_EX_CLIENTEDGE, Ids::FormViewClass, L"", WS_CHILD | WS_VISIBLE | WS_HSCROLL | WS_VSCROLL |
                              WS_CLIPSIBLINGS | WS_TABSTOP, 0, 0, 100, 100, Host.Window(),
                              reinterpret_cast<HMENU>(INT_PTR(Ids::FormView)), ::GetModuleHandleW(nullptr), this);
  if (const wchar_t* File = _wgetenv(L"LVDESIGN_FRAME_TIMES"); File && *File)
    FFrameTimes.open(std::filesystem::path(File), std::ios::app);
}

bool TFormView::SizingForm() const {
  return FDragging && (FDragGrab == Design::TGrab::FormRight || FDragGrab == Design::TGrab::FormBottom ||
                       FDragGrab == Design::TGrab::FormCorner);
}

POINT TFormView::ToForm(LPARAM L) const {
  return {GET_X_LPARAM(L) + FScrollX - Margin - Border, GET_Y_LPARAM(L) + FScrollY - Margin - Border - CaptionHeight};
}

void TFormView::Update() {
  const Forms::TForm& Form = FDesigner.Form();
  RECT Client;
  ::GetClientRect(FWindow, &Client);
  const int Width = Form.ClientWidth() + 2 * (Margin + Border), Height = Form.ClientHeight() + 2 * (Margin + Border) + CaptionHeight;
  const int X = FScrollX, Y = FScrollY;
  const bool Moved = Width != FRange.cx || Height != FRange.cy || !::EqualRect(&Client, &FPage);
  if (Moved) {
    const auto Range = [&](int Bar, int Size, int Page, int& Position) {
      Position = std::max(0, std::min(Position, Size - Page));
      SCROLLINFO Info{sizeof Info, SIF_RANGE | SIF_PAGE | SIF_POS, 0, Size - 1, UINT(std::max(Page, 0)), Position};
      ::SetScrollInfo(FWindow, Bar, &Info, TRUE);
    };
    Range(SB_HORZ, Width, Client.right, FScrollX);
    Range(SB_VERT, Height, Client.bottom, FScrollY);
    FRange = {Width, Height};
    FPage = Client;
  }
  if (Moved || X != FScrollX || Y != FScrollY) {
    FShownWidth = 0;  // all of it anew
    ::InvalidateRect(FWindow, nullptr, FALSE);
  }
  if (FVersion != FDesigner.ViewVersion()) {
    FVersion = FDesigner.ViewVersion();
    const RECT Dirty = Changed();
    ::InvalidateRect(FWindow, &Dirty, FALSE);
  }
  ::UpdateWindow(FWindow);
}

RECT TFormView::Changed() {
  const Graphics::TBitmap& View = FDesigner.View();
  const int W = View.Width(), H = View.Height();
  const int Left = Margin + Border - FScrollX, Top = Margin + Border + CaptionHeight - FScrollY;
  // A caption or a size of its own: the frame too.
  if (W != FShownWidth || H != FShownHeight || FDesigner.Form().Caption() != FShownCaption) {
    FShown.assign(std::size_t(W) * std::size_t(H), 0);
    for (int Row = 0; Row < H; ++Row)
      std::copy_n(reinterpret_cast<const std::uint32_t*>(View.ScanLine(Row)), W, FShown.data() + std::size_t(Row) * W);
    FShownWidth = W, FShownHeight = H, FShownCaption = FDesigner.Form().Caption();
    RECT All;
    ::GetClientRect(FWindow, &All);
    return All;
  }
  int MinX = W, MaxX = -1, MinY = H, MaxY = -1;
  for (int Row = 0; Row < H; ++Row) {
    const auto* Now = reinterpret_cast<const std::uint32_t*>(View.ScanLine(Row));
    std::uint32_t* Was = FShown.data() + std::size_t(Row) * W;
    if (std::equal(Now, Now + W, Was)) continue;
    int First = 0, Last = W - 1;
    while (Now[First] == Was[First]) ++First;
    while (Now[Last] == Was[Last]) --Last;
    MinX = std::min(MinX, First), MaxX = std::max(MaxX, Last), MinY = std::min(MinY, Row), MaxY = std::max(MaxY, Row);
    std::copy(Now + First, Now + Last + 1, Was + First);
  }
  if (MaxX < 0) return {};
  return {Left + MinX, Top + MinY, Left + MaxX + 1, Top + MaxY + 1};
}

void TFormView::Paint() {
  PAINTSTRUCT Paint;
  const HDC Dc = ::BeginPaint(FWindow, &Paint);
  const Graphics::TBitmap& View = FDesigner.View();
  const int W = View.Width(), H = View.Height();
  const int Left = Margin - FScrollX, Top = Margin - FScrollY;
  RECT Outer{Left, Top, Left + W + 2 * Border, Top + H + 2 * Border + CaptionHeight};
  // The frame as the form's window has it: a raised border and a caption
  // strip with the form's caption.
  ::FillRect(Dc, &Outer, ::GetSysColorBrush(COLOR_BTNFACE));
  ::DrawEdge(Dc, &Outer, EDGE_RAISED, BF_RECT);
  RECT Caption{Outer.left + Border, Outer.top + Border, Outer.right - Border, Outer.top + Border + CaptionHeight - 1};
  ::FillRect(Dc, &Caption, ::GetSysColorBrush(COLOR_ACTIVECAPTION));
  ::SetBkMode(Dc, TRANSPARENT);
  ::SetTextColor(Dc, RGB(255, 255, 255));
  const HGDIOBJ Font = ::SelectObject(Dc, ::GetStockObject(DEFAULT_GUI_FONT));
  RECT Text = Caption;
  Text.left += 4;
  ::DrawTextW(Dc, Widen(FDesigner.Form().Caption()).c_str(), -1, &Text,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
  ::SelectObject(Dc, Font);
  if (W > 0 && H > 0) {
    // The view's rows are top-down in memory, 32 bits a pixel.
    BITMAPINFO Info{};
    Info.bmiHeader = {sizeof(BITMAPINFOHEADER), W, -H, 1, 32, BI_RGB};
    ::SetDIBitsToDevice(Dc, Outer.left + Border, Caption.bottom + 1, DWORD(W), DWORD(H), 0, 0, 0, UINT(H),
                        View.ScanLine(0), &Info, DIB_RGB_COLORS);
  }
  ::ExcludeClipRect(Dc, Outer.left, Outer.top, Outer.right, Outer.bottom);
  RECT Client;
  ::GetClientRect(FWindow, &Client);
  ::FillRect(Dc, &Client, ::GetSysColorBrush(COLOR_APPWORKSPACE));
  ::EndPaint(FWindow, &Paint);
}

void TFormView::Scroll(int Bar, int Request, int Lines) {
  SCROLLINFO Info{sizeof Info, SIF_ALL};
  ::GetScrollInfo(FWindow, Bar, &Info);
  int& Position = Bar == SB_HORZ ? FScrollX : FScrollY;
  switch (Request) {
    case SB_LINEUP: Position -= 16 * Lines; break;
    case SB_LINEDOWN: Position += 16 * Lines; break;
    case SB_PAGEUP: Position -= int(Info.nPage); break;
    case SB_PAGEDOWN: Position += int(Info.nPage); break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: Position = Info.nTrackPos; break;
    default: return;
  }
  Update();
}

void TFormView::ContextMenu(POINT Form, POINT Screen) {
  // The menu acts on the selection: what is under the press is selected
  // first, unless it is already. A handle or an edge keeps the selection,
  // and a chosen palette class places nothing.
  if (!FDesigner.Tool() && FDesigner.GrabAt(Form.x, Form.y) == Design::TGrab::None)
    FHost.Edit([&] {
      FDesigner.MouseDown(Form.x, Form.y, false);
      FDesigner.MouseUp(Form.x, Form.y);
    });
  const HMENU Menu = ::CreatePopupMenu();
  const auto& Actions = Design::Actions();
  const auto Add = [&](std::size_t I) {
    const std::string Label = Design::MenuLabel(Actions[I], FDesigner) + "\t" + Design::MenuShortcut(Actions[I]);
    ::AppendMenuW(Menu, MF_STRING | (Actions[I].Enabled(FDesigner) ? 0 : MF_GRAYED), Ids::Action + I,
                  Widen(Label).c_str());
  };
  for (std::size_t I = 0; I < Actions.size(); ++I)
    if (Design::InContextMenu(Actions[I])) Add(I);
  ::AppendMenuW(Menu, MF_SEPARATOR, 0, nullptr);
  for (std::size_t I = 0; I < Actions.size(); ++I)
    if (Actions[I].Menu == "Arrange") Add(I);
  const int Chosen = ::TrackPopupMenu(Menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, Screen.x, Screen.y, 0, FHost.Window(), nullptr);
  ::DestroyMenu(Menu);
  if (Chosen) FHost.Command(Chosen);
}

void TFormView::Key(WPARAM Key) {
  if (::GetKeyState(VK_CONTROL) < 0) return;
  static const std::pair<WPARAM, Design::TFormKey> FormKeys[] = {
      {VK_LEFT, Design::TFormKey::Left}, {VK_RIGHT, Design::TFormKey::Right}, {VK_UP, Design::TFormKey::Up},
      {VK_DOWN, Design::TFormKey::Down}, {VK_TAB, Design::TFormKey::Tab},     {VK_ESCAPE, Design::TFormKey::Escape}};
  const bool Shift = ::GetKeyState(VK_SHIFT) < 0;
  for (const auto& [Code, Form] : FormKeys)
    if (Code == Key) return FHost.Edit([&, Form = Form] { Design::FormKey(FDesigner, Form, Shift); });
}

void TFormView::EndDrag(POINT At) {
  if (!FDragging) return;
  FDragging = false;
  FHost.Edit([&] { FDesigner.MouseUp(At.x, At.y); });
}

LRESULT TFormView::Handle(UINT Message, WPARAM W, LPARAM L) {
  switch (Message) {
    case WM_PAINT:
      Paint();
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SIZE:
      Update();
      return 0;
    case WM_HSCROLL:
    case WM_VSCROLL:
      Scroll(Message == WM_HSCROLL ? SB_HORZ : SB_VERT, LOWORD(W));
      return 0;
    case WM_MOUSEWHEEL:
      Scroll(SB_VERT, GET_WHEEL_DELTA_WPARAM(W) > 0 ? SB_LINEUP : SB_LINEDOWN, 3);
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(L) == HTCLIENT) {
        POINT At;
        ::GetCursorPos(&At);
        ::ScreenToClient(FWindow, &At);
        const POINT Form = ToForm(MAKELPARAM(At.x, At.y));
        const Design::TGrab Grab = FDragging ? FDragGrab : FDesigner.GrabAt(Form.x, Form.y);
        ::SetCursor(::LoadCursorW(nullptr, FDesigner.Tool() && !FDragging ? IDC_CROSS : CursorFor(Grab)));
        return TRUE;
      }
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      ::SetFocus(FWindow);
      if (FDragging) return 0;
      const POINT At = ToForm(L);
      FDragging = true;
      FLast = At;
      FDragGrab = FDesigner.Tool() ? Design::TGrab::None : FDesigner.GrabAt(At.x, At.y);
      ::SetCapture(FWindow);
      FHost.Edit([&] { FDesigner.MouseDown(At.x, At.y, (W & MK_SHIFT) != 0); });
      return 0;
    }
    case WM_MOUSEMOVE: {
      if (!FDragging) return 0;
      const auto Start = std::chrono::steady_clock::now();
      FLast = ToForm(L);
      FHost.Edit([&] { FDesigner.MouseMove(FLast.x, FLast.y); }, true);
      if (FFrameTimes.is_open())
        FFrameTimes << std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Start).count()
                    << std::endl;
      return 0;
    }
    case WM_LBUTTONUP:
      if (FDragging) {
        FLast = ToForm(L);
        ::ReleaseCapture();  // ends the drag there, through WM_CAPTURECHANGED
        EndDrag(FLast);
      }
      return 0;
    case WM_CAPTURECHANGED:
      // A drag the window loses ends where the mouse was last seen.
      EndDrag(FLast);
      return 0;
    case WM_RBUTTONUP: {
      ::SetFocus(FWindow);
      POINT Screen{GET_X_LPARAM(L), GET_Y_LPARAM(L)};
      ::ClientToScreen(FWindow, &Screen);
      ContextMenu(ToForm(L), Screen);
      return 0;
    }
    case WM_KEYDOWN:
      Key(W);
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS | DLGC_WANTTAB;
    default:
      break;
  }
  return ::DefWindowProcW(FWindow, Message, W, L);
}

}  // namespace Lvdesign
