// lvdesign as a script runs it: actions without a window or a display.
#include "Programs.hpp"

// Built where the design host is.
#ifdef LVDESIGN_PATH
namespace {

using namespace Programs;

class LvdesignTest : public TProgramTest {
protected:
  // DISPLAY unset: a script must not need one.
  TResult Design(const std::string& Arguments) { return Shell("env -u DISPLAY " LVDESIGN_PATH " " + Arguments); }
};

TEST_F(LvdesignTest, AScriptDesignsAFormThatTheViewerRuns) {
  const TResult Made = Design("--actions " +
                              Quoted("palette; place TLvFilterImage 16 16; load-picture " + Path("picture24.bmp") +
                                     "; load-filter " + Path("filter.png") + "; set Hint 'Stamp ''here'''; "
                                     "save '" + Path("a form.txt") + "'; screenshot " + Path("view.png")));
  ASSERT_EQ(Made.Status, 0) << Made.Output;
  EXPECT_EQ(Made.Output, "Lorvane\tTLvFilterImage\n");
  const std::string Text = Content(Path("a form.txt"));
  EXPECT_NE(Text.find("object LvFilterImage1: TLvFilterImage"), std::string::npos) << Text;
  EXPECT_NE(Text.find("Hint = 'Stamp ''here'''"), std::string::npos) << Text;
  EXPECT_NE(Text.find("FilterBitMap.Data = {"), std::string::npos) << Text;
  EXPECT_GT(fs::file_size(Path("view.png")), 0u);
  // Reopened, the form inspects as it was made: a quoted name with a blank.
  const TResult Reopened =
      Design(Q("a form.txt") + " --actions " + Quoted("select LvFilterImage1; inspect"));
  ASSERT_EQ(Reopened.Status, 0) << Reopened.Output;
  EXPECT_NE(Reopened.Output.find("Hint\t'Stamp ''here'''\n"), std::string::npos) << Reopened.Output;
  EXPECT_NE(Reopened.Output.find("Picture\t(TBitmap)\n"), std::string::npos) << Reopened.Output;
  // The viewer runs it: a click stamps the filter the form holds.
  const TResult Viewed = Shell(std::string(LVVIEW_PATH) + " --form " + Q("a form.txt") + " --yes --click 20,20 --screenshot " +
                               Q("run.png"));
  EXPECT_EQ(Viewed.Status, 0) << Viewed.Output;
}

// The session the Windows suite also runs, by script and in the window by
// messages: both systems are held to the one text.
TEST_F(LvdesignTest, TheSessionMakesTheFormTextWindowsMakes) {
  const std::string Expected = std::string(TESSORIN_SOURCE_DIR) + "/tests/lvdesign/";
  std::string Script = Content(Expected + "session.actions");
  Script.erase(Script.find_last_not_of('\n') + 1);
  ASSERT_EQ(Design("--actions " + Quoted(Script + "; save " + Path("session.dfm"))).Status, 0);
  const TResult Printed = Shell(Pkgtool + " form " + Q("session.dfm"));
  ASSERT_EQ(Printed.Status, 0) << Printed.Output;
  EXPECT_EQ(Printed.Output, Content(Expected + "session.txt"));
}

TEST_F(LvdesignTest, TheFirstFailingActionEndsTheRunWithOneLine) {
  const struct {
    std::string Arguments, Message;
    int Status = 2;
  } Cases[] = {
      // What the script wrote before the failure is not written either.
      {"--actions " + Quoted("place TLvFilterImage 8 8; save " + Path("never.dfm") + "; screenshot " +
                             Path("never.png") + "; set Stretch Perhaps"),
       "lvdesign: set Stretch Perhaps: LvFilterImage1: Stretch: expected True or False"},
      {"--actions " + Quoted("save " + Path("never.png")), "lvdesign: save " + Path("never.png") + ": "},
      {Q("missing.dfm") + " --actions new", "lvdesign: " + Path("missing.dfm") + ": "},
      {"--package " + Q("picture24.bmp") + " --actions new", "lvdesign: " + Path("picture24.bmp") + ": "},
      {"--actions ''", "lvdesign: --actions: the value is empty"},
      // An output that cannot be written is a failure, as in the other tools.
      {"--actions " + Quoted("save '" + Path("no folder/never.dfm") + "'"), "lvdesign: save ", 1},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Arguments);
    const TResult Run = Design(Case.Arguments);
    EXPECT_EQ(Run.Status, Case.Status);
    EXPECT_EQ(Run.Output.rfind(Case.Message, 0), 0u) << Run.Output;
    EXPECT_EQ(Lines(Run.Output), 1) << Run.Output;
    EXPECT_FALSE(fs::exists(Path("never.dfm")) || fs::exists(Path("never.png")));
  }
}

}  // namespace
#endif
