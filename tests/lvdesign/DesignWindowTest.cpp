// lvdesign.exe's window, driven by messages from this process as a user
// drives it, and its script: both make the form the Linux script makes.
#include "Driver.hpp"

#include <fstream>
#include <iterator>

#include "lvdesign/win32/Wide.hpp"

using namespace Driver;
using Lvdesign::Narrow;

namespace {

std::string Content(const fs::path& File) {
  std::ifstream In(File, std::ios::binary);
  std::string Text{std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
  std::erase(Text, '\r');
  return Text;
}

const fs::path Source = fs::path(TESSORIN_SOURCE_DIR) / "tests" / "lvdesign";

fs::path Scratch(const std::string& Name) {
  const fs::path Dir = fs::path(testing::TempDir()) / "lvdesign";
  fs::create_directories(Dir);
  fs::remove(Dir / Name);
  return Dir / Name;
}

// The form file as pkgtool prints it.
std::string FormText(const fs::path& Form) {
  const fs::path Text = Scratch(Form.stem().string() + "-printed.txt");
  EXPECT_EQ(RunProgram(L"pkgtool.exe form \"" + Form.wstring() + L"\" -o \"" + Text.wstring() + L"\""), 0u);
  return Content(Text);
}

std::wstring Clipboard() {
  std::wstring Text;
  if (!::OpenClipboard(nullptr)) return Text;
  if (const HANDLE Data = ::GetClipboardData(CF_UNICODETEXT)) {
    Text = static_cast<const wchar_t*>(::GlobalLock(Data));
    ::GlobalUnlock(Data);
  }
  ::CloseClipboard();
  return Text;
}

void SetClipboard(const std::wstring& Text) {
  const HGLOBAL Data = ::GlobalAlloc(GMEM_MOVEABLE, (Text.size() + 1) * sizeof(wchar_t));
  std::copy_n(Text.c_str(), Text.size() + 1, static_cast<wchar_t*>(::GlobalLock(Data)));
  ::GlobalUnlock(Data);
  ASSERT_TRUE(WaitFor([] { return ::OpenClipboard(nullptr) != 0; }));
  ::EmptyClipboard();
  ::SetClipboardData(CF_UNICODETEXT, Data);
  ::CloseClipboard();
}

bool Lists(const Driver::TDesigner& D, const std::wstring& Component) {
  const HWND List = D.Control(Ids::ComponentList);
  return ::SendMessageW(List, CB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(Component.c_str())) != CB_ERR;
}

}  // namespace

TEST(DesignWindow, ASessionByMessagesMakesTheFormTheScriptMakes) {
  const fs::path Saved = Scratch("by-messages.dfm");
  Driver::TDesigner D;
  EXPECT_EQ(TextOf(D.Main()), L"Unit1 - lvdesign");

  // The palette's button, then a rectangle dragged on the form.
  D.Command(Ids::Tool + 1);
  D.Drag({16, 16}, {136, 112});
  ASSERT_TRUE(WaitFor([&] { return D.Status() == L"LvFilterImage1: 16, 16, 120 x 96"; })) << Narrow(D.Status());
  EXPECT_EQ(TextOf(D.Main()), L"Unit1 * - lvdesign");

  D.Pick(L"Stretch", L"True");
  ASSERT_TRUE(D.Shows(L"Stretch", L"True"));
  D.Type(L"Width", L"144");
  ASSERT_TRUE(D.Shows(L"Width", L"144"));
  // A value the component refuses leaves the value, and says why.
  D.Type(L"Width", L"wide");
  ASSERT_TRUE(WaitFor([&] { return !TextOf(D.Control(Ids::Fault)).empty(); }));
  EXPECT_EQ(D.Row(L"Width"), L"Width\t144");
  D.Type(L"Hint", L"temp");
  ASSERT_TRUE(D.Shows(L"Hint", L"'temp'"));
  EXPECT_TRUE(TextOf(D.Control(Ids::Fault)).empty()) << "the edit that took kept the last one's fault";
  D.Action("undo");
  ASSERT_TRUE(D.Shows(L"Hint", L"''"));

  // Copy and paste through the system's clipboard.
  D.Action("copy");
  ASSERT_TRUE(WaitFor([] { return Clipboard().rfind(L"object LvFilterImage1: TLvFilterImage\r\n", 0) == 0; }))
      << Narrow(Clipboard());
  D.Action("paste");
  ASSERT_TRUE(WaitFor([&] { return Lists(D, L"LvFilterImage2: TLvFilterImage"); }));

  // Save As, through the dialog's own controls.
  D.Command(Ids::SaveAs);
  HWND Dialog = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (Dialog = WindowOf(D.Process(), L"#32770")) != nullptr; }));
  HWND Name = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    // The name's field: a list with a field (cmb13) or a field alone (edt1).
    Name = ::GetDlgItem(Dialog, 0x47c) ? ::GetDlgItem(Dialog, 0x47c) : ::GetDlgItem(Dialog, 0x480);
    return Name != nullptr;
  }));
  ::SendMessageW(Name, WM_SETTEXT, 0, LPARAM(Saved.wstring().c_str()));
  ::PostMessageW(Dialog, WM_COMMAND, IDOK, 0);
  // The title names the file, not its folder.
  ASSERT_TRUE(WaitFor([&] { return TextOf(D.Main()) == Saved.filename().wstring() + L" - lvdesign"; }))
      << Narrow(TextOf(D.Main()));
  EXPECT_EQ(FormText(Saved), Content(Source / "session.txt"));

  // Text another program put there, with its line breaks, pastes the same way.
  SetClipboard(L"object Spot: TLvFilterImage\r\n  Left = 240\r\n  Top = 200\r\nend\r\n");
  D.Action("paste");
  EXPECT_TRUE(WaitFor([&] { return Lists(D, L"Spot: TLvFilterImage"); }));
  // The form's own keys: an arrow nudges what is selected.
  ::PostMessageW(D.Control(Ids::FormView), WM_KEYDOWN, VK_RIGHT, 1);
  EXPECT_TRUE(WaitFor([&] { return D.Status().rfind(L"Spot: 241, 200, ", 0) == 0; })) << Narrow(D.Status());

  // Run: the viewer opens the form in a window of its own.
  D.Command(Ids::Run);
  HWND Viewer = nullptr;
  EXPECT_TRUE(WaitFor([&] {
    Viewer = ::FindWindowW(nullptr, L"Form1");
    DWORD Owner = 0;
    if (Viewer) ::GetWindowThreadProcessId(Viewer, &Owner);
    return Viewer && Owner != D.Process();
  }, std::chrono::seconds(30)));
  if (Viewer) ::PostMessageW(Viewer, WM_CLOSE, 0, 0);
}

TEST(DesignWindow, TheScriptMakesTheFormItMakesOnLinux) {
  std::ifstream In(Source / "session.actions");
  std::string Script;
  std::getline(In, Script);
  const fs::path Saved = Scratch("by-script.dfm");
  ASSERT_EQ(RunProgram(L"lvdesign.exe --actions \"" + Lvdesign::Widen(Script) + L"; save '" + Saved.wstring() + L"'\""), 0u);
  EXPECT_EQ(FormText(Saved), Content(Source / "session.txt"));
}
