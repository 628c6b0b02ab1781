// The package as Windows itself sees it: loaded by the system's loader, its
// exports found by GetProcAddress, its resources and version block read by
// the system's resource and version calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cxxabi.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>

#include "Graphics.hpp"
#include "SysUtils.hpp"
#include "os/Os.hpp"
#include "package/PaletteDrawing.hpp"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace fs = std::filesystem;

namespace {

// The package's own file, beside this program as Windows finds it.
constexpr char Package[] = "Tessorin.bpl";

std::string Demangled(const char* Name) {
  int Status = 0;
  std::unique_ptr<char, void (*)(void*)> Plain(abi::__cxa_demangle(Name, nullptr, nullptr, &Status), std::free);
  return Status == 0 ? Plain.get() : Name;
}

// A loaded module's image: its headers and directories, as the loader
// mapped them.
const IMAGE_NT_HEADERS32& Headers(HMODULE Module) {
  const auto* Base = reinterpret_cast<const BYTE*>(Module);
  return *reinterpret_cast<const IMAGE_NT_HEADERS32*>(Base + reinterpret_cast<const IMAGE_DOS_HEADER*>(Base)->e_lfanew);
}

template <class T>
const T* At(HMODULE Module, DWORD Rva) {
  return reinterpret_cast<const T*>(reinterpret_cast<const BYTE*>(Module) + Rva);
}

std::vector<std::string> ExportedNames(HMODULE Module) {
  const auto& Directory = Headers(Module).OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  const auto* Exports = At<IMAGE_EXPORT_DIRECTORY>(Module, Directory.VirtualAddress);
  const auto* Names = At<DWORD>(Module, Exports->AddressOfNames);
  std::vector<std::string> Result;
  for (DWORD I = 0; I < Exports->NumberOfNames; ++I) Result.emplace_back(At<char>(Module, Names[I]));
  return Result;
}

std::set<std::string> ImportedModules(HMODULE Module) {
  const auto& Directory = Headers(Module).OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  std::set<std::string> Result;
  for (const auto* Import = At<IMAGE_IMPORT_DESCRIPTOR>(Module, Directory.VirtualAddress); Import->Name; ++Import) {
    std::string Name = At<char>(Module, Import->Name);
    std::transform(Name.begin(), Name.end(), Name.begin(), [](unsigned char C) { return char(std::tolower(C)); });
    Result.insert(Name);
  }
  return Result;
}

BOOL CALLBACK AddLanguage(HMODULE, LPCSTR, LPCSTR, WORD Language, LONG_PTR Found) {
  reinterpret_cast<std::vector<WORD>*>(Found)->push_back(Language);
  return TRUE;
}

class PackageModule : public testing::Test {
protected:
  void SetUp() override { ASSERT_NE(Module = ::LoadLibraryA(Package), nullptr) << ::GetLastError(); }
  void TearDown() override {
    if (Module) ::FreeLibrary(Module);
  }
  HMODULE Module = nullptr;
};

}  // namespace

TEST_F(PackageModule, LoadingItPullsInTheFrameworkAndNothingButSystemModules) {
  const std::set<std::string> Imports = ImportedModules(Module);
  EXPECT_TRUE(Imports.count("vcl40.bpl"));
  const std::set<std::string> Allowed = {"vcl40.bpl", "kernel32.dll", "msvcrt.dll", "user32.dll", "gdi32.dll",
                                         "libgcc_s_dw2-1.dll", "libwinpthread-1.dll"};
  for (const std::string& Name : Imports) EXPECT_TRUE(Allowed.count(Name)) << Name;
  EXPECT_NE(::GetModuleHandleA("vcl40.bpl"), nullptr);
}

TEST_F(PackageModule, ItsEntryPointRegistersItAndUnloadingTakesItOff) {
  char FileName[MAX_PATH];
  ASSERT_GT(::GetModuleFileNameA(Module, FileName, MAX_PATH), 0u);
  const auto Instance = reinterpret_cast<Windows::HMODULE>(Module);
  const auto Find = [&] {
    for (const SysUtils::TLibModule& Lib : SysUtils::LibModules())
      if (Lib.Instance == Instance) return std::make_unique<SysUtils::TLibModule>(Lib);
    return std::unique_ptr<SysUtils::TLibModule>();
  };
  const auto Listed = Find();
  ASSERT_TRUE(Listed);
  EXPECT_EQ(Listed->FileName, FileName);
  EXPECT_EQ(Listed->ResInstance, Instance) << "without a resource module it serves its own resources";
  ::FreeLibrary(std::exchange(Module, nullptr));
  EXPECT_FALSE(Find());
}

