// The command lines of the three programs: numbers, empty pictures and one
// table of exit statuses for all.
#include "Programs.hpp"

using namespace Graphics;
using namespace Programs;

namespace {

using CommandLineTest = TProgramTest;

}  // namespace

TEST_F(CommandLineTest, NumbersArePlainDecimal) {
  // 20 rows, so that a filter at row 8 and one at row 10 differ.
  Save(Path("tall.bmp"), pf24bit, RGB(200, 100, 50), 4, 20);
  Save(Path("black.png"), pf24bit, RGB(0, 0, 0), 4, 20);
  // Options, the first row the filter blacks out (-1: refused with status 2).
  const std::pair<std::string, int> Cases[] = {
      {"--top 010", 10},          {"--top +3", 3},         {"--top -3 --size 4x20", 0},
      {"--top 0x10", -1},         {"--top ''", -1},        {"--top ' 4'", -1},
      {"--top 1e1", -1},          {"--top 99999999999", -1}, {"--left 08", 100},  // past the picture: nothing changes
      {"--size ''", -1},          {"--size 004x00012", 0}, {"--size 4x", -1},
      {"--size -4x4", -1},        {"--repeat 010", 0},     {"--repeat ''", -1},
      {"--repeat 0", -1},
  };
  for (const auto& [Options, FirstBlack] : Cases) {
    const TResult R = Shell(Lvfilter + " " + Q("tall.bmp") + " " + Q("black.png") + " -o " + Q("out.bmp") + " " + Options);
    if (FirstBlack < 0) {
      EXPECT_EQ(R.Status, 2) << Options << "\n" << R.Output;
      EXPECT_EQ(Lines(R.Output), 1) << R.Output;
      continue;
    }
    ASSERT_EQ(R.Status, 0) << Options << "\n" << R.Output;
    TBitmap Out;
    Out.LoadFromFile(Path("out.bmp"));
    for (int Y = 0; Y < 12; ++Y)
      EXPECT_EQ(Out.Pixel(0, Y) == clBlack, Y >= FirstBlack) << Options << ", row " << Y;
  }
}

TEST_F(CommandLineTest, AnEmptyPictureIsRefusedAsInputForEveryOutput) {
  TBitmap().SaveToFile(Path("empty.bmp"));
  for (const char* Output : {"z.png", "z.bmp", "z.jpg"}) {
    const TResult R = Shell(Lvfilter + " " + Q("empty.bmp") + " " + Q("filter.png") + " -o " + Q(Output));
    EXPECT_EQ(R.Status, 2) << Output << "\n" << R.Output;
    EXPECT_NE(R.Output.find("empty.bmp: the picture is empty (0 x 0 pixels)"), std::string::npos) << R.Output;
    EXPECT_FALSE(fs::exists(Path(Output)));
  }
}

TEST_F(CommandLineTest, AnEmptyValueIsBadUsageNamingItsOption) {
  const std::string Inputs = Q("picture24.bmp") + " " + Q("filter.png");
  ASSERT_EQ(Shell(Lvfilter + " " + Inputs + " -o " + Q("out.png") + " --save-form " + Q("form.dfm")).Status, 0);
  // Command, the option or argument given empty. Each would otherwise run:
  // printing instead of writing, or leaving out the output it names.
  std::vector<std::pair<std::string, std::string>> Cases = {
      {Lvfilter + " " + Inputs + " -o ''", "--output"},
      {Lvfilter + " " + Inputs + " -o " + Q("a.png") + " --screenshot ''", "--screenshot"},
      {Lvfilter + " " + Inputs + " -o " + Q("a.png") + " --save-form ''", "--save-form"},
      {Lvfilter + " '' " + Q("filter.png") + " -o " + Q("a.png"), "PICTURE"},
      {Pkgtool + " form " + Q("form.dfm") + " -o ''", "--output"},
      {Pkgtool + " form ''", "FILE"},
      {Pkgtool + " resource MAINICON -o ''", "--output"},
      {Pkgtool + " info ''", "PACKAGE"},
  };
#if defined(LVVIEW_PATH)
  Cases.insert(Cases.end(), {
      {Lvview + " " + Inputs + " --click 1,1 --screenshot ''", "--screenshot"},
      {Lvview + " --form " + Q("form.dfm") + " --click 1,1 --save-form ''", "--save-form"},
      {Lvview + " --form '' --click 1,1", "--form"},
  });
#endif
  const std::vector<std::string> Before = Listing();
  for (const auto& [Command, Option] : Cases) {
    const TResult R = Shell(Command);
    EXPECT_EQ(R.Status, 2) << Command << "\n" << R.Output;
    EXPECT_NE(R.Output.find(": " + Option + ": the value is empty"), std::string::npos) << Command << "\n" << R.Output;
    EXPECT_EQ(Lines(R.Output), 1) << Command << "\n" << R.Output;
  }
  EXPECT_EQ(Listing(), Before);
}

