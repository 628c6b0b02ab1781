// What the programs read and write: inputs that are no plain files are
// refused before anything is read, and outputs appear whole or not at all.
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <thread>

#include "Programs.hpp"

using namespace Graphics;
using namespace Programs;

namespace {

using FilesTest = TProgramTest;

// Whether the process holds a file in the folder open: the sign that it
// has begun writing its output.
bool WritingIn(pid_t Process, const fs::path& Folder) {
  std::error_code Error;
  for (const auto& Entry : fs::directory_iterator("/proc/" + std::to_string(Process) + "/fd", Error)) {
    const fs::path Target = fs::read_symlink(Entry.path(), Error);
    if (!Error && Target.string().rfind(Folder.string() + "/", 0) == 0 && Target.extension() != ".bmp") return true;
  }
  return false;
}

// A scratch folder that an unprivileged user can enter, holding a copy of
// lvfilter and its modules, for runs as that user when the tests run as
// root (whom no file permission stops). The build tree will not do: a
// checkout in root's home (mode 700) is closed to everyone else.
class TUnprivilegedRun {
public:
  TUnprivilegedRun() {
    if (::geteuid() != 0) return;
    for (const char* Parent : {static_cast<const char*>(std::getenv("TMPDIR")), "/tmp", "/var/tmp", "/dev/shm"}) {
      if (!Parent || !OthersCanEnter(Parent)) continue;
      std::string Template = (fs::path(Parent) / "tessorin-XXXXXX").string();
      if (!::mkdtemp(Template.data())) continue;
      FDir = Template;
      fs::permissions(FDir, fs::perms::owner_all | fs::perms::others_exec | fs::perms::group_exec);
      fs::create_directory(FDir / "bin");
      fs::create_directory(FDir / "lib");
      // lvfilter finds its modules at $ORIGIN/../lib before the build tree.
      fs::copy_file(Programs::Lvfilter, FDir / "bin/lvfilter");
      for (const char* Module : {TESSORIN_BPL, VCL40_BPL})
        fs::copy_file(Module, FDir / "lib" / fs::path(Module).filename());
      fs::permissions(FDir / "bin/lvfilter", fs::perms::all & ~fs::perms::group_write & ~fs::perms::others_write);
      return;
    }
  }
  ~TUnprivilegedRun() {
    std::error_code Ignored;
    if (!FDir.empty()) fs::remove_all(FDir, Ignored);
  }
  TUnprivilegedRun(const TUnprivilegedRun&) = delete;
  TUnprivilegedRun& operator=(const TUnprivilegedRun&) = delete;

  // False when running as root and no folder others can enter was found.
  bool Possible() const { return ::geteuid() != 0 || !FDir.empty(); }
  // The folder for the run's files, open to the unprivileged user.
  fs::path Files(const fs::path& OwnDir) const {
    if (FDir.empty()) return OwnDir;
    fs::create_directory(FDir / "files");
    fs::permissions(FDir / "files", fs::perms::all);
    return FDir / "files";
  }
  // lvfilter with its arguments, as the unprivileged user where that matters.
  std::string Command(const std::string& Arguments) const {
    if (FDir.empty()) return Programs::Lvfilter + " " + Arguments;
    return "setpriv --reuid=65534 --regid=65534 --clear-groups " + Quoted((FDir / "bin/lvfilter").string()) + " " +
           Arguments;
  }

private:
  // Whether every folder on the way to Path lets others pass.
  static bool OthersCanEnter(const fs::path& Path) {
    std::error_code Error;
    fs::path Walk = fs::canonical(Path, Error);
    if (Error || !fs::is_directory(Walk, Error)) return false;
    for (; !Walk.empty(); Walk = Walk.parent_path()) {
      struct stat Info {};
      if (::stat(Walk.c_str(), &Info) != 0 || !(Info.st_mode & S_IXOTH)) return false;
      if (Walk == Walk.root_path()) break;
    }
    return true;
  }

  fs::path FDir;
};

}  // namespace

