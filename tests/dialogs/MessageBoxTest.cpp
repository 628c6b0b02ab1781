// The conversion question as user32's own message box: another thread finds
// the box, reads it and presses a button, as a user would.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "Dialogs.hpp"
#include "Graphics.hpp"
#include "LvFltImg.hpp"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace fs = std::filesystem;

namespace {

// What the box showed, and the answer given.
struct TSeen {
  std::string Text;
  std::vector<std::string> Buttons;
  bool Found = false;
};

BOOL CALLBACK ReadChild(HWND Child, LPARAM Into) {
  auto& Seen = *reinterpret_cast<TSeen*>(Into);
  char Class[32] = {}, Text[256] = {};
  ::GetClassNameA(Child, Class, sizeof Class);
  ::GetWindowTextA(Child, Text, sizeof Text);
  if (lstrcmpiA(Class, "Button") == 0 && ::IsWindowVisible(Child)) Seen.Buttons.emplace_back(Text);
  if (lstrcmpiA(Class, "Static") == 0 && ::GetDlgCtrlID(Child) == 0xFFFF) Seen.Text = Text;
  return TRUE;
}

// Waits for the box captioned "Convert" to show with its buttons, reads it
// and presses the button with the given id.
TSeen Answer(int Button) {
  TSeen Seen;
  for (int Wait = 0; Wait < 300 && Seen.Buttons.empty(); ++Wait, ::Sleep(50)) {
    HWND Box = ::FindWindowA("#32770", "Convert");
    if (!Box || !::IsWindowVisible(Box)) continue;
    Seen = TSeen{};
    Seen.Found = true;
    ::EnumChildWindows(Box, ReadChild, reinterpret_cast<LPARAM>(&Seen));
    if (!Seen.Buttons.empty())
      ::PostMessageA(Box, WM_COMMAND, MAKEWPARAM(Button, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(Box, Button)));
  }
  return Seen;
}

bool HaveDesktop() { return std::getenv("DISPLAY") != nullptr; }

void Fill(Graphics::TBitmap& Bitmap, Graphics::TPixelFormat Format, int Width, int Height, Graphics::TColor Colour) {
  Bitmap.SetPixelFormat(Format);
  Bitmap.SetSize(Width, Height);
  Bitmap.Canvas()->Brush.Color = Colour;
  Bitmap.Canvas()->FillRect({0, 0, Width, Height});
}

const char Question[] = "The Imge will convert to \"24 bit color\" format";

fs::path ProgramBeside(const char* Name) {
  char Own[MAX_PATH];
  ::GetModuleFileNameA(nullptr, Own, MAX_PATH);
  return fs::path(Own).parent_path() / Name;
}

// A program started in Folder, ended and closed with the object.
class TChild {
public:
  TChild(std::string Command, const fs::path& Folder) {
    STARTUPINFOA Startup{};
    Startup.cb = sizeof Startup;
    const std::string In = Folder.string();
    Started = ::CreateProcessA(nullptr, Command.data(), nullptr, nullptr, FALSE, 0, nullptr, In.c_str(), &Startup,
                               &FProcess) != 0;
  }
  ~TChild() {
    if (!Started) return;
    if (::WaitForSingleObject(FProcess.hProcess, 0) == WAIT_TIMEOUT) ::TerminateProcess(FProcess.hProcess, 99);
    ::CloseHandle(FProcess.hThread);
    ::CloseHandle(FProcess.hProcess);
  }
  DWORD Wait() {
    DWORD Status = 99;
    ::WaitForSingleObject(FProcess.hProcess, 60000);
    ::GetExitCodeProcess(FProcess.hProcess, &Status);
    return Status;
  }
  bool Started = false;

private:
  PROCESS_INFORMATION FProcess{};
};

// A fresh folder holding picture.bmp, white and 8-bit, and filter.bmp, a
// black square.
fs::path Scratch(const char* Name, int PictureWidth, int PictureHeight, int FilterSide) {
  const fs::path Folder = fs::temp_directory_path() / Name;
  fs::remove_all(Folder);
  fs::create_directories(Folder);
  Graphics::TBitmap Picture, Filter;
  Fill(Picture, Graphics::pf8bit, PictureWidth, PictureHeight, (Graphics::RGB)(255, 255, 255));
  Fill(Filter, Graphics::pf24bit, FilterSide, FilterSide, (Graphics::RGB)(0, 0, 0));
  Picture.SaveToFile((Folder / "picture.bmp").string());
  Filter.SaveToFile((Folder / "filter.bmp").string());
  return Folder;
}

HWND WaitForWindow(const char* Caption) {
  for (int Wait = 0; Wait < 300; ++Wait, ::Sleep(50))
    if (HWND Window = ::FindWindowA(nullptr, Caption); Window && ::IsWindowVisible(Window)) return Window;
  return nullptr;
}

}  // namespace

TEST(SystemMessageBox, ItIsTheDefaultOnWindows) {
  Dialogs::SetMessageBoxResponder(nullptr);
  EXPECT_NE(dynamic_cast<Dialogs::TSystemResponder*>(&Dialogs::MessageBoxResponder()), nullptr);
}