TEST_F(PackageModule, ExportsExactlyTheListedEntriesEachFoundByGetProcAddress) {
  const std::multiset<std::string> Listed = {
      "Initialize", "Finalize", "GetPackageInfoTable", "@GetPackageInfoTable",
      "Tessorin::PackageLoad()", "Tessorin::PackageUnload()", "Tessorin::GetPackageInfoTable()",
      "LvFltImg::FitinRange(int)", "LvFltImg::Register()", "LvFltImg::Initialization()", "LvFltImg::Finalization()",
      // the constructor's two variants and the destructor's three
      "LvFltImg::TLvFilterImage::TLvFilterImage(Classes::TComponent*)",
      "LvFltImg::TLvFilterImage::TLvFilterImage(Classes::TComponent*)",
      "LvFltImg::TLvFilterImage::~TLvFilterImage()", "LvFltImg::TLvFilterImage::~TLvFilterImage()",
      "LvFltImg::TLvFilterImage::~TLvFilterImage()",
      "LvFltImg::TLvFilterImage::Set24BitColor()", "LvFltImg::TLvFilterImage::SetFilterBitMap(Graphics::TBitmap*)",
      "LvFltImg::TLvFilterImage::Filter(int, int)", "LvFltImg::TLvFilterImage::ClassInfo()",
      "LvFltImg::TLvFilterImage::ClassType() const", "vtable for LvFltImg::TLvFilterImage",
      "typeinfo for LvFltImg::TLvFilterImage", "typeinfo name for LvFltImg::TLvFilterImage"};
  std::multiset<std::string> Found;
  for (const std::string& Name : ExportedNames(Module)) {
    Found.insert(Demangled(Name.c_str()));
    EXPECT_NE(::GetProcAddress(Module, Name.c_str()), nullptr) << Name;
  }
  EXPECT_EQ(Found, Listed);
  // The at-sign name is the same entry.
  EXPECT_EQ(::GetProcAddress(Module, "@GetPackageInfoTable"), ::GetProcAddress(Module, "GetPackageInfoTable"));
  // What the package inspector reads from the file says the same.
  char FileName[MAX_PATH];
  ASSERT_GT(::GetModuleFileNameA(Module, FileName, MAX_PATH), 0u);
  const std::vector<std::string> Read = SysUtils::ModuleExports(FileName);
  EXPECT_EQ(Read.size(), Listed.size());
}

TEST_F(PackageModule, ThePaletteBitmapLoadsAsTheDrawingPixelByPixel) {
  HBITMAP Bitmap = ::LoadBitmapA(Module, "TLVFILTERIMAGE");
  ASSERT_NE(Bitmap, nullptr);
  BITMAP Info{};
  ASSERT_TRUE(::GetObjectA(Bitmap, sizeof Info, &Info));
  EXPECT_EQ(Info.bmWidth, 24);
  EXPECT_EQ(Info.bmHeight, 24);
  HDC Screen = ::GetDC(nullptr);
  HDC Memory = ::CreateCompatibleDC(Screen);
  HGDIOBJ Old = ::SelectObject(Memory, Bitmap);
  for (int Y = 0; Y < 24; ++Y)
    for (int X = 0; X < 24; ++X)
      ASSERT_EQ(Graphics::TColor(::GetPixel(Memory, X, Y)), PaletteDrawing::ColourOf(PaletteDrawing::Rows[Y].at(X)))
          << "column " << X << ", row " << Y;
  ::SelectObject(Memory, Old);
  ::DeleteDC(Memory);
  ::ReleaseDC(nullptr, Screen);
  ::DeleteObject(Bitmap);
}

