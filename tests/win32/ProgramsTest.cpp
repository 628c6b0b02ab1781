// The programs as Explorer shows them: each carries the package's icon and
// a version block naming it, and the viewer is a window program with no
// console of its own.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// After <windows.h>, which it needs.
#include <shellapi.h>

TEST(Programs, CarryAnIconAndAVersionBlockNamingThem) {
  wchar_t Own[MAX_PATH];
  ASSERT_GT(::GetModuleFileNameW(nullptr, Own, MAX_PATH), 0u);
  const std::filesystem::path Folder = std::filesystem::path(Own).parent_path();
  const struct {
    const wchar_t* Name;
    WORD Subsystem;
  } Rows[] = {
      {L"lvfilter.exe", IMAGE_SUBSYSTEM_WINDOWS_CUI},
      {L"pkgtool.exe", IMAGE_SUBSYSTEM_WINDOWS_CUI},
      {L"lvview.exe", IMAGE_SUBSYSTEM_WINDOWS_GUI},
      {L"lvdesign.exe", IMAGE_SUBSYSTEM_WINDOWS_GUI},
  };
  for (const auto& Row : Rows) {
    const std::wstring Path = (Folder / Row.Name).wstring();
    SCOPED_TRACE(std::filesystem::path(Row.Name).string());
    DWORD Ignored = 0;
    std::vector<char> Block(::GetFileVersionInfoSizeW(Path.c_str(), &Ignored));
    ASSERT_FALSE(Block.empty()) << ::GetLastError();
    ASSERT_TRUE(::GetFileVersionInfoW(Path.c_str(), 0, DWORD(Block.size()), Block.data()));
    wchar_t* Value = nullptr;
    UINT Length = 0;
    ASSERT_TRUE(::VerQueryValueW(Block.data(), L"\\StringFileInfo\\040904B0\\OriginalFilename",
                                 reinterpret_cast<void**>(&Value), &Length));
    EXPECT_EQ(std::wstring(Value), Row.Name);

    HMODULE Module = ::LoadLibraryExW(Path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_TRUE(Module) << ::GetLastError();
    EXPECT_TRUE(::FindResourceW(Module, L"MAINICON", MAKEINTRESOURCEW(14)));  // RT_GROUP_ICON
    ::FreeLibrary(Module);
    EXPECT_EQ(::ExtractIconExW(Path.c_str(), -1, nullptr, nullptr, 0), 1u);

    // The subsystem, from the PE header as it lies in the file.
    const HANDLE File = ::CreateFileW(Path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(File, INVALID_HANDLE_VALUE);
    IMAGE_DOS_HEADER Dos{};
    IMAGE_NT_HEADERS32 Headers{};
    DWORD Read = 0;
    ::ReadFile(File, &Dos, sizeof Dos, &Read, nullptr);
    ::SetFilePointer(File, Dos.e_lfanew, nullptr, FILE_BEGIN);
    ::ReadFile(File, &Headers, sizeof Headers, &Read, nullptr);
    ::CloseHandle(File);
    EXPECT_EQ(Headers.OptionalHeader.Subsystem, Row.Subsystem);
  }
}