TEST_F(FilesTest, InputsThatAreNoPlainFilesAreRefusedBeforeAnythingIsRead) {
  ASSERT_EQ(mkfifo(Path("fifo.bmp").c_str(), 0600), 0);  // no writer: opening it could wait forever
  fs::create_directory(Path("folder.bmp"));
  std::ofstream(Path("huge.bmp")).close();
  fs::resize_file(Path("huge.bmp"), std::uintmax_t(20) << 30);  // sparse: costs no disk
  // Input, the fault the one line must name with it.
  const std::pair<std::string, std::string> Inputs[] = {
      {"fifo.bmp", ": not a regular file"},
      {"folder.bmp", ": is a folder, not a file"},
      {"huge.bmp", ": the file is 20 GiB, more than the limit of 1 GiB"},
  };
  for (const auto& [Input, Text] : Inputs) {
    for (const std::string& Command :
         {Lvfilter + " " + Q(Input) + " " + Q("filter.png") + " -o " + Q("out.png"),
          Lvfilter + " " + Q("picture24.bmp") + " " + Q(Input) + " -o " + Q("out.png"),
          Pkgtool + " info " + Q(Input), Pkgtool + " palette " + Q(Input)}) {
      const TResult R = Shell("timeout 20 " + Command);
      EXPECT_EQ(R.Status, 2) << Command << "\n" << R.Output;
      EXPECT_NE(R.Output.find(Path(Input) + ": "), std::string::npos) << R.Output;
      EXPECT_NE(R.Output.find(Text), std::string::npos) << Command << "\n" << R.Output;
      EXPECT_EQ(Lines(R.Output), 1) << R.Output;
    }
  }
  EXPECT_FALSE(fs::exists(Path("out.png")));
}

