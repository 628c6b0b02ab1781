// lvdesign's window driven as a user drives it, on a virtual X display:
// pick the component on the palette, place it, type a property's value in
// the inspector, save with Ctrl+S through the window's own file chooser,
// and read back what was stored.
#if defined(LVDESIGN_PATH)
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sstream>
#include <thread>

#include "Display.hpp"

using namespace Programs;

namespace {

using LvdesignWindowTest = TProgramTest;

const std::string Lvdesign = LVDESIGN_PATH;

}  // namespace

TEST_F(LvdesignWindowTest, APlacedComponentsTypedHintIsSavedWithCtrlS) {
  if (!Installed("Xvfb") || !Installed("xdotool")) GTEST_SKIP() << "needs Xvfb and xdotool";
  const TVirtualDisplay Display("1280x800x24", 81);
  if (!Display.Ready()) GTEST_SKIP() << "no virtual display could be started";
  // The window opens at 1280 x 800 and fills this screen, so the palette,
  // the inspector and the form are where its fixed layout puts them. The
  // file chooser starts in the working folder; the recent list goes to the
  // scratch folder, not the user's.
  const std::string Env = "env -u SDL_VIDEODRIVER ASAN_OPTIONS=detect_leaks=0 DISPLAY=" + Display.Name() +
                          " HOME=" + Q("") + " XDG_CONFIG_HOME=" + Q("config") +
                          " LVDESIGN_FRAME_TIMES=" + Q("frames.txt") + " ";
  TBackground Designer("cd " + Q("") + " && exec " + Env + Lvdesign, Path("lvdesign.log"));
  const auto Do = [&](const std::string& Steps) {
    return Shell("timeout 20 " + Env + "xdotool search --sync --onlyvisible --name ' - lvdesign$' " + Steps);
  };
  ASSERT_EQ(Do("windowfocus --sync").Status, 0) << Content(Path("lvdesign.log"));
  // Each step is its own command, so that the window draws a frame between
  // them, as it would between a person's moves.
  const std::vector<std::string> Steps = {
      "mousemove --window %1 67 62 click 1",    // the palette's component button
      "mousemove --window %1 490 200",          // over the form...
      "click 1",                                // ...where it is placed
      "mousemove --window %1 160 161 click 1",  // the inspector's find field
      "type Hint",
      "mousemove --window %1 235 213 click 1",  // the Hint row's value
      "type \"it's here\"",
      "key Return",
      "key ctrl+s",  // a new form: the file chooser asks for a name
      "key ctrl+a",
      "type placed",  // saved as placed.dfm
      "key Return",
  };
  for (const std::string& Step : Steps) {
    ASSERT_EQ(Do(Step).Status, 0) << Step;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  // The title follows the file, unmodified once saved.
  EXPECT_EQ(Shell("timeout 20 env DISPLAY=" + Display.Name() + " xdotool search --sync --name '^placed.dfm - lvdesign$'")
                .Status,
            0);
  const TResult Read = Shell(Lvdesign + " --actions " +
                             Quoted("open " + Path("placed.dfm") + "; select LvFilterImage1; inspect"));
  ASSERT_EQ(Read.Status, 0) << Read.Output << Content(Path("lvdesign.log"));
  // Placed at the click snapped to the grid, in its default size, with the typed hint.
  for (const char* Line : {"Hint\t'it''s here'\n", "Left\t72\n", "Top\t64\n", "Width\t105\n", "Height\t105\n"})
    EXPECT_NE(Read.Output.find(Line), std::string::npos) << Line << "\n" << Read.Output;
  // Saved and unchanged: Ctrl+Q quits without a question.
  Do("key ctrl+q");
  const int Status = Designer.Wait(10);
  EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << Status << "\n" << Content(Path("lvdesign.log"));
  // One time a frame, each a number of milliseconds.
  std::istringstream Frames(Content(Path("frames.txt")));
  int Count = 0;
  for (double Milliseconds; Frames >> Milliseconds; ++Count) EXPECT_GE(Milliseconds, 0);
  EXPECT_TRUE(Frames.eof()) << "a line that is no number";
  EXPECT_GT(Count, int(Steps.size()));
  EXPECT_NE(Content(Path("config/lvdesign/recent")).find(Path("placed.dfm")), std::string::npos);
}
#endif
