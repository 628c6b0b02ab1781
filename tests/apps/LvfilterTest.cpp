// lvfilter as its users run it: a whole process, its exit status, what it
// prints and what it leaves on disk.
#include <fstream>

#include "Programs.hpp"

using namespace Graphics;
using namespace Programs;

namespace {

TResult RunLvfilter(const std::string& Arguments) { return Shell(Lvfilter + " " + Arguments); }

using LvfilterTest = TProgramTest;

}  // namespace

TEST_F(LvfilterTest, BlendsAndWritesTheResult) {
  const TResult R = RunLvfilter(Path("picture24.bmp") + " " + Path("filter.png") + " -o " + Path("out.bmp") +
                        " --top 1 --left 2 --screenshot " + Path("screen.png"));
  ASSERT_EQ(R.Status, 0) << R.Output;
  TBitmap Out;
  Out.LoadFromFile(Path("out.bmp"));
  EXPECT_EQ(Out.PixelFormat(), pf24bit);
  EXPECT_EQ(Out.Pixel(0, 0), RGB(200, 100, 50)) << "outside the filter";
  // red 200 + 0 - 255, green 100 + 255 - 255, blue 50 + 128 - 255
  EXPECT_EQ(Out.Pixel(2, 1), RGB(0, 100, 0));
  TBitmap Screen;
  Screen.LoadFromFile(Path("screen.png"));
  EXPECT_EQ(Screen.Pixel(2, 1), RGB(0, 100, 0)) << "the control shows the blend";
}

TEST_F(LvfilterTest, RepeatDarkensAgainAndSizeCutsTheRegion) {
  const TResult R = RunLvfilter(Path("picture24.bmp") + " " + Path("filter.png") + " -o " + Path("out.png") +
                        " --repeat 2 --size 3x2");
  ASSERT_EQ(R.Status, 0) << R.Output;
  TBitmap Out;
  Out.LoadFromFile(Path("out.png"));
  EXPECT_EQ(Out.Pixel(0, 0), RGB(0, 100, 0));
  EXPECT_EQ(Out.Pixel(3, 0), RGB(200, 100, 50)) << "past the control's width";
}

TEST_F(LvfilterTest, TheQuestion) {
  // Arguments after the files, expected status, text the output must hold.
  const std::tuple<const char*, int, const char*> Cases[] = {
      {"--yes", 0, ""},
      {"--no", 3, "conversion to 24-bit colour declined; nothing written"},
      {"", 3, "declined"},  // no terminal and no answer: the box fails
  };
  for (const auto& [Answer, Status, Text] : Cases) {
    fs::remove(Path("out.bmp"));
    const TResult R = RunLvfilter(Path("picture8.bmp") + " " + Path("filter.png") + " -o " + Path("out.bmp") + " " + Answer);
    EXPECT_EQ(R.Status, Status) << Answer << ": " << R.Output;
    EXPECT_NE(R.Output.find(Text), std::string::npos) << R.Output;
    EXPECT_EQ(fs::exists(Path("out.bmp")), Status == 0) << Answer;
  }
}

TEST_F(LvfilterTest, BadInputNamesTheFileAndWritesNothing) {
  std::ofstream(Path("broken.bmp"), std::ios::binary) << "BM this is not a bitmap";
  std::ofstream(Path("keep.bmp")) << "precious";
  std::vector<fs::path> Before;
  for (const auto& Entry : fs::directory_iterator(Dir)) Before.push_back(Entry.path());
  // Arguments, expected status, text the one line must hold.
  const std::vector<std::tuple<std::string, int, std::string>> Cases = {
      {Path("missing.bmp") + " " + Path("filter.png") + " -o " + Path("keep.bmp"), 2, "missing.bmp: cannot open"},
      {Path("broken.bmp") + " " + Path("filter.png") + " -o " + Path("keep.bmp"), 2, "broken.bmp: "},
      {Path("picture24.bmp") + " " + Path("broken.bmp") + " -o " + Path("keep.bmp"), 2, "broken.bmp: "},
      {Path("picture24.bmp") + " " + Path("filter.png") + " -o " + Path("out.gif"), 2, "out.gif: unknown"},
      {Path("picture24.bmp") + " " + Path("filter.png") + " -o " + Path("keep.bmp") + " --size 3by2", 2, "--size"},
      {Path("picture24.bmp") + " " + Path("filter.png"), 2, "--output"},
      {Path("picture24.bmp") + " " + Path("filter.png") + " -o x.bmp --yes --no", 2, "excludes"},
      {Path("picture24.bmp") + " " + Path("filter.png") + " -o x.bmp --top many", 2, "--top"},
      {Path("picture24.bmp") + " " + Path("filter.png") + " -o x.bmp --repeat 0", 2, "--repeat"},
      {Path("picture24.bmp") + " " + Path("filter.png") + " -o " + Path("no/such/dir/out.bmp"), 1, "out.bmp: cannot"},
      {Path("picture24.bmp") + " " + Path("filter.png") + " -o " + Path("keep.bmp") + " --size 0x0 --screenshot " +
           Path("shot.png"),
       2, "shot.png: a screenshot of 0 x 0 pixels is empty"},
  };
  for (const auto& [Arguments, Status, Text] : Cases) {
    const TResult R = RunLvfilter(Arguments);
    EXPECT_EQ(R.Status, Status) << Arguments << "\n" << R.Output;
    EXPECT_NE(R.Output.find(Text), std::string::npos) << Arguments << "\n" << R.Output;
    EXPECT_EQ(std::count(R.Output.begin(), R.Output.end(), '\n'), 1) << R.Output;
  }
  std::ifstream Kept(Path("keep.bmp"));
  std::string Content;
  Kept >> Content;
  EXPECT_EQ(Content, "precious") << "a failure never clobbers the output";
  std::vector<fs::path> After;
  for (const auto& Entry : fs::directory_iterator(Dir)) After.push_back(Entry.path());
  std::sort(Before.begin(), Before.end());
  std::sort(After.begin(), After.end());
  EXPECT_EQ(After, Before) << "nothing written, no temporary left behind";
}

