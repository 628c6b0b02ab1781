// lvdesign's window arranging a form as a user does, on a virtual X display:
// the form's bottom-right corner dragged from just outside its client
// area, every component selected with the Edit menu's key and lined up from
// the form's right-click menu, undone and redone with the keys, saved with
// Ctrl+S, and what was stored read back.
#if defined(LVDESIGN_PATH)
#include <chrono>
#include <thread>

#include "Display.hpp"

using namespace Programs;

namespace {

using LvdesignArrangeTest = TProgramTest;

const std::string Lvdesign = LVDESIGN_PATH;

}  // namespace

TEST_F(LvdesignArrangeTest, TheFormsCornerSizesItAndTheRightClickMenuLinesUpTheSelection) {
  if (!Installed("Xvfb") || !Installed("xdotool")) GTEST_SKIP() << "needs Xvfb and xdotool";
  const TResult Made = Shell(Lvdesign + " --actions " +
                             Quoted("place TLvFilterImage 16 16; place TLvFilterImage 200 96; save " + Path("arranged.dfm")));
  ASSERT_EQ(Made.Status, 0) << Made.Output;
  const TVirtualDisplay Display("1280x800x24", 85);
  if (!Display.Ready()) GTEST_SKIP() << "no virtual display could be started";
  // The window fills this screen, so the form's client area (400 x 300)
  // starts where the fixed layout puts it, at 420, 139.
  const std::string Env = "env -u SDL_VIDEODRIVER ASAN_OPTIONS=detect_leaks=0 DISPLAY=" + Display.Name() +
                          " HOME=" + Q("") + " XDG_CONFIG_HOME=" + Q("config") + " ";
  TBackground Designer("cd " + Q("") + " && exec " + Env + Lvdesign + " arranged.dfm", Path("lvdesign.log"));
  const auto Do = [&](const std::string& Steps) {
    return Shell("timeout 20 " + Env + "xdotool search --sync --onlyvisible --name ' - lvdesign$' " + Steps);
  };
  ASSERT_EQ(Do("windowfocus --sync").Status, 0) << Content(Path("lvdesign.log"));
  const std::vector<std::string> Steps = {
      // The corner lies at 820, 439: pressed a pixel outside the client
      // area, and let go where the client area is 480 x 360.
      "mousemove --window %1 821 440",
      "mousedown 1",
      "mousemove --window %1 860 470",
      "mousemove --window %1 900 499",
      "mouseup 1",
      "key ctrl+a",
      // A right press on the second component keeps both selected; the
      // menu opens at the pointer, Align Tops its eighth item.
      "mousemove --window %1 670 279",
      "click 3",
      "mousemove --window %1 710 431",
      "click 1",
      // Undone, and redone by the second of Redo's keys.
      "key ctrl+z",
      "key ctrl+shift+z",
      "key ctrl+s",  // the form has its file: saved there at once
  };
  for (const std::string& Step : Steps) {
    ASSERT_EQ(Do(Step).Status, 0) << Step;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  // Saved and unchanged since.
  EXPECT_EQ(Shell("timeout 20 env DISPLAY=" + Display.Name() + " xdotool search --sync --name '^arranged.dfm - lvdesign$'")
                .Status,
            0);
  const TResult Read = Shell(Lvdesign + " --actions " +
                             Quoted("open " + Path("arranged.dfm") +
                                    "; select Form1; inspect; select LvFilterImage1; inspect; select LvFilterImage2; inspect"));
  ASSERT_EQ(Read.Status, 0) << Read.Output << Content(Path("lvdesign.log"));
  // The form's rows, then each component's: lined up with the first
  // selected, each keeping its left.
  std::vector<std::string> Wanted = {"ClientHeight\t360\n", "ClientWidth\t480\n",
                                     "Left\t16\n",          "Top\t16\n",
                                     "Left\t200\n",         "Top\t16\n"};
  std::size_t From = 0;
  for (const std::string& Line : Wanted) {
    const std::size_t At = Read.Output.find(Line, From);
    EXPECT_NE(At, std::string::npos) << Line << "after " << From << "\n" << Read.Output;
    if (At != std::string::npos) From = At + Line.size();
  }
  Do("key ctrl+q");
  const int Status = Designer.Wait(10);
  EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << Status << "\n" << Content(Path("lvdesign.log"));
}
#endif