TEST_F(FilesTest, AnInterruptedRunLeavesTheOldOutputAndNothingElse) {
  Save(Path("big.bmp"), pf24bit, RGB(200, 100, 50), 1000, 1000);
  std::ofstream(Path("out.bmp")) << "old";
  const auto Before = Listing();
  for (int Signal : {SIGKILL, SIGINT, SIGTERM}) {
    const pid_t Child = fork();
    if (Child == 0) {
      const int Null = open("/dev/null", O_RDWR);
      for (int Stream : {0, 1, 2}) dup2(Null, Stream);
      execl(Lvfilter.c_str(), "lvfilter", Path("big.bmp").c_str(), Path("big.bmp").c_str(), "-o",
            Path("out.bmp").c_str(), "--repeat", "1000000", static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int Wait = 0; Wait < 500 && !WritingIn(Child, Dir); ++Wait)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(WritingIn(Child, Dir)) << "the run began writing";
    kill(Child, Signal);
    int Status = 0;
    waitpid(Child, &Status, 0);
    EXPECT_TRUE(WIFSIGNALED(Status) && WTERMSIG(Status) == Signal) << strsignal(Signal);
    EXPECT_EQ(Listing(), Before) << strsignal(Signal);
    EXPECT_EQ(Content(Path("out.bmp")), "old") << strsignal(Signal);
  }
}

TEST_F(FilesTest, AnOutputNameOfTheLongestLegalLengthIsWritten) {
  const std::string Name = std::string(251, 'n') + ".bmp";
  ASSERT_EQ(Name.size(), 255u);
  for (const bool Exists : {false, true}) {
    if (Exists) std::ofstream(Path(Name)) << "old";
    const TResult R = Shell(Lvfilter + " " + Q("picture24.bmp") + " " + Q("filter.png") + " -o " + Q(Name));
    EXPECT_EQ(R.Status, 0) << R.Output;
    TBitmap Out;
    Out.LoadFromFile(Path(Name));
    EXPECT_EQ(Out.Width(), 6);
  }
}

TEST_F(FilesTest, ARunWritesEveryOutputOrNone) {
  std::ofstream(Path("broken.bmp"), std::ios::binary) << "BM this is not a bitmap";
  std::ofstream(Path("out.png")) << "precious";
  fs::create_symlink("out.png", Path("link.png"));
  fs::create_symlink("s.png", Path("form-link.txt"));
  const auto Before = Listing();
  // Picture, the rest of the command line, status, what the one line says.
  const std::tuple<std::string, std::string, int, std::string> Cases[] = {
      {"picture24.bmp", "-o " + Q("out.png") + " --screenshot /nonexistent/s.png", 1,
       "/nonexistent/s.png: cannot write: no folder /nonexistent"},
      // The output folder is refused before the picture is read.
      {"broken.bmp", "-o /nonexistent/out.png", 1, "/nonexistent/out.png: cannot write: no folder /nonexistent"},
      {"picture24.bmp", "-o " + Q("out.png") + " --screenshot " + Q("out.png"), 2, "would overwrite the output"},
      // One file under two spellings: a new one through ".", a link, a stored form.
      {"picture24.bmp", "-o new.png --screenshot ./new.png", 2, "would overwrite the output"},
      {"picture24.bmp", "-o " + Q("out.png") + " --screenshot " + Q("link.png"), 2, "would overwrite the output"},
      {"picture24.bmp", "-o " + Q("s.png") + " --save-form " + Q("form-link.txt"), 2,
       "the stored form would overwrite the output"},
      {"picture24.bmp", "-o " + Q("out.png") + " --size 0x0 --screenshot " + Q("s.png"), 2, "is empty"},
      {"picture8.bmp", "-o " + Q("out.png") + " --no --screenshot " + Q("s.png"), 3, "declined"},
      {"picture24.bmp", "-o " + Q("out.png") + " --screenshot " + Q("folder"), 2, "no picture file extension"},
  };
  for (const auto& [Picture, Rest, Status, Text] : Cases) {
    const TResult R = Shell("cd " + Q("") + " && " + Lvfilter + " " + Q(Picture) + " " + Q("filter.png") + " " + Rest);
    EXPECT_EQ(R.Status, Status) << Rest << "\n" << R.Output;
    EXPECT_NE(R.Output.find(Text), std::string::npos) << Rest << "\n" << R.Output;
    EXPECT_EQ(Content(Path("out.png")), "precious") << Rest;
    EXPECT_EQ(Listing(), Before) << Rest;
  }
  // With both inputs missing, the first named is the one reported.
  const TResult Both = Shell(Lvfilter + " " + Q("nothing.bmp") + " " + Q("nofilter.png") + " -o " + Q("out.png"));
  EXPECT_EQ(Both.Status, 2);
  EXPECT_EQ(Both.Output.find("lvfilter: " + Path("nothing.bmp") + ": "), 0u) << Both.Output;
}

TEST_F(FilesTest, OutputsAreWrittenThroughLinksAndReadOnlyOnesRefused) {
  fs::create_directory(Path("real"));
  std::ofstream(Path("real/target.png")) << "old";
  fs::create_symlink("real/target.png", Path("link.png"));
  fs::create_symlink(Path("real/new.png"), Path("dangling.png"));
  for (const char* Link : {"link.png", "dangling.png"}) {
    const TResult R = Shell(Lvfilter + " " + Q("picture24.bmp") + " " + Q("filter.png") + " -o " + Q(Link));
    EXPECT_EQ(R.Status, 0) << Link << "\n" << R.Output;
    EXPECT_TRUE(fs::is_symlink(Path(Link))) << Link << " stays a link";
  }
  for (const char* Target : {"real/target.png", "real/new.png"}) {
    TBitmap Out;
    Out.LoadFromFile(Path(Target));
    EXPECT_EQ(Out.Pixel(0, 0), RGB(0, 100, 0)) << Target;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(Path("real")), fs::directory_iterator()), 2);

  // A file its owner made read-only is refused, though its folder is writable,
  // and even to root the refusal is the system's own.
  const TUnprivilegedRun Run;
  if (!Run.Possible()) GTEST_SKIP() << "no folder that an unprivileged user can enter";
  const fs::path Files = Run.Files(Dir);
  for (const char* Input : {"picture24.bmp", "filter.png"}) {
    if (Files != Dir) fs::copy_file(Path(Input), Files / Input);
    fs::permissions(Files / Input, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  }
  fs::permissions(Files, fs::perms::all);
  std::ofstream(Files / "readonly.png") << "old";
  fs::permissions(Files / "readonly.png", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const auto In = [&](const char* Name) { return Quoted((Files / Name).string()); };
  const TResult R = Shell(Run.Command(In("picture24.bmp") + " " + In("filter.png") + " -o " + In("readonly.png")));
  EXPECT_EQ(R.Status, 1) << R.Output;
  EXPECT_NE(R.Output.find("readonly.png: cannot write: Permission denied"), std::string::npos) << R.Output;
  EXPECT_EQ(Content((Files / "readonly.png").string()), "old");
}

TEST_F(FilesTest, AFailedWriteGivesTheSystemsReason) {
  Save(Path("big.bmp"), pf24bit, RGB(200, 100, 50), 200, 200);
  // A file size limit stands in for a full disk: the write fails part way.
  const TResult R = Shell("trap '' XFSZ; ulimit -f 16; exec " + Lvfilter + " " + Q("big.bmp") + " " + Q("filter.png") +
                        " -o " + Q("out.bmp"));
  EXPECT_EQ(R.Status, 1) << R.Output;
  EXPECT_NE(R.Output.find("out.bmp: cannot write: File too large"), std::string::npos) << R.Output;
  EXPECT_FALSE(fs::exists(Path("out.bmp")));
}