TEST(SystemMessageBox, OkConvertsAndBlendsAndCancelLeavesThePicture) {
  if (!HaveDesktop()) GTEST_SKIP() << "no desktop to show the box on";
  Dialogs::SetMessageBoxResponder(nullptr);
  for (const int Button : {IDOK, IDCANCEL}) {
    auto Image = std::make_unique<LvFltImg::TLvFilterImage>(nullptr);
    Image->SetBounds(0, 0, 8, 8);
    Fill(*Image->Picture()->Bitmap(), Graphics::pf8bit, 8, 8, (Graphics::RGB)(255, 255, 255));
    Graphics::TBitmap Filter;
    Fill(Filter, Graphics::pf24bit, 4, 4, (Graphics::RGB)(0, 0, 0));
    Image->SetFilterBitMap(&Filter);

    TSeen Seen;
    std::thread User([&] { Seen = Answer(Button); });
    Image->Filter(2, 2);
    User.join();

    ASSERT_TRUE(Seen.Found) << "no box captioned Convert";
    EXPECT_EQ(Seen.Text, Question);
    EXPECT_EQ(Seen.Buttons, (std::vector<std::string>{"OK", "Cancel"}));
    Graphics::TBitmap* Picture = Image->Picture()->Bitmap();
    if (Button == IDOK) {
      EXPECT_EQ(Picture->PixelFormat(), Graphics::pf24bit);
      EXPECT_EQ(Picture->Pixel(3, 3), (Graphics::RGB)(0, 0, 0)) << "blended";
      EXPECT_EQ(Picture->Pixel(0, 0), (Graphics::RGB)(255, 255, 255)) << "outside the filter";
    } else {
      EXPECT_EQ(Picture->PixelFormat(), Graphics::pf8bit);
      EXPECT_EQ(Picture->Pixel(3, 3), (Graphics::RGB)(255, 255, 255)) << "unchanged";
    }
  }
}

TEST(SystemMessageBox, LvfilterAsksThroughItWithoutYesOrNo) {
  if (!HaveDesktop()) GTEST_SKIP() << "no desktop to show the box on";
  const fs::path Folder = Scratch("tessorin-lvfilter-box", 6, 6, 6);
  for (const int Button : {IDOK, IDCANCEL}) {
    const fs::path Output = Folder / (Button == IDOK ? "ok.bmp" : "cancel.bmp");
    TChild Filter("\"" + ProgramBeside(LVFILTER_PATH).string() + "\" picture.bmp filter.bmp -o " +
                      Output.filename().string(),
                  Folder);
    ASSERT_TRUE(Filter.Started) << ::GetLastError();
    const TSeen Seen = Answer(Button);
    const DWORD Status = Filter.Wait();

    ASSERT_TRUE(Seen.Found) << "no box captioned Convert";
    EXPECT_EQ(Seen.Text, Question);
    EXPECT_EQ(Seen.Buttons, (std::vector<std::string>{"OK", "Cancel"}));
    if (Button == IDOK) {
      EXPECT_EQ(Status, 0u);
      Graphics::TBitmap Result;
      Result.LoadFromFile(Output.string());
      EXPECT_EQ(Result.Pixel(2, 2), (Graphics::RGB)(0, 0, 0));
    } else {
      EXPECT_EQ(Status, 3u) << "declined";
      EXPECT_FALSE(fs::exists(Output));
    }
  }
  fs::remove_all(Folder);
}

TEST(SystemMessageBox, LvviewIsANativeWindowWhoseClicksStampTheFilter) {
  if (!HaveDesktop()) GTEST_SKIP() << "no desktop to show the window on";
  const fs::path Folder = Scratch("tessorin-lvview", 160, 100, 10);
  for (const int Button : {IDCANCEL, IDOK}) {
    fs::remove(Folder / "lvview-screenshot.png");
    TChild Viewer("\"" + ProgramBeside(LVVIEW_PATH).string() + "\" picture.bmp filter.bmp", Folder);
    ASSERT_TRUE(Viewer.Started) << ::GetLastError();
    HWND Window = WaitForWindow("lvview - picture.bmp");
    ASSERT_NE(Window, nullptr) << "no window";
    RECT Client{};
    ::GetClientRect(Window, &Client);
    EXPECT_EQ(Client.right, 160);
    EXPECT_EQ(Client.bottom, 100);

    // A click at (40, 30) asks first; the answer decides whether it stamps.
    ::PostMessageA(Window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 30));
    ::PostMessageA(Window, WM_LBUTTONUP, 0, MAKELPARAM(40, 30));
    const TSeen Seen = Answer(Button);
    ASSERT_TRUE(Seen.Found) << "no box captioned Convert";
    EXPECT_EQ(Seen.Text, Question);
    // What the window shows, saved by its S key.
    ::PostMessageA(Window, WM_CHAR, 's', 0);
    for (int Wait = 0; Wait < 200 && !fs::exists(Folder / "lvview-screenshot.png"); ++Wait) ::Sleep(50);
    ::PostMessageA(Window, WM_CLOSE, 0, 0);
    EXPECT_EQ(Viewer.Wait(), 0u);

    Graphics::TBitmap Shot;
    ASSERT_NO_THROW(Shot.LoadFromFile((Folder / "lvview-screenshot.png").string()));
    const Graphics::TColor Centre = Button == IDOK ? (Graphics::RGB)(0, 0, 0) : (Graphics::RGB)(255, 255, 255);
    EXPECT_EQ(Shot.Pixel(40, 30), Centre) << "the filter is stamped centred on the click only after OK";
    EXPECT_EQ(Shot.Pixel(34, 24), (Graphics::RGB)(255, 255, 255)) << "outside the stamp";
    EXPECT_EQ(Shot.Pixel(35, 25), Centre) << "the stamp's top-left corner";
  }
  fs::remove_all(Folder);
}
