// lvdesign's window driven as a user drives it, on a virtual X display:
// pick the component on the palette, place it, type a property's value in
// the inspector, save with Ctrl+S through the window's own file chooser,
// and read back what was stored; run the form in the viewer.
#if defined(LVDESIGN_PATH)
#include <cctype>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <thread>

#include "Display.hpp"

using namespace Programs;

namespace Programs {
bool CloseWindow(const std::string& DisplayName, unsigned long Window);
}

namespace {

const std::string Lvdesign = LVDESIGN_PATH;

// lvdesign on a virtual display of the test's own. The window opens at
// 1280 x 800 and fills this screen, so the palette, the inspector and the
// form are where its fixed layout puts them. It starts in the scratch
// folder, where the file chooser starts too; the recent list and the
// temporary folder are the scratch folder's, not the user's.
class LvdesignWindowTest : public TProgramTest {
protected:
  void SetUp() override {
    TProgramTest::SetUp();
    if (!Installed("Xvfb") || !Installed("xdotool")) GTEST_SKIP() << "needs Xvfb and xdotool";
    Display = std::make_unique<TVirtualDisplay>("1280x800x24", 81);
    if (!Display->Ready()) GTEST_SKIP() << "no virtual display could be started";
    fs::create_directory(Dir / "tmp");
    Env = "env -u SDL_VIDEODRIVER ASAN_OPTIONS=detect_leaks=0 DISPLAY=" + Display->Name() + " HOME=" + Q("") +
          " XDG_CONFIG_HOME=" + Q("config") + " TMPDIR=" + Q("tmp") + " LVDESIGN_FRAME_TIMES=" + Q("frames.txt") +
          " ";
  }

  TBackground Start(const std::string& Arguments = "") const {
    return TBackground("cd " + Q("") + " && exec " + Env + Lvdesign + " " + Arguments, Path("lvdesign.log"));
  }
  // xdotool's steps on lvdesign's window, once it shows.
  TResult Do(const std::string& Steps) const {
    return Shell("timeout 20 " + Env + "xdotool search --sync --onlyvisible --name ' - lvdesign$' " + Steps);
  }

