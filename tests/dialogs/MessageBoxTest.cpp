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

// Waits for the box captioned "Convert", reads it and presses the button
// with the given id.
TSeen Answer(int Button) {
  TSeen Seen;
  HWND Box = nullptr;
  for (int Wait = 0; Wait < 300 && !Box; ++Wait) {
    Box = ::FindWindowA("#32770", "Convert");
    if (!Box) ::Sleep(50);
  }
  if (!Box) return Seen;
  Seen.Found = true;
  ::EnumChildWindows(Box, ReadChild, reinterpret_cast<LPARAM>(&Seen));
  ::PostMessageA(Box, WM_COMMAND, MAKEWPARAM(Button, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(Box, Button)));
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
  const fs::path Folder = fs::temp_directory_path() / "tessorin-lvfilter-box";
  fs::remove_all(Folder);
  fs::create_directories(Folder);
  Graphics::TBitmap Picture, Filter;
  Fill(Picture, Graphics::pf8bit, 6, 6, (Graphics::RGB)(255, 255, 255));
  Fill(Filter, Graphics::pf24bit, 6, 6, (Graphics::RGB)(0, 0, 0));
  Picture.SaveToFile((Folder / "picture.bmp").string());
  Filter.SaveToFile((Folder / "filter.bmp").string());

  char Own[MAX_PATH];
  ::GetModuleFileNameA(nullptr, Own, MAX_PATH);
  const fs::path Program = fs::path(Own).parent_path() / LVFILTER_PATH;
  for (const int Button : {IDOK, IDCANCEL}) {
    const fs::path Output = Folder / (Button == IDOK ? "ok.bmp" : "cancel.bmp");
    std::string Command = "\"" + Program.string() + "\" \"" + (Folder / "picture.bmp").string() + "\" \"" +
                          (Folder / "filter.bmp").string() + "\" -o \"" + Output.string() + "\"";
    STARTUPINFOA Startup{};
    Startup.cb = sizeof Startup;
    PROCESS_INFORMATION Process{};
    ASSERT_TRUE(::CreateProcessA(nullptr, Command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &Startup, &Process))
        << ::GetLastError();
    const TSeen Seen = Answer(Button);
    ::WaitForSingleObject(Process.hProcess, 60000);
    DWORD Status = 99;
    ::GetExitCodeProcess(Process.hProcess, &Status);
    ::CloseHandle(Process.hThread);
    ::CloseHandle(Process.hProcess);

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
