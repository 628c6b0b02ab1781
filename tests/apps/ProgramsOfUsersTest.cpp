// Programs that users write against the component: compiled and linked
// against the public headers and the modules from a build tree, then run.
#include <regex>

#include "Programs.hpp"

using namespace Graphics;
using namespace Programs;

namespace {

const std::string Source = TESSORIN_SOURCE_DIR;
const std::string Binary = TESSORIN_BINARY_DIR;
// The sanitized build's modules need the same runtime in the program.
const std::string Flags = TESSORIN_CXX_FLAGS;

std::string Readme() {
  std::ifstream In(Source + "/README.md");
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

using ProgramsOfUsersTest = TProgramTest;

}  // namespace

TEST_F(ProgramsOfUsersTest, EveryPublicMemberOfTheComponentLinks) {
  const TResult R = Shell(std::string(TESSORIN_CXX) + " -std=c++20 -O0 " + Flags + " -I" + Source +
                          "/platform/include -I" + Source + "/component " + Source +
                          "/tests/apps/interface/EveryPublicMember.cpp -o " + Q("every") + " " + TESSORIN_BPL + " " +
                          VCL40_BPL + " -Wl,-rpath," + Binary + "/lib && " + Q("every"));
  EXPECT_EQ(R.Status, 0) << R.Output;
  EXPECT_NE(R.Output.find("every public member links and works"), std::string::npos) << R.Output;
}

TEST_F(ProgramsOfUsersTest, TheReadmesExampleBuildsAsItSaysAndBlendsTheWholePicture) {
  const std::string Text = Readme();
  const auto Block = Text.find("```cpp\n"), End = Text.find("```\n", Block + 7);
  ASSERT_NE(Block, std::string::npos);
  std::ofstream(Path("app.cpp")) << Text.substr(Block + 7, End - Block - 7);
  std::smatch Line;
  ASSERT_TRUE(std::regex_search(Text, Line, std::regex(R"(\n    (g\+\+ [^\n]*app\.cpp[^\n]*)\n)"))) << "the compile line";
  // The line as the README gives it, from the top of a build tree.
  for (const char* Folder : {"platform", "component"}) fs::create_directory_symlink(Source + "/" + Folder, Dir / Folder);
  fs::create_directory_symlink(Binary, Dir / "build");
  TResult R = Shell("cd " + Quoted(Dir.string()) + " && " + Line[1].str() + " " + Flags);
  ASSERT_EQ(R.Status, 0) << Line[1] << "\n" << R.Output;

  // A picture larger than the control's default size, and a filter on it.
  Save(Path("photo.bmp"), pf24bit, RGB(200, 150, 100), 300, 200);
  Save(Path("vignette.bmp"), pf24bit, RGB(128, 64, 32), 280, 190);
  R = Shell("cd " + Quoted(Dir.string()) + " && ./app");
  ASSERT_EQ(R.Status, 0) << R.Output;
  ASSERT_EQ(Shell(Lvfilter + " " + Q("photo.bmp") + " " + Q("vignette.bmp") + " -o " + Q("expected.bmp") +
                  " --top 10 --left 20").Status, 0);
  TBitmap Made, Expected;
  Made.LoadFromFile(Path("photo-dark.bmp"));
  Expected.LoadFromFile(Path("expected.bmp"));
  int Differing = 0;
  for (int Y = 0; Y < 200; ++Y)
    for (int X = 0; X < 300; ++X) Differing += Made.Pixel(X, Y) != Expected.Pixel(X, Y);
  EXPECT_EQ(Differing, 0) << "pixels the example leaves unblended";
}