  // The shown window whose name matches, waited for up to 20 s; 0 when none
  // came. A search fails while windows come and go, as a program's do when
  // it starts: it is tried again.
  unsigned long Window(const std::string& Name) const {
    for (int Wait = 0; Wait < 200; ++Wait) {
      const TResult Found =
          Shell("env DISPLAY=" + Display->Name() + " xdotool search --onlyvisible --name " + Quoted(Name));
      if (Found.Status == 0 && std::isdigit(static_cast<unsigned char>(Found.Output[0])))
        return std::stoul(Found.Output);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return 0;
  }

  std::unique_ptr<TVirtualDisplay> Display;
  std::string Env;
};

unsigned Mode(const fs::path& Path) {
  struct stat Status {};
  EXPECT_EQ(lstat(Path.c_str(), &Status), 0) << Path;
  return Status.st_mode & 07777;
}

}  // namespace

TEST_F(LvdesignWindowTest, APlacedComponentsTypedHintIsSavedWithCtrlS) {
  TBackground Designer = Start();
  ASSERT_EQ(Do("windowfocus --sync").Status, 0) << Content(Path("lvdesign.log"));
  // Ten Backspaces 30 ms apart take " and there" back. On a busy machine
  // a frame can take longer than that, and the keys come several between
  // two frames: stopped while they are typed, lvdesign gets them all at
  // once, as after such a frame. Each one still counts.
  std::string BackSpaces = "key --delay 30";
  for (int Key = 0; Key < 10; ++Key) BackSpaces += " BackSpace";
  // Each step is its own command, so that the window draws a frame between
  // them, as it would between a person's moves.
  const std::vector<std::string> Steps = {
      "mousemove --window %1 67 62 click 1",    // the palette's component button
      "mousemove --window %1 490 200",          // over the form...
      "click 1",                                // ...where it is placed
      "mousemove --window %1 160 161 click 1",  // the inspector's find field
      "type Hint",
      "mousemove --window %1 235 213 click 1",  // the Hint row's value
      "type \"it's here and there\"",
      BackSpaces,
      "key Return",
      "key ctrl+s",  // a new form: the file chooser asks for a name
      "key ctrl+a",
      "type placed",  // saved as placed.dfm
      "key Return",
  };
  for (const std::string& Step : Steps) {
    if (Step == BackSpaces) Designer.Signal(SIGSTOP);
    const TResult Done = Do(Step);
    if (Step == BackSpaces) Designer.Signal(SIGCONT);
    ASSERT_EQ(Done.Status, 0) << Step << "\n" << Done.Output;
    // Keys held back take a frame each to go in, and the file chooser a few
    // frames to take the keyboard: a slow machine gets the time it needs.
    const bool Slow = Step == BackSpaces || Step == "key ctrl+s";
    std::this_thread::sleep_for(std::chrono::milliseconds(Slow ? 1500 : 300));
  }
  // The title follows the file, unmodified once saved.
  const std::string Saved = "xdotool search --sync --name '^placed.dfm - lvdesign$'";
  EXPECT_EQ(Shell("timeout 20 env DISPLAY=" + Display->Name() + " " + Saved).Status, 0);
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

TEST_F(LvdesignWindowTest, RunGivesTheViewerItsOwnCopyOfTheFormInAFolderThatGoesWithLvdesign) {
  const TResult Made = Shell(Lvdesign + " --actions " + Quoted("place TLvFilterImage 8 8; save " + Path("run.dfm")));
  ASSERT_EQ(Made.Status, 0) << Made.Output;
  std::ofstream(Path("mine.txt")) << "mine";
  TBackground Designer = Start(Q("run.dfm"));
  // A link someone else left in the shared temporary folder, at a name to
  // be expected of this lvdesign (it holds the process number), to a file
  // of the user's.
  const fs::path Tmp = Dir / "tmp";
  fs::create_symlink(Path("mine.txt"), Tmp / ("lvdesign-run-" + std::to_string(Designer.Process()) + ".dfm"));
  ASSERT_EQ(Do("windowfocus --sync").Status, 0) << Content(Path("lvdesign.log"));
  ASSERT_EQ(Do("key F9").Status, 0);
  // The viewer shows the form: its window bears the form's caption.
  const unsigned long Viewer = Window("^Form1$");
  ASSERT_NE(Viewer, 0u) << Content(Path("lvdesign.log"));
  EXPECT_EQ(Content(Path("mine.txt")), "mine");
  // What it was given: the form as stored, in a folder of the user's alone.
  std::vector<fs::path> Folders;
  for (const auto& Entry : fs::directory_iterator(Tmp))
    if (!Entry.is_symlink()) Folders.push_back(Entry.path());
  ASSERT_EQ(Folders.size(), 1u);
  const fs::path Folder = Folders.front();
  EXPECT_TRUE(fs::is_directory(fs::symlink_status(Folder)));
  EXPECT_EQ(Mode(Folder), 0700u);
  std::vector<fs::path> Forms(fs::directory_iterator(Folder), fs::directory_iterator{});
  ASSERT_EQ(Forms.size(), 1u);
  EXPECT_EQ(Mode(Forms.front()) & 077, 0u);
  EXPECT_EQ(Content(Forms.front().string()), Content(Path("run.dfm")));

  // lvdesign quits while the viewer goes on showing what it read. (The
  // window may be gone before xdotool lets go of the keys, which it counts
  // as a failure.)
  Do("key ctrl+q");
  const int Status = Designer.Wait(10);
  EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << Status << "\n" << Content(Path("lvdesign.log"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(Folder))) << "the form to run was left behind";
  EXPECT_EQ(Content(Path("mine.txt")), "mine");
  EXPECT_TRUE(CloseWindow(Display->Name(), Viewer));
}
#endif
