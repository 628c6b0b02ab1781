// Files on Windows: an output shows only when it is complete, replaces what
// was there in one step, and leaves nothing behind when it is not.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "Classes.hpp"
#include "Graphics.hpp"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace fs = std::filesystem;

namespace {

class FilesTest : public testing::Test {
protected:
  void SetUp() override {
    Folder = fs::temp_directory_path() / "tessorin-files";
    fs::remove_all(Folder);
    fs::create_directories(Folder);
  }
  void TearDown() override {
    for (const auto& Entry : fs::directory_iterator(Folder))
      ::SetFileAttributesA(Entry.path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove_all(Folder);
  }
  std::string Read(const fs::path& File) {
    std::ifstream In(File, std::ios::binary);
    return {std::istreambuf_iterator<char>(In), {}};
  }
  // Every name in the folder, hidden ones included.
  std::vector<std::string> Names() {
    std::vector<std::string> Result;
    for (const auto& Entry : fs::directory_iterator(Folder)) Result.push_back(Entry.path().filename().string());
    std::sort(Result.begin(), Result.end());
    return Result;
  }
  fs::path Folder;
};

}  // namespace

TEST_F(FilesTest, NothingShowsUntilCommitAndThenTheWholeFileReplacesTheOld) {
  const fs::path Target = Folder / "out.bin";
  for (const std::string Content : {"first", "second, longer than the first"}) {
    const std::string Before = fs::exists(Target) ? Read(Target) : "";
    Classes::TFileWriter File(Target.string());
    File.Stream() << Content;
    File.Stream().flush();
    EXPECT_EQ(fs::exists(Target) ? Read(Target) : "", Before) << "not before Commit";
    File.Commit();
    EXPECT_EQ(Read(Target), Content);
    EXPECT_EQ(Names(), std::vector<std::string>{"out.bin"}) << "no temporary left";
    const DWORD Attributes = ::GetFileAttributesA(Target.string().c_str());
    EXPECT_FALSE(Attributes & FILE_ATTRIBUTE_HIDDEN) << "the output is not hidden";
  }
  // A file that was hidden or a system file stays so when it is replaced.
  ASSERT_TRUE(::SetFileAttributesA(Target.string().c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  Classes::TFileWriter File(Target.string());
  File.Stream() << "third";
  File.Commit();
  EXPECT_EQ(Read(Target), "third");
  EXPECT_EQ(::GetFileAttributesA(Target.string().c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
            DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  EXPECT_EQ(Names(), std::vector<std::string>{"out.bin"}) << "no temporary left";
}

TEST_F(FilesTest, AWriterGivenUpLeavesTheOldFileAndNothingElse) {
  const fs::path Target = Folder / "kept.bin";
  Classes::WriteFileBytes(Target.string(), std::vector<std::uint8_t>{'o', 'l', 'd'});
  {
    Classes::TFileWriter File(Target.string());
    File.Stream() << "never committed";
  }
  {
    Classes::TFileWriter File((Folder / "new.bin").string());
    File.Stream() << "never committed";
  }
  EXPECT_EQ(Read(Target), "old");
  EXPECT_EQ(Names(), std::vector<std::string>{"kept.bin"});
}

TEST_F(FilesTest, TargetsThatCannotBeWrittenAreRefusedByName) {
  const fs::path ReadOnly = Folder / "readonly.bin";
  Classes::WriteFileBytes(ReadOnly.string(), std::vector<std::uint8_t>{'r'});
  ::SetFileAttributesA(ReadOnly.string().c_str(), FILE_ATTRIBUTE_READONLY);
  fs::create_directories(Folder / "folder");
  const std::pair<fs::path, const char*> Table[] = {
      {ReadOnly, "cannot write"},
      {Folder / "folder", "is a folder"},
      {Folder / "missing" / "out.bin", "no folder"}};
  for (const auto& [Target, Fault] : Table) {
    try {
      Classes::TFileWriter File(Target.string());
      ADD_FAILURE() << Target << " was accepted";
    } catch (const Classes::EWriteError& E) {
      EXPECT_EQ(E.Message().rfind(Target.string() + ": ", 0), 0u) << E.Message();
      EXPECT_NE(E.Message().find(Fault), std::string::npos) << E.Message();
    }
  }
  EXPECT_EQ(Read(ReadOnly), "r");
}

TEST_F(FilesTest, InputsAreMappedAndFoldersRefused) {
  const fs::path Input = Folder / "in.bmp";
  Graphics::TBitmap Bitmap;
  Bitmap.SetPixelFormat(Graphics::pf24bit);
  Bitmap.SetSize(3, 2);
  Bitmap.SaveToFile(Input.string());
  Graphics::TBitmap Back;
  Back.LoadFromFile(Input.string());
  EXPECT_EQ(Back.Width(), 3);
  EXPECT_THROW(Back.LoadFromFile(Folder.string()), Classes::EFOpenError);
  EXPECT_THROW(Back.LoadFromFile((Folder / "none.bmp").string()), Classes::EFOpenError);
}

TEST_F(FilesTest, AProgramKilledWhileItWritesLeavesTheFolderAsItWas) {
  // A picture whose output takes many writes, and an output already there.
  Graphics::TBitmap Picture;
  Picture.SetPixelFormat(Graphics::pf24bit);
  Picture.SetSize(4096, 4096);
  Picture.SaveToFile((Folder / "big.bmp").string());
  Picture.SetSize(1, 1);
  Picture.SaveToFile((Folder / "filter.bmp").string());
  Classes::WriteFileBytes((Folder / "out.bmp").string(), std::vector<std::uint8_t>{'o', 'l', 'd'});
  const auto Contents = [&] {
    std::vector<std::pair<std::string, std::string>> All;
    for (const std::string& Name : Names()) All.emplace_back(Name, Read(Folder / Name));
    return All;
  };
  const auto Before = Contents();

  char Own[MAX_PATH];
  ASSERT_GT(::GetModuleFileNameA(nullptr, Own, MAX_PATH), 0u);
  std::string Command = "\"" + (fs::path(Own).parent_path() / LVFILTER_PATH).string() + "\" \"" +
                        (Folder / "big.bmp").string() + "\" \"" + (Folder / "filter.bmp").string() + "\" -o \"" +
                        (Folder / "out.bmp").string() + "\" --yes";
  STARTUPINFOA Startup{};
  Startup.cb = sizeof Startup;
  PROCESS_INFORMATION Process{};
  ASSERT_TRUE(::CreateProcessA(nullptr, Command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                               &Startup, &Process))
      << ::GetLastError();
  // Ended by the system as soon as its hidden output has grown, while the
  // program still runs: part way through the write.
  bool Caught = false;
  while (!Caught && ::WaitForSingleObject(Process.hProcess, 0) == WAIT_TIMEOUT) {
    for (const auto& Entry : fs::directory_iterator(Folder)) {
      std::error_code Error;
      if (Entry.path().filename().string().rfind(".tessorin-", 0) == 0 && fs::file_size(Entry.path(), Error) > 0 && !Error) {
        Caught = ::TerminateProcess(Process.hProcess, 9) != 0;
        break;
      }
    }
  }
  ::WaitForSingleObject(Process.hProcess, INFINITE);
  DWORD Status = 0;
  ::GetExitCodeProcess(Process.hProcess, &Status);
  ::CloseHandle(Process.hThread);
  ::CloseHandle(Process.hProcess);
  ASSERT_TRUE(Caught) << "lvfilter ended with " << Status << " before it was seen writing";
  EXPECT_EQ(Status, 9u);
  EXPECT_EQ(Contents(), Before) << "the folder holds exactly what it held";
}

// The outputs of one run appear all or none. Each row puts a target that
// cannot be written first or second beside an output that replaces a file
// and one that is new: refused when its writer is made (a name the system
// refuses, a device, a file another program holds), or only when the files
// are named (held from then on), the folder holds exactly what it held.
TEST_F(FilesTest, TheOutputsOfOneRunAppearAllOrNone) {
  const struct {
    const char* Name;  // the target that cannot be written
    bool HeldFirst;    // another program holds it open, without letting it be deleted
    bool HeldLater;    // ... from after the writers were made
  } Rows[] = {
      {"b?.png", false, false},
      {"nul.png", false, false},
      {"held.png", true, false},
      {"held.png", false, true},
  };
  for (const auto& Row : Rows)
    for (const bool BadFirst : {true, false}) {
      SCOPED_TRACE(std::string(Row.Name) + (BadFirst ? " first" : " second"));
      Classes::WriteFileBytes((Folder / "old.png").string(), std::vector<std::uint8_t>{'o', 'l', 'd'});
      const fs::path Bad = Folder / Row.Name;
      if (Row.HeldFirst || Row.HeldLater) Classes::WriteFileBytes(Bad.string(), std::vector<std::uint8_t>{'h'});
      const auto Before = Names();
      const auto Hold = [&] {
        return ::CreateFileW(Bad.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
      };
      HANDLE Held = Row.HeldFirst ? Hold() : INVALID_HANDLE_VALUE;
      try {
        std::vector<std::unique_ptr<Classes::TFileWriter>> Writers;
        for (const fs::path& Target : BadFirst ? std::vector{Bad, Folder / "old.png", Folder / "new.png"}
                                               : std::vector{Folder / "old.png", Folder / "new.png", Bad}) {
          Writers.push_back(std::make_unique<Classes::TFileWriter>(Target.string()));
          Writers.back()->Stream() << "new";
        }
        if (Row.HeldLater) Held = Hold();
        Classes::CommitFiles({Writers[0].get(), Writers[1].get(), Writers[2].get()});
        ADD_FAILURE() << "committed";
      } catch (const Classes::EWriteError& E) {
        EXPECT_EQ(E.Message().rfind(Bad.string() + ": cannot write: ", 0), 0u) << E.Message();
      }
      if (Held != INVALID_HANDLE_VALUE) ::CloseHandle(Held);
      EXPECT_EQ(Names(), Before);
      EXPECT_EQ(Read(Folder / "old.png"), "old");
      std::error_code Error;
      if (Row.HeldFirst || Row.HeldLater) EXPECT_EQ(Read(Bad), "h");
      fs::remove(Bad, Error);
    }
}
