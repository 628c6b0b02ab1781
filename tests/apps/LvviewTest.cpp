// lvview with and without a display. Scripted runs need none; the window
// runs on a virtual X display when the machine has one to start.
#if defined(LVVIEW_PATH)
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <thread>

#include "Programs.hpp"

using namespace Graphics;
using namespace Programs;

namespace {

using LvviewTest = TProgramTest;

bool Installed(const char* Program) { return Shell(std::string("command -v ") + Program).Status == 0; }

// A virtual X display for the length of a test.
class TVirtualDisplay {
public:
  TVirtualDisplay() {
    for (int Number = 91; Number < 99 && !FServer; ++Number) {
      if (fs::exists("/tmp/.X11-unix/X" + std::to_string(Number))) continue;
      FName = ":" + std::to_string(Number);
      FServer = fork();
      if (FServer == 0) {
        const int Null = open("/dev/null", O_RDWR);
        for (int Stream : {0, 1, 2}) dup2(Null, Stream);
        execlp("Xvfb", "Xvfb", FName.c_str(), "-screen", "0", "640x480x24", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        _exit(127);
      }
      for (int Wait = 0; Wait < 500 && !Ready(); ++Wait) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (!Ready()) Stop();
    }
  }
  ~TVirtualDisplay() { Stop(); }
  bool Ready() const { return FServer > 0 && Shell("DISPLAY=" + FName + " xdotool getmouselocation").Status == 0; }
  const std::string& Name() const { return FName; }

private:
  void Stop() {
    if (FServer > 0) {
      kill(FServer, SIGTERM);
      waitpid(FServer, nullptr, 0);
    }
    FServer = 0;
  }
  pid_t FServer = 0;
  std::string FName;
};

// A program started in the background, its output in a file. The command
// line must exec the program, so that signals reach it.
class TBackground {
public:
  TBackground(const std::string& Command, const std::string& Log) : FLog(Log) {
    FProcess = fork();
    if (FProcess == 0) {
      const int Out = open(Log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(Out, 1);
      dup2(Out, 2);
      execl("/bin/sh", "sh", "-c", Command.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~TBackground() {
    if (FProcess > 0) {
      kill(FProcess, SIGKILL);
      waitpid(FProcess, nullptr, 0);
    }
  }
  // The wait status, or -1 when it is still running after Seconds.
  int Wait(double Seconds) {
    for (int Step = 0; Step < Seconds * 100; ++Step) {
      int Status = 0;
      if (waitpid(FProcess, &Status, WNOHANG) == FProcess) {
        FProcess = 0;
        return Status;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }
  void Signal(int Number) const { kill(FProcess, Number); }
  std::string Output() const {
    std::ifstream In(FLog);
    return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
  }

private:
  pid_t FProcess = 0;
  std::string FLog;
};

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
