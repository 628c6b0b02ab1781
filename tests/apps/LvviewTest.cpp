// lvview with and without a display. Scripted runs need none; the window
// runs on a virtual X display when the machine has one to start.
#if defined(LVVIEW_PATH)
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <thread>

#include "Display.hpp"

using namespace Graphics;
using namespace Programs;

namespace {

using LvviewTest = TProgramTest;

// The window of a title, waiting for it a while; empty when none
// came. xdotool cannot match the titles that SDL's dialogs set (UTF-8 only),
// so the window tree is read instead.
std::string WindowTitled(const std::string& Display, const std::string& Title) {
  // Up to 15 s: a sanitized viewer on a busy machine is slow to ask.
  for (int Wait = 0; Wait < 300; ++Wait) {
    const TResult Tree = Shell("DISPLAY=" + Display + " xwininfo -root -tree");
    const std::size_t At = Tree.Output.find("\"" + Title + "\"");
    if (At != std::string::npos) {
      const std::size_t Start = Tree.Output.rfind("0x", At);
      return Tree.Output.substr(Start, Tree.Output.find(' ', Start) - Start);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return {};
}

}  // namespace

TEST_F(LvviewTest, WithoutADisplayTheWindowIsRefusedAndScriptsNeedNone) {
  const std::string Plain = "env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER -u XDG_RUNTIME_DIR ";
  const std::string Inputs = " " + Q("picture8.bmp") + " " + Q("filter.png");
  TResult R = Shell("timeout 20 " + Plain + Lvview + Inputs + " --yes");
  EXPECT_EQ(R.Status, 1) << R.Output;
  EXPECT_EQ(R.Output, "lvview: cannot open a window: no display\n");
  // Scripted runs start no video driver: nothing about one is printed.
  R = Shell("timeout 20 " + Plain + Lvview + Inputs + " --yes --click 3,2 --screenshot " + Q("view.png"));
  EXPECT_EQ(R.Status, 0) << R.Output;
  EXPECT_EQ(R.Output, "");
  // A display that is not there is never reached for.
  R = Shell("timeout 20 env DISPLAY=:1234 " + Lvview + Inputs + " --click 3,2 --screenshot " + Q("view2.png"));
  EXPECT_EQ(R.Status, 3) << R.Output;
  EXPECT_NE(R.Output.find("declined"), std::string::npos) << R.Output;
}

TEST_F(LvviewTest, TheWindowSurvivesAFailedScreenshotAndEndsOnSigterm) {
  if (!Installed("Xvfb") || !Installed("xdotool") || !Installed("xwininfo"))
    GTEST_SKIP() << "needs Xvfb, xdotool and xwininfo";
  const TVirtualDisplay Display;
  // Xvfb needs a writable /tmp/.X11-unix, which a locked-down machine lacks.
  if (!Display.Ready()) GTEST_SKIP() << "no virtual display could be started";
  // The window system's libraries keep memory to the end, which a leak
  // checker in a sanitized build would count against the viewer.
  const std::string Env = "env -u SDL_VIDEODRIVER ASAN_OPTIONS=detect_leaks=0 DISPLAY=" + Display.Name() + " ";
  // Only a mapped window can take the focus.
  const std::string Find = "timeout 20 " + Env + "xdotool search --sync --onlyvisible --name '^lvview' ";

  // S in a folder that cannot be written: reported, and the window stays.
  {
    TBackground Viewer("cd /proc && exec " + Env + Lvview + " " + Q("picture24.bmp") + " " + Q("filter.png"),
                       Path("viewer.log"));
    ASSERT_EQ(Shell(Find + "windowfocus --sync key s").Status, 0);
    EXPECT_EQ(Viewer.Wait(1), -1) << "still running after the failed save\n" << Viewer.Output();
    EXPECT_NE(Viewer.Output().find("lvview: lvview-screenshot.png: cannot write: "), std::string::npos)
        << Viewer.Output();
    // Dismiss the report, then quit with Q.
    const std::string Report = WindowTitled(Display.Name(), "Screenshot not saved");
    ASSERT_NE(Report, "") << "the failure is reported in the window";
    Shell("timeout 20 " + Env + "xdotool windowfocus --sync " + Report + " key Return");
    Shell(Find + "windowfocus --sync key q");
    const int Status = Viewer.Wait(10);
    EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << Status << "\n" << Viewer.Output();
  }
  // SIGTERM ends it, also while the conversion question is open.
  {
    TBackground Viewer("exec " + Env + Lvview + " " + Q("picture8.bmp") + " " + Q("filter.png"), Path("viewer2.log"));
    ASSERT_EQ(Shell(Find + "mousemove --window %1 3 2 click 1").Status, 0);
    ASSERT_NE(WindowTitled(Display.Name(), "Convert"), "") << "the question is open";
    Viewer.Signal(SIGTERM);
    const int Status = Viewer.Wait(10);
    EXPECT_TRUE(WIFSIGNALED(Status) && WTERMSIG(Status) == SIGTERM) << Status << "\n" << Viewer.Output();
  }
}
TEST_F(LvviewTest, AStoredFormsCaptionTitlesItsWindowAndPositionPlacesIt) {
  if (!Installed("Xvfb") || !Installed("xwininfo")) GTEST_SKIP() << "needs Xvfb and xwininfo";
  const TVirtualDisplay Display;
  if (!Display.Ready()) GTEST_SKIP() << "no virtual display could be started";
  // Centred on the 640 x 480 screen, and placed where it was designed.
  const std::pair<std::string, std::string> Cases[] = {
      {"  Position = poScreenCenter\n", "100x60+270+210"},
      {"  Left = 30\n  Top = 40\n", "100x60+30+40"},
  };
  for (const auto& [Place, Geometry] : Cases) {
    std::ofstream(Path("placed.txt")) << "object Form1: TForm1\n  AutoScroll = False\n  Caption = 'Placed form'\n"
                                         "  ClientHeight = 60\n  ClientWidth = 100\n  Color = clTeal\n"
                                      << Place << "end\n";
    TBackground Viewer("exec env -u SDL_VIDEODRIVER ASAN_OPTIONS=detect_leaks=0 DISPLAY=" + Display.Name() + " " +
                           Lvview + " --form " + Q("placed.txt"),
                       Path("placed.log"));
    const std::string Window = WindowTitled(Display.Name(), "Placed form");
    ASSERT_NE(Window, "") << Viewer.Output();
    const TResult Info = Shell("DISPLAY=" + Display.Name() + " xwininfo -root -tree");
    EXPECT_NE(Info.Output.find("\"Placed form\": (\"lvview\" \"lvview\")  " + Geometry), std::string::npos)
        << Place << Info.Output;
    Viewer.Signal(SIGTERM);
    Viewer.Wait(10);
  }
}
#endif
