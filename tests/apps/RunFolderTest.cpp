// The folder lvdesign's Run hands its forms to the viewer in: this user's
// alone, each form a new file that never goes through what someone left at
// its name, and all of it gone when the folder goes.
#include <sys/stat.h>

#include "Programs.hpp"
#include "lvdesign/RunFolder.hpp"

using namespace Programs;

namespace {

using RunFolderTest = TProgramTest;

std::span<const std::uint8_t> Bytes(const std::string& Text) {
  return {reinterpret_cast<const std::uint8_t*>(Text.data()), Text.size()};
}

unsigned Mode(const std::string& Path) {
  struct stat Status {};
  EXPECT_EQ(lstat(Path.c_str(), &Status), 0) << Path;
  return Status.st_mode & 07777;
}

void Write(const std::string& File, const std::string& Text) { std::ofstream(File, std::ios::binary) << Text; }

}  // namespace

TEST_F(RunFolderTest, FormsGoIntoAPrivateFolderPastAnythingPlantedAndGoWithIt) {
  Write(Path("mine.txt"), "mine");
  std::string Folder;
  {
    Lvdesign::TRunFolder Forms(Dir.string());
    EXPECT_EQ(Forms.Path(), "");  // nothing is made before a form is run
    const std::string First = Forms.Write(Bytes("first form"));
    Folder = Forms.Path();
    ASSERT_EQ(fs::path(Folder).parent_path(), Dir);
    EXPECT_EQ(Mode(Folder), 0700u);
    EXPECT_EQ(fs::path(First).parent_path(), fs::path(Folder));
    EXPECT_EQ(Mode(First) & 077, 0u) << "others may read the form";
    EXPECT_EQ(Content(First), "first form");

    // At the names the next forms would take, what someone with access
    // could have left: each is passed over and left as it was.
    const struct {
      const char* Name;
      const char* LinkTo;  // nullptr: a plain file
    } Planted[] = {
        {"form2.dfm", "../mine.txt"},       // a link to another file of the user's
        {"form3.dfm", "../made-by-link"},   // a link to a file not there yet
        {"form4.dfm", nullptr},             // a file
        {"form5.dfm", "/no/such/folder/x"}, // a link that leads nowhere
    };
    for (const auto& P : Planted) {
      const std::string At = Folder + "/" + P.Name;
      if (P.LinkTo)
        fs::create_symlink(P.LinkTo, At);
      else
        Write(At, "planted");
    }
    std::vector<std::string> Written;
    for (const char* Text : {"second form", "third form"}) {
      Written.push_back(Forms.Write(Bytes(Text)));
      EXPECT_EQ(Content(Written.back()), Text);
      EXPECT_EQ(fs::path(Written.back()).parent_path(), fs::path(Folder));
      EXPECT_EQ(Mode(Written.back()) & 077, 0u);
      for (const auto& P : Planted) EXPECT_NE(fs::path(Written.back()).filename(), P.Name);
    }
    EXPECT_NE(Written[0], Written[1]);
    EXPECT_EQ(Content(First), "first form") << "a later run changed the form a viewer may still read";
    EXPECT_EQ(Content(Path("mine.txt")), "mine");
    EXPECT_FALSE(fs::exists(Path("made-by-link")));
    EXPECT_EQ(Content(Folder + "/form4.dfm"), "planted");

    // Another lvdesign's forms go elsewhere.
    Lvdesign::TRunFolder Other(Dir.string());
    Other.Write(Bytes("other"));
    EXPECT_NE(Other.Path(), Folder);
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(Folder)));
  EXPECT_EQ(Content(Path("mine.txt")), "mine");
  for (const std::string& Name : Listing()) EXPECT_NE(Name.rfind("lvdesign-run-", 0), 0u) << Name << " was left";
}
