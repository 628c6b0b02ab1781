// pkgtool as a design host's user runs it: info and resource read a package
// as data and never run it; palette and properties load it.
#include <fstream>
#include <set>
#include <sstream>

#include "Programs.hpp"

using namespace Programs;

namespace {

using PkgtoolTest = TProgramTest;

const std::string Tessorin = TESSORIN_BPL;
const std::string Trap = std::string(TEST_MODULES) + "/FakeTrap.bpl";

}  // namespace

TEST_F(PkgtoolTest, ATruncatedPackageIsRefusedByEveryCommand) {
  const std::string Whole = Content(Tessorin);
  for (const std::size_t Cut : {std::size_t(64), std::size_t(1000), std::size_t(20000), std::size_t(40000),
                                Whole.size() - 1}) {
    std::ofstream(Path("t.bpl"), std::ios::binary) << Whole.substr(0, Cut);
    for (const std::string& Command : std::vector<std::string>{"info", "palette", "properties TLvFilterImage",
                                                                "resource MAINICON -o " + Q("x.ico")}) {
      const TResult R = Shell(Pkgtool + " " + Command + " " + Q("t.bpl"));
      EXPECT_EQ(R.Status, 2) << Cut << " bytes, " << Command << "\n" << R.Output;
      EXPECT_NE(R.Output.find(Path("t.bpl") + ": "), std::string::npos) << R.Output;
      EXPECT_NE(R.Output.find("truncated"), std::string::npos) << R.Output;
      EXPECT_EQ(Lines(R.Output), 1) << R.Output;
      // The section header table comes last in the file.
      if (Cut == Whole.size() - 1) {
        EXPECT_NE(R.Output.find("truncated: the section header table ends at byte " + std::to_string(Whole.size())),
                  std::string::npos) << R.Output;
      }
    }
  }
}

TEST_F(PkgtoolTest, OnlyPaletteAndPropertiesRunThePackagesCode) {
  const std::string Mark = Path("mark");
  const std::string Env = "TESSORIN_TRAP=" + Quoted(Mark) + " ";
  // Command, whether it runs the package's code.
  const std::pair<std::string, bool> Cases[] = {
      {"info " + Quoted(Trap), false},
      {"resource RCDATA/MARKER -o " + Q("marker.bin") + " " + Quoted(Trap), false},
      {"palette " + Quoted(Trap), true},
      {"properties TFoo " + Quoted(Trap), true},
  };
  for (const auto& [Command, Runs] : Cases) {
    fs::remove(Mark);
    const TResult R = Shell(Env + Pkgtool + " " + Command);
    EXPECT_EQ(fs::exists(Mark), Runs) << Command << "\n" << R.Output;
    if (!Runs) {
      EXPECT_EQ(R.Status, 0) << Command << "\n" << R.Output;
    } else {
      // The trap has no Register procedure; the error says which file.
      EXPECT_EQ(R.Status, 2) << Command << "\n" << R.Output;
      EXPECT_EQ(R.Output, "pkgtool: " + Trap + ": the package has no Register procedure\n");
    }
  }
  EXPECT_EQ(Content(Path("marker.bin")), "fake");
  const TResult Help = Shell(Pkgtool + " --help");
  EXPECT_NE(Help.Output.find("info and resource read the package\nas data and never run any of its code"),
            std::string::npos)
      << Help.Output;
}

TEST_F(PkgtoolTest, ResourcesAreNamedByTypeAndNameAndAmbiguityIsRefused) {
  // Name, status, what the output file or the one line holds.
  const std::tuple<std::string, int, std::string> Cases[] = {
      {"'#1'", 2, "the resource name #1 is ambiguous: say which of ICON/#1, VERSION/#1"},
      {"'ICON/#1'", 0, std::string("\x28\0\0\0", 4)},  // a bare DIB: its header is 40 bytes
      {"VERSION", 0, std::string("\x74\x02", 2)},  // the block's length, 628
      {"version/'#1'", 0, std::string("\x74\x02", 2)},
      {"bitmap/tlvfilterimage", 0, "BM"},
      {"MAINICON", 0, std::string("\0\0\1\0\1\0", 6)},
      {"BITMAP/MAINICON", 2, "no resource BITMAP/MAINICON"},
      {"NOSUCH", 2, "no resource NOSUCH"},
  };
  for (const auto& [Name, Status, Expected] : Cases) {
    fs::remove(Path("out.bin"));
    const TResult R = Shell(Pkgtool + " resource " + Name + " -o " + Q("out.bin"));
    EXPECT_EQ(R.Status, Status) << Name << "\n" << R.Output;
    if (Status == 0) {
      EXPECT_EQ(Content(Path("out.bin")).substr(0, Expected.size()), Expected) << Name;
    } else {
      EXPECT_NE(R.Output.find(Expected), std::string::npos) << Name << "\n" << R.Output;
      EXPECT_FALSE(fs::exists(Path("out.bin"))) << Name;
    }
  }
}

TEST_F(PkgtoolTest, InfoListsEachExportOnce) {
  const TResult R = Shell(Pkgtool + " info");
  ASSERT_EQ(R.Status, 0) << R.Output;
  std::istringstream Lines(R.Output);
  std::set<std::string> Seen;
  int Exports = 0;
  for (std::string Line; std::getline(Lines, Line);)
    if (Line.rfind("export: ", 0) == 0) {
      ++Exports;
      EXPECT_TRUE(Seen.insert(Line).second) << Line;
    }
  EXPECT_EQ(Exports, 23);
}