TEST_F(CommandLineTest, EveryProgramAnswersFromOneTableOfExitStatuses) {
  std::ofstream(Path("broken.bmp"), std::ios::binary) << "BM this is not a bitmap";
  const std::string Inputs = Q("picture8.bmp") + " " + Q("filter.png");
  // Command, status: 0 done, 1 failure, 2 bad usage or input, 3 declined.
  std::vector<std::pair<std::string, int>> Cases = {
      {Lvfilter + " " + Inputs + " -o " + Q("out.png") + " --yes", 0},
      {Lvfilter + " " + Inputs + " -o /nonexistent/out.png --yes", 1},
      {Lvfilter + " " + Q("broken.bmp") + " " + Q("filter.png") + " -o " + Q("out.png"), 2},
      {Lvfilter + " " + Inputs + " --bogus", 2},
      {Lvfilter + " " + Inputs + " -o " + Q("out.png") + " --no", 3},
      {Pkgtool + " resource MAINICON -o " + Q("icon.ico"), 0},
      {Pkgtool + " resource MAINICON -o /nonexistent/icon.ico", 1},
      {Pkgtool + " info " + Q("broken.bmp"), 2},
      {Pkgtool + " bogus", 2},
  };
#if defined(LVVIEW_PATH)
  Cases.insert(Cases.end(), {
      {Lvview + " " + Inputs + " --click 1,1 --yes --screenshot " + Q("view.png"), 0},
      {Lvview + " " + Inputs + " --click 1,1 --yes --screenshot /nonexistent/view.png", 1},
      {Lvview + " " + Q("broken.bmp") + " " + Q("filter.png") + " --click 1,1", 2},
      {Lvview + " " + Inputs + " --click 1,x", 2},
      {Lvview + " " + Inputs + " --click 1,1 --no --screenshot " + Q("view2.png"), 3},
      {Lvview + " " + Inputs + " --click 1,1 --screenshot " + Q("view2.png"), 3},  // no answer: declined
  });
#endif
  for (const auto& [Command, Status] : Cases) {
    const TResult R = Shell(Command);
    EXPECT_EQ(R.Status, Status) << Command << "\n" << R.Output;
    if (Status != 0) {
      EXPECT_EQ(Lines(R.Output), 1) << Command << "\n" << R.Output;
    }
  }
  EXPECT_FALSE(fs::exists(Path("view2.png"))) << "a declined run writes nothing";
  EXPECT_EQ(Shell(Pkgtool + " bogus").Output, "pkgtool: bogus: no such command (see pkgtool --help)\n");
  // Program, what its help says of status 3: pkgtool asks no question, so never declines.
  for (const auto& [Program, Three] : {std::pair(Lvfilter, "3 the\nconversion"), std::pair(Pkgtool, "3 is\nnot used")}) {
    const TResult Help = Shell(Program + " --help");
    for (const char* Text : {"0 done; 1 failure", "2 bad usage or bad input", Three, "16384 pixels a side",
                             "1 GiB", "128 Mpx"})
      EXPECT_NE(Help.Output.find(Text), std::string::npos) << Program << ": " << Text << "\n" << Help.Output;
  }
}
