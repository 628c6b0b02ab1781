// Files written all or nothing: through an unnamed file where the system
// has them, and through a short temporary name that signals clean up where
// it has not.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "Classes.hpp"
#include "os/Os.hpp"

namespace fs = std::filesystem;

namespace {

class FileWriterTest : public ::testing::TestWithParam<bool> {
protected:
  void SetUp() override {
    Os::SetUnnamedFilesAllowed(GetParam());
    Dir = fs::path(testing::TempDir()) / ("writer-" + std::to_string(::getpid()));
    fs::remove_all(Dir);
    fs::create_directories(Dir);
  }
  void TearDown() override {
    Os::SetUnnamedFilesAllowed(true);
    fs::remove_all(Dir);
  }
  std::string Path(const std::string& Name) const { return (Dir / Name).string(); }
  std::vector<std::string> Listing() const {
    std::vector<std::string> Names;
    for (const auto& Entry : fs::directory_iterator(Dir)) Names.push_back(Entry.path().filename().string());
    std::sort(Names.begin(), Names.end());
    return Names;
  }
  static std::string Content(const std::string& File) {
    std::ifstream In(File, std::ios::binary);
    std::ostringstream Text;
    Text << In.rdbuf();
    return Text.str();
  }
  fs::path Dir;
};

}  // namespace

TEST_P(FileWriterTest, NothingShowsUntilCommitAndThenTheWholeFile) {
  // Target name (255 bytes at most is legal), whether a file is there first.
  const std::pair<std::string, bool> Cases[] = {
      {"new.bin", false}, {"old.bin", true}, {std::string(255, 'n'), false}, {std::string(255, 'o'), true}};
  for (const auto& [Name, Exists] : Cases) {
    if (Exists) {
      std::ofstream(Path(Name)) << "old";
      fs::permissions(Path(Name), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    }
    const auto Before = Listing();
    {
      Classes::TFileWriter File(Path(Name));
      File.Stream() << "new" << std::flush;
      auto During = Listing();
      if (!GetParam()) {  // one hidden temporary, short whatever the target's name
        const auto Hidden = std::find_if(During.begin(), During.end(),
                                         [](const std::string& N) { return N.rfind(".tessorin-", 0) == 0; });
        ASSERT_NE(Hidden, During.end());
        EXPECT_EQ(Hidden->size(), 20u);
        During.erase(Hidden);
      }
      EXPECT_EQ(During, Before);
      EXPECT_EQ(Content(Path(Name)), Exists ? "old" : "");
      File.Commit();
    }
    EXPECT_EQ(Content(Path(Name)), "new");
    EXPECT_EQ(Listing().size(), Before.size() + (Exists ? 0 : 1)) << "no temporary left";
    if (Exists) {
      EXPECT_EQ(fs::status(Path(Name)).permissions(),
                fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    }
  }
}

TEST_P(FileWriterTest, AnUncommittedFileLeavesNothingEvenOnATerminationSignal) {
  std::ofstream(Path("out.bin")) << "old";
  const auto Before = Listing();
  { Classes::TFileWriter(Path("out.bin")).Stream() << "dropped"; }
  EXPECT_EQ(Listing(), Before);
  for (int Signal : {SIGINT, SIGTERM}) {
    const pid_t Child = fork();
    if (Child == 0) {
      Classes::TFileWriter File(Path("out.bin"));
      File.Stream() << "interrupted" << std::flush;
      raise(Signal);
      _exit(0);
    }
    int Status = 0;
    waitpid(Child, &Status, 0);
    EXPECT_TRUE(WIFSIGNALED(Status) && WTERMSIG(Status) == Signal) << Status;
    EXPECT_EQ(Listing(), Before) << strsignal(Signal);
    EXPECT_EQ(Content(Path("out.bin")), "old");
  }
}

INSTANTIATE_TEST_SUITE_P(UnnamedOrNamed, FileWriterTest, ::testing::Values(true, false),
                         [](const auto& Info) { return Info.param ? "Unnamed" : "NamedTemporary"; });