TEST_F(PackageModule, RawRecordsAreLanguageNeutralAndTheRestUnder0429) {
  struct TExpected {
    LPCSTR Type;
    LPCSTR Name;
    WORD Language;
  };
  const TExpected Table[] = {
      {RT_BITMAP, "TLVFILTERIMAGE", 0x0429},    {RT_GROUP_ICON, "MAINICON", 0x0429},
      {RT_ICON, MAKEINTRESOURCEA(1), 0x0429},  {RT_VERSION, MAKEINTRESOURCEA(1), 0x0429},
      {RT_RCDATA, "PACKAGEINFO", LANG_NEUTRAL}, {RT_RCDATA, "PACKAGEOPTIONS", LANG_NEUTRAL}};
  for (const TExpected& Row : Table) {
    std::vector<WORD> Languages;
    ::EnumResourceLanguagesA(Module, Row.Type, Row.Name, AddLanguage, reinterpret_cast<LONG_PTR>(&Languages));
    const std::string What = IS_INTRESOURCE(Row.Name) ? "#" + std::to_string(reinterpret_cast<UINT_PTR>(Row.Name)) : Row.Name;
    EXPECT_EQ(Languages, std::vector<WORD>{Row.Language}) << What;
    HRSRC Found = ::FindResourceExA(Module, Row.Type, Row.Name, Row.Language);
    ASSERT_NE(Found, nullptr) << What;
    EXPECT_GT(::SizeofResource(Module, Found), 0u) << What;
    EXPECT_NE(::LockResource(::LoadResource(Module, Found)), nullptr) << What;
  }
  // The package information is what the framework reads.
  const auto Info = SysUtils::GetPackageInfo(reinterpret_cast<Windows::HMODULE>(Module));
  EXPECT_EQ(Info.Requires, std::vector<std::string>{"vcl40"});
}

TEST(VersionBlock, TheSystemsVersionCallsReadEveryField) {
  DWORD Ignored = 0;
  const DWORD Size = ::GetFileVersionInfoSizeA(Package, &Ignored);
  ASSERT_GT(Size, 0u);
  std::vector<char> Block(Size);
  ASSERT_TRUE(::GetFileVersionInfoA(Package, 0, Size, Block.data()));

  VS_FIXEDFILEINFO* Fixed = nullptr;
  UINT Length = 0;
  ASSERT_TRUE(::VerQueryValueA(Block.data(), "\\", reinterpret_cast<void**>(&Fixed), &Length));
  ASSERT_EQ(Length, sizeof(VS_FIXEDFILEINFO));
  const std::pair<const char*, DWORD> Fields[] = {
      {"signature", Fixed->dwSignature == 0xFEEF04BD},
      {"file version", Fixed->dwFileVersionMS == 0x00010000 && Fixed->dwFileVersionLS == 0},
      {"product version", Fixed->dwProductVersionMS == 0x00010000 && Fixed->dwProductVersionLS == 0},
      {"flags mask 0x3F", Fixed->dwFileFlagsMask == 0x3F},
      {"flags 0", Fixed->dwFileFlags == 0},
      {"Win32", Fixed->dwFileOS == VOS__WINDOWS32},
      {"application", Fixed->dwFileType == VFT_APP},
      {"subtype 0", Fixed->dwFileSubtype == 0},
      {"date 0", Fixed->dwFileDateMS == 0 && Fixed->dwFileDateLS == 0}};
  for (const auto& [Field, Holds] : Fields) EXPECT_TRUE(Holds) << Field;

  DWORD* Translation = nullptr;
  ASSERT_TRUE(::VerQueryValueA(Block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&Translation), &Length));
  ASSERT_EQ(Length, 4u);
  EXPECT_EQ(LOWORD(*Translation), 0x0429);
  EXPECT_EQ(HIWORD(*Translation), 1256);

  const std::pair<const char*, const char*> Strings[] = {
      {"CompanyName", ""},  {"FileDescription", ""}, {"FileVersion", "1.0.0.0"}, {"InternalName", ""},
      {"LegalCopyright", ""}, {"LegalTrademarks", ""}, {"OriginalFilename", ""}, {"ProductName", ""},
      {"ProductVersion", "1.0.0.0"}, {"Comments", ""}};
  for (const auto& [Key, Value] : Strings) {
    char* Text = nullptr;
    const std::string Path = std::string("\\StringFileInfo\\042904E8\\") + Key;
    ASSERT_TRUE(::VerQueryValueA(Block.data(), Path.c_str(), reinterpret_cast<void**>(&Text), &Length)) << Key;
    EXPECT_EQ(std::string(Text), Value) << Key;
  }
}