TEST_F(LvfilterTest, ReplacingAFileKeepsItsMode) {
  std::ofstream(Path("out.bmp")) << "old";
  fs::permissions(Path("out.bmp"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_EQ(RunLvfilter(Path("picture24.bmp") + " " + Path("filter.png") + " -o " + Path("out.bmp")).Status, 0);
  EXPECT_EQ(fs::status(Path("out.bmp")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_GT(fs::file_size(Path("out.bmp")), 54u);
}

TEST_F(LvfilterTest, HelpExplainsEverything) {
  const TResult R = RunLvfilter("--help");
  EXPECT_EQ(R.Status, 0);
  for (const char* Text : {"--top", "--left", "--size", "--repeat", "--yes", "--no", "--screenshot", "Exit status",
                           "max(0, picture + filter - 255)"})
    EXPECT_NE(R.Output.find(Text), std::string::npos) << Text;
}

#if defined(LVVIEW_PATH)
TEST_F(LvfilterTest, ViewerBlendsWhereItIsClicked) {
  // A clicked point gets the filter's middle pixel; the filter here is one
  // colour, so the point and its neighbourhood take the blend.
  const TResult R = Shell(Lvview + " " + Path("picture8.bmp") + " " + Path("filter.png") +
                        " --yes --click 3,2 --screenshot " + Path("view.png"));
  ASSERT_EQ(R.Status, 0) << R.Output;
  TBitmap View;
  View.LoadFromFile(Path("view.png"));
  EXPECT_EQ(View.Width(), 6);
  // white (255) + filter (red 0, green 255, blue 128) - 255
  EXPECT_EQ(View.Pixel(3, 2), RGB(0, 255, 128));
}
#endif

TEST_F(LvfilterTest, CompressionAndQualityChooseHowOutputsAreWritten) {
  // Smooth colour, as in a photo, with a little texture.
  TBitmap Noise;
  Noise.SetPixelFormat(pf24bit);
  Noise.SetSize(300, 200);
  for (int Y = 0; Y < 200; ++Y)
    for (int X = 0; X < 300; ++X)
      Noise.Canvas()->SetPixels(X, Y, RGB(X * 255 / 299, Y * 255 / 199, 128 + (X * 7 + Y * 3) % 5));
  Noise.SaveToFile(Path("noise.bmp"));
  const std::string Inputs = Q("noise.bmp") + " " + Q("filter.png") + " --left 7 ";
  ASSERT_EQ(RunLvfilter(Inputs + "-o " + Q("plain.bmp")).Status, 0);
  TBitmap Plain;
  Plain.LoadFromFile(Path("plain.bmp"));
  // Every compression writes the same pixels.
  for (const char* Level : {"fast", "default", "best"}) {
    const TResult R = RunLvfilter(Inputs + "-o " + Q(std::string(Level) + ".png") + " --compression " + Level);
    ASSERT_EQ(R.Status, 0) << Level << "\n" << R.Output;
    TBitmap Out;
    Out.LoadFromFile(Path(std::string(Level) + ".png"));
    for (int Y = 0; Y < 200; ++Y)
      for (int X = 0; X < 300; ++X) ASSERT_EQ(Out.Pixel(X, Y), Plain.Pixel(X, Y)) << Level << " at " << X << "," << Y;
  }
  // A JPEG's mean error per channel falls as its quality rises: within 2
  // at 100, above that at 10.
  double Previous = 1e9;
  for (const int Quality : {10, 90, 100}) {
    const std::string Name = "q" + std::to_string(Quality) + ".jpg";
    ASSERT_EQ(RunLvfilter(Inputs + "-o " + Q(Name) + " --quality " + std::to_string(Quality)).Status, 0);
    TBitmap Out;
    Out.LoadFromFile(Path(Name));
    double Error = 0;
    for (int Y = 0; Y < 200; ++Y)
      for (int X = 0; X < 300; ++X)
        for (const int Shift : {0, 8, 16})
          Error += std::abs(int(Out.Pixel(X, Y) >> Shift & 0xFF) - int(Plain.Pixel(X, Y) >> Shift & 0xFF));
    Error /= 300.0 * 200 * 3;
    EXPECT_LT(Error, Previous) << "quality " << Quality;
    Previous = Error;
  }
  EXPECT_LT(Previous, 2.0) << "quality 100";
  // Bad values, refused with one line before anything is written.
  for (const std::string& Bad : std::vector<std::string>{"--quality 0", "--quality 101", "--quality 9x",
                                                        "--compression slow", "--compression 6"}) {
    const TResult R = RunLvfilter(Inputs + "-o " + Q("bad.png") + " " + Bad);
    EXPECT_EQ(R.Status, 2) << Bad << "\n" << R.Output;
    EXPECT_EQ(Lines(R.Output), 1) << R.Output;
    EXPECT_NE(R.Output.find(Bad.substr(0, Bad.find(' '))), std::string::npos) << R.Output;
  }
  EXPECT_FALSE(fs::exists(Path("bad.png")));
}
