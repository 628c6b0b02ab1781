// The folder Run hands its forms to the viewer in, on Windows: its access
// list names this user alone, each form is a new file past anything at its
// name, and all of it goes when the folder goes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "lvdesign/RunFolder.hpp"
#include "lvdesign/win32/Wide.hpp"
#include "lvdesign/win32/Win32.hpp"

#include <aclapi.h>

namespace fs = std::filesystem;

namespace {

std::span<const std::uint8_t> Bytes(const std::string& Text) {
  return {reinterpret_cast<const std::uint8_t*>(Text.data()), Text.size()};
}

std::string Content(const std::string& File) {
  std::ifstream In(fs::path(Lvdesign::Widen(File)), std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

// The access list's entries: whether one allows this process's user, all
// allow only this user or the system itself (which no list keeps out), and
// none comes from the parent.
struct TAccess {
  bool Mine = false, OnlyMine = true, Inherited = false;
};

TAccess AccessOf(const std::string& Path) {
  TAccess Access;
  PACL List = nullptr;
  PSECURITY_DESCRIPTOR Descriptor = nullptr;
  EXPECT_EQ(::GetNamedSecurityInfoW(Lvdesign::Widen(Path).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                    nullptr, &List, nullptr, &Descriptor),
            DWORD(ERROR_SUCCESS));
  if (!List) return Access;
  HANDLE Token = nullptr;
  ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &Token);
  char User[256];
  DWORD Size = 0;
  ::GetTokenInformation(Token, TokenUser, User, sizeof User, &Size);
  ::CloseHandle(Token);
  char System[SECURITY_MAX_SID_SIZE];
  DWORD SystemSize = sizeof System;
  ::CreateWellKnownSid(WinLocalSystemSid, nullptr, System, &SystemSize);
  for (DWORD I = 0; I < List->AceCount; ++I) {
    ACCESS_ALLOWED_ACE* Entry = nullptr;
    if (!::GetAce(List, I, reinterpret_cast<void**>(&Entry))) continue;
    const bool ForUser = ::EqualSid(&Entry->SidStart, reinterpret_cast<TOKEN_USER*>(User)->User.Sid);
    Access.Mine |= ForUser && Entry->Header.AceType == ACCESS_ALLOWED_ACE_TYPE;
    Access.OnlyMine &= ForUser || ::EqualSid(&Entry->SidStart, System);
    Access.Inherited |= (Entry->Header.AceFlags & INHERITED_ACE) != 0;
  }
  ::LocalFree(Descriptor);
  return Access;
}

}  // namespace

TEST(RunFolder, FormsGoIntoAFolderOfThisUsersAloneAndGoWithIt) {
  const fs::path Parent = fs::path(testing::TempDir()) / "run-folder";
  fs::create_directories(Parent);
  std::string Folder, First;
  {
    Lvdesign::TRunFolder Forms(Lvdesign::Narrow(Parent.wstring()));
    EXPECT_EQ(Forms.Path(), "");  // nothing is made before a form is run
    First = Forms.Write(Bytes("first form"));
    Folder = Forms.Path();
    EXPECT_EQ(fs::path(Lvdesign::Widen(Folder)).parent_path(), Parent);
    const TAccess Access = AccessOf(Folder);
    EXPECT_TRUE(Access.Mine && Access.OnlyMine && !Access.Inherited);
    EXPECT_TRUE(AccessOf(First).OnlyMine) << "others may read the form";
    EXPECT_EQ(Content(First), "first form");

    // What is at the name the next form would take is passed over, as it was.
    std::ofstream(fs::path(Lvdesign::Widen(Folder + "\\form2.dfm")), std::ios::binary) << "left here";
    const std::string Second = Forms.Write(Bytes("second form"));
    EXPECT_EQ(fs::path(Lvdesign::Widen(Second)).filename(), "form3.dfm");
    EXPECT_EQ(Content(Second), "second form");
    EXPECT_EQ(Content(Folder + "\\form2.dfm"), "left here");
    // Held open, the folder cannot be taken away or renamed while in use.
    EXPECT_FALSE(::MoveFileW(Lvdesign::Widen(Folder).c_str(), (Parent / "moved").wstring().c_str()));
  }
  EXPECT_FALSE(fs::exists(fs::path(Lvdesign::Widen(Folder))));
}