TEST(ResourceModule, OneForTheUsersLanguageIsFoundBesideThePackageAndReleasedWithIt) {
  const std::vector<std::string> Languages = Os::LanguageNames();
  ASSERT_FALSE(Languages.empty()) << "the user has an interface language";
  char Own[MAX_PATH];
  ASSERT_GT(::GetModuleFileNameA(nullptr, Own, MAX_PATH), 0u);
  const fs::path Bin = fs::path(Own).parent_path();
  const fs::path Folder = fs::temp_directory_path() / "tessorin-resource-module";
  fs::remove_all(Folder);
  fs::create_directories(Folder);
  fs::copy_file(Bin / Package, Folder / Package);
  const fs::path ResourceModule = Folder / ("Tessorin." + Languages.front());
  fs::copy_file(Bin / ".." / "lib" / "test" / "FakeResources.bpl", ResourceModule);

  const Windows::HMODULE Module = SysUtils::LoadPackage((Folder / Package).string());
  const Windows::HMODULE Res = SysUtils::FindResourceHInstance(Module);
  EXPECT_NE(Res, Module);
  // Loaded as a data file: the system's resource calls read it.
  HRSRC Found = ::FindResourceA(reinterpret_cast<HMODULE>(Res), "TLVFILTERIMAGE", RT_BITMAP);
  ASSERT_NE(Found, nullptr);
  const auto* Data = static_cast<const char*>(::LockResource(::LoadResource(reinterpret_cast<HMODULE>(Res), Found)));
  EXPECT_EQ(std::string(Data, ::SizeofResource(reinterpret_cast<HMODULE>(Res), Found)), "fake");
  bool Listed = false;
  for (const SysUtils::TLibModule& Lib : SysUtils::LibModules())
    Listed |= Lib.Instance == Module && fs::path(Lib.ResFileName) == ResourceModule;
  EXPECT_TRUE(Listed);

  SysUtils::UnloadPackage(Module);
  // Released: nothing holds the file any more.
  EXPECT_TRUE(::DeleteFileA(ResourceModule.string().c_str())) << ::GetLastError();
  fs::remove_all(Folder);
}

TEST(ModuleFile, DamagedPackagesAreRefusedByNameWithoutLoading) {
  char Own[MAX_PATH];
  ASSERT_GT(::GetModuleFileNameA(nullptr, Own, MAX_PATH), 0u);
  std::ifstream In(fs::path(Own).parent_path() / Package, std::ios::binary);
  const std::string Whole{std::istreambuf_iterator<char>(In), {}};
  ASSERT_GT(Whole.size(), 4096u);
  const auto Le32 = [&](std::size_t At) { return std::uint32_t(std::uint8_t(Whole[At])) | std::uint32_t(std::uint8_t(Whole[At + 1])) << 8 |
                                                  std::uint32_t(std::uint8_t(Whole[At + 2])) << 16 | std::uint32_t(std::uint8_t(Whole[At + 3])) << 24; };
  const std::size_t Nt = Le32(0x3C);
  // Each row spoils a copy of the package: cut it short or change a field.
  struct TDamage {
    const char* What;
    std::size_t Cut;     // bytes kept, or 0 for all
    std::size_t At;      // a byte changed, or 0 for none
    char Value;
  };
  const TDamage Table[] = {
      {"empty", 1, 0, 0},
      {"cut in the DOS header", 32, 0, 0},
      {"cut in the PE headers", Nt + 40, 0, 0},
      {"cut in the section table", Nt + 24 + 224 + 20, 0, 0},
      {"cut in the middle", Whole.size() / 2, 0, 0},
      {"no MZ", 0, 0, 'X'},
      {"no PE signature", 0, Nt, 'X'},
      {"another processor", 0, Nt + 4, 0x64},
      {"a 64-bit header", 0, Nt + 25, 0x02},
  };
  const fs::path Folder = fs::temp_directory_path() / "tessorin-damaged";
  fs::remove_all(Folder);
  fs::create_directories(Folder);
  for (const TDamage& Row : Table) {
    std::string Copy = Whole.substr(0, Row.Cut ? Row.Cut - (Row.Cut == 1) : Whole.size());
    if (!Row.Cut || Row.At) Copy[Row.At] = Row.Value;
    const fs::path File = Folder / "Tessorin.bpl";
    std::ofstream(File, std::ios::binary | std::ios::trunc) << Copy;
    const std::string Name = File.string();
    try {
      SysUtils::TModuleFile Module(Name);
      ADD_FAILURE() << Row.What << ": read";
    } catch (const System::Exception& E) {
      EXPECT_EQ(E.Message().rfind(Name + ": ", 0), 0u) << Row.What << ": " << E.Message();
    }
    try {
      SysUtils::UnloadPackage(SysUtils::LoadPackage(Name));
      ADD_FAILURE() << Row.What << ": loaded";
    } catch (const SysUtils::EPackageError&) {
    }
    EXPECT_EQ(::GetModuleHandleA(Name.c_str()), nullptr) << Row.What << ": nothing stays loaded";
  }
  fs::remove_all(Folder);
}
