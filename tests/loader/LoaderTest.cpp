// The package machinery on real modules: Tessorin.bpl and small fakes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "Classes.hpp"
#include "Forms.hpp"
#include "SysUtils.hpp"

namespace fs = std::filesystem;
using SysUtils::EPackageError;

namespace {

const std::string Tessorin = TESSORIN_BPL;
std::string Fake(const std::string& Name) { return std::string(TEST_MODULES) + "/" + Name + ".bpl"; }

const SysUtils::TLibModule* Listed(const std::vector<SysUtils::TLibModule>& Modules, Windows::HMODULE Instance) {
  for (const auto& Module : Modules)
    if (Module.Instance == Instance) return &Module;
  return nullptr;
}

bool Loaded(Windows::HMODULE Instance) {
  const auto Modules = SysUtils::LibModules();
  const SysUtils::TLibModule* Module = Listed(Modules, Instance);
  return Module && Module->LoadCount > 0;
}

void CallRegister(Windows::HMODULE Module) {
  auto Register = reinterpret_cast<void (*)()>(SysUtils::GetProcAddress(Module, SysUtils::RegisterProcName("LvFltImg").c_str()));
  ASSERT_NE(Register, nullptr);
  Register();
}

std::string Shell(const std::string& Command) {
  std::string Output;
  FILE* Pipe = popen((Command + " 2>&1").c_str(), "r");
  std::array<char, 4096> Buffer;
  while (std::size_t N = fread(Buffer.data(), 1, Buffer.size(), Pipe)) Output.append(Buffer.data(), N);
  pclose(Pipe);
  return Output;
}

class LoaderTest : public ::testing::Test {
protected:
  void SetUp() override {
    SysUtils::ClearUnitLog();
    Classes::ClearPalette();
  }
};

}  // namespace

TEST_F(LoaderTest, LoadInitialisesTheUnitsInOrderAndUnloadFinalisesBackwards) {
  const Windows::HMODULE Module = SysUtils::LoadPackage(Tessorin);
  EXPECT_TRUE(Loaded(Module));
  EXPECT_EQ(SysUtils::UnitLog(), (std::vector<std::string>{"Initialize SysInit", "Initialize Tessorin",
                                                           "Initialize LvFltImg"}));
  const SysUtils::TPackageInfo Info = SysUtils::GetPackageInfo(Module);
  EXPECT_EQ(Info.Requires, std::vector<std::string>{"vcl40"});
  EXPECT_EQ(Info.Flags & (SysUtils::pfDesignOnly | SysUtils::pfRunOnly), 0u);
  EXPECT_NE(Info.Flags & SysUtils::pfNeverBuild, 0u);
  std::vector<std::string> Units;
  for (const auto& Unit : Info.Contains) Units.push_back(Unit.Name);
  EXPECT_EQ(Units, (std::vector<std::string>{"Tessorin", "LvFltImg", "SysInit"}));
  EXPECT_TRUE(Classes::PalettePages().empty()) << "loading registers nothing by itself";

  SysUtils::ClearUnitLog();
  SysUtils::UnloadPackage(Module);
  EXPECT_EQ(SysUtils::UnitLog(), (std::vector<std::string>{"Finalize LvFltImg", "Finalize Tessorin",
                                                           "Finalize SysInit"}));
  EXPECT_EQ(Listed(SysUtils::LibModules(), Module), nullptr) << "off the module list once unloaded";
}

TEST_F(LoaderTest, RegisterPutsExactlyTheComponentOnLorvane) {
  const Windows::HMODULE Module = SysUtils::LoadPackage(Tessorin);
  CallRegister(Module);
  ASSERT_EQ(Classes::PalettePages().size(), 1u);
  const Classes::TPalettePage& Page = Classes::PalettePages()[0];
  EXPECT_EQ(Page.Name, "Lorvane");
  ASSERT_EQ(Page.Classes.size(), 1u);
  EXPECT_EQ(Page.Classes[0]->ClassName, "TLvFilterImage");
  EXPECT_EQ(Page.Classes[0]->UnitName, "LvFltImg");
  EXPECT_FALSE(Windows::FindResourceData(Module, Page.Classes[0]->ClassName.c_str(), Windows::RT_BITMAP).empty())
      << "the palette bitmap is named after the class";

  {  // The design host creates one by class name, on a form.
    Forms::TForm Form(nullptr);
    Classes::TComponent* Made = TypInfo::FindClass("TLvFilterImage").Create(&Form);
    EXPECT_EQ(Made->ClassName(), "TLvFilterImage");
    EXPECT_EQ(Made->ClassType().PublishedProperties().size(), 38u);
  }
  SysUtils::UnloadPackage(Module);
  EXPECT_TRUE(Classes::PalettePages().empty()) << "the unloaded module's classes are forgotten";
  EXPECT_EQ(TypInfo::GetClass("TLvFilterImage"), nullptr);
}

TEST_F(LoaderTest, LoadingTwiceCountsAndUnloadedPackagesLoadAgain) {
  const Windows::HMODULE First = SysUtils::LoadPackage(Tessorin);
  const Windows::HMODULE Second = SysUtils::LoadPackage(Tessorin);
  EXPECT_EQ(First, Second);
  const std::vector<std::string> Log = SysUtils::UnitLog();
  EXPECT_EQ(std::count(Log.begin(), Log.end(), "Initialize LvFltImg"), 1);
  SysUtils::UnloadPackage(First);
  EXPECT_TRUE(Loaded(First)) << "one load is still outstanding";
  SysUtils::UnloadPackage(Second);
  EXPECT_THROW(SysUtils::UnloadPackage(Second), EPackageError);

  SysUtils::ClearUnitLog();
  const Windows::HMODULE Again = SysUtils::LoadPackage(Tessorin);
  EXPECT_EQ(SysUtils::UnitLog().size(), 3u);
  CallRegister(Again);
  EXPECT_EQ(Classes::PalettePages().size(), 1u);
  SysUtils::UnloadPackage(Again);
}

TEST_F(LoaderTest, RequiredPackagesComeAndGoWithTheirUser) {
  const Windows::HMODULE Child = SysUtils::LoadPackage(Fake("FakeChild"));
  EXPECT_EQ(SysUtils::UnitLog(), (std::vector<std::string>{"Initialize FakeBase", "Initialize FakeChild"}));
  SysUtils::UnloadPackage(Child);
  EXPECT_EQ(SysUtils::UnitLog().back(), "Finalize FakeBase");
  for (const auto& Module : SysUtils::LibModules()) EXPECT_EQ(Module.FileName.find("Fake"), std::string::npos);
}

TEST_F(LoaderTest, BadModulesAreRefusedAndNothingStaysLoaded) {
  const std::string Text = testing::TempDir() + "/not-a-module.bpl";
  std::ofstream(Text) << "just text";
  // File, what the error must say.
  const std::pair<std::string, std::string> Cases[] = {
      {Fake("NoSuchFile"), "NoSuchFile.bpl: cannot load package"},
      {Text, "not-a-module.bpl: cannot load package"},
      {Fake("FakeResources"), "FakeResources.bpl: not a package"},
      {Fake("FakeNeedy"), "FakeNeedy.bpl: a required package cannot be loaded: "},
      {Fake("FakeSelf"), "the package requires itself"},
      // Links the package, so the package's entry points are within reach.
      {Fake("FakeDependent"), "FakeDependent.bpl: not a package"},
  };
  const std::size_t Before = SysUtils::LibModules().size();
  for (const auto& [File, Message] : Cases) {
    try {
      SysUtils::LoadPackage(File);
      ADD_FAILURE() << File;
    } catch (const EPackageError& E) {
      EXPECT_NE(E.Message().find(Message), std::string::npos) << E.Message();
    }
    EXPECT_EQ(SysUtils::LibModules().size(), Before) << File;
  }
  EXPECT_TRUE(SysUtils::UnitLog().empty()) << "no unit was initialised";
}

// On Windows the language is the user's interface language; the Windows
// suite has that case.
#ifndef _WIN32
TEST_F(LoaderTest, AResourceModuleForTheUsersLanguageServesTheResources) {
  // A copy of the package with a resource module for the language "xx".
  const fs::path Folder = fs::path(testing::TempDir()) / "lang";
  fs::create_directories(Folder);
  fs::copy_file(Tessorin, Folder / "Tessorin.bpl", fs::copy_options::overwrite_existing);
  fs::copy_file(Fake("FakeResources"), Folder / "Tessorin.xx", fs::copy_options::overwrite_existing);
  const char* Saved = std::getenv("LC_ALL");
  const std::string Kept = Saved ? Saved : "";
  setenv("LC_ALL", "xx_YY.UTF-8", 1);
  const Windows::HMODULE Module = SysUtils::LoadPackage((Folder / "Tessorin.bpl").string());
  if (Saved)
    setenv("LC_ALL", Kept.c_str(), 1);
  else
    unsetenv("LC_ALL");
  const Windows::HMODULE Res = SysUtils::FindResourceHInstance(Module);
  EXPECT_NE(Res, Module);
  const auto Bitmap = Windows::FindResourceData(Res, "TLVFILTERIMAGE", Windows::RT_BITMAP);
  EXPECT_EQ(std::string(Bitmap.begin(), Bitmap.end()), "fake");
  EXPECT_FALSE(Windows::FindResourceData(Module, "TLVFILTERIMAGE", Windows::RT_BITMAP).empty())
      << "the module still has its own";
  const auto Modules = SysUtils::LibModules();
  EXPECT_EQ(Listed(Modules, Module)->ResFileName, (Folder / "Tessorin.xx").string());
  SysUtils::UnloadPackage(Module);
  EXPECT_TRUE(Windows::EnumResources(Res).empty()) << "the resource module went with it";

  // Without a language the module serves its own resources.
  const Windows::HMODULE Plain = SysUtils::LoadPackage(Tessorin);
  EXPECT_EQ(SysUtils::FindResourceHInstance(Plain), Plain);
  SysUtils::UnloadPackage(Plain);
}

#endif

TEST_F(LoaderTest, ABareFileNameMeansTheCurrentFolder) {
  const fs::path Saved = fs::current_path();
  fs::current_path(TEST_MODULES);
  const Windows::HMODULE Module = SysUtils::LoadPackage("FakeBase.bpl");
  fs::current_path(Saved);
  EXPECT_EQ(fs::path(Listed(SysUtils::LibModules(), Module)->FileName).filename(), "FakeBase.bpl");
  SysUtils::UnloadPackage(Module);
}

TEST_F(LoaderTest, APackageStaysWhileObjectsOfItsClassesExist) {
  const Windows::HMODULE Module = SysUtils::LoadPackage(Tessorin);
  CallRegister(Module);
  auto Form = std::make_unique<Forms::TForm>(nullptr);
  TypInfo::FindClass("TLvFilterImage").Create(Form.get());
  try {
    SysUtils::UnloadPackage(Module);
    ADD_FAILURE() << "unloaded under a live component";
  } catch (const EPackageError& E) {
    EXPECT_NE(E.Message().find("1 component(s) of its classes still exist"), std::string::npos) << E.Message();
  }
  EXPECT_TRUE(Loaded(Module));
  Form.reset();
  SysUtils::UnloadPackage(Module);
  EXPECT_FALSE(Loaded(Module));
}

TEST(Exports, ThePackageExportsItsEntriesAndNothingElseEachOnce) {
  std::vector<std::string> Names = SysUtils::ModuleExports(Tessorin);
  std::sort(Names.begin(), Names.end());
  // Constructors and destructors come in variants that demangle alike;
  // each is listed once, saying which it is.
  std::vector<std::string> Expected = {
      "LvFltImg::FitinRange(int)", "LvFltImg::Register()", "LvFltImg::Initialization()", "LvFltImg::Finalization()",
      "LvFltImg::TLvFilterImage::TLvFilterImage(Classes::TComponent*) [complete object]",
      "LvFltImg::TLvFilterImage::TLvFilterImage(Classes::TComponent*) [base object]",
      "LvFltImg::TLvFilterImage::~TLvFilterImage() [deleting]",
      "LvFltImg::TLvFilterImage::~TLvFilterImage() [complete object]",
      "LvFltImg::TLvFilterImage::~TLvFilterImage() [base object]", "LvFltImg::TLvFilterImage::Set24BitColor()",
      "LvFltImg::TLvFilterImage::SetFilterBitMap(Graphics::TBitmap*)", "LvFltImg::TLvFilterImage::Filter(int, int)",
      "LvFltImg::TLvFilterImage::ClassInfo()", "LvFltImg::TLvFilterImage::ClassType() const",
      "typeinfo for LvFltImg::TLvFilterImage", "typeinfo name for LvFltImg::TLvFilterImage",
      "vtable for LvFltImg::TLvFilterImage", "Initialize", "Finalize", "GetPackageInfoTable",
      "Tessorin::PackageLoad()", "Tessorin::PackageUnload()", "Tessorin::GetPackageInfoTable()"};
#ifdef _WIN32
  Expected.push_back("@GetPackageInfoTable");  // a name only Windows modules can carry
#endif
  std::sort(Expected.begin(), Expected.end());
  EXPECT_EQ(Names, Expected);
#ifndef _WIN32
  // The system's own tool agrees.
  const std::string Listing = Shell("nm -D --defined-only -C " + Tessorin);
  EXPECT_NE(Listing.find("LvFltImg::TLvFilterImage::Filter(int, int)"), std::string::npos) << Listing;
#endif
  EXPECT_THROW(SysUtils::ModuleExports(Fake("NoSuchFile")), Classes::EFOpenError);
}

TEST(Pkgtool, ShowsThePackageAsADesignHostSeesIt) {
  const std::string Tool = PKGTOOL_PATH;
  const std::string Info = Shell(Tool + " info");
  for (const char* Line : {"name: Tessorin\n", "requires: vcl40\n", "contains: Tessorin, LvFltImg, SysInit\n",
                           "flags: never rebuilt implicitly, design-time and run-time\n", "version: 1.0.0.0",
                           "resource: BITMAP/TLVFILTERIMAGE\tlanguage 0429", "resource: VERSION/#1\tlanguage 0429",
                           "export: LvFltImg::Register()"})
    EXPECT_NE(Info.find(Line), std::string::npos) << Line << "\n" << Info;
  EXPECT_EQ(Shell(Tool + " palette"), "Lorvane\tTLvFilterImage\tLvFltImg\n");
  const std::string Properties = Shell(Tool + " properties TLvFilterImage");
  EXPECT_EQ(std::count(Properties.begin(), Properties.end(), '\n'), 38);
  for (const char* Line : {"FilterBitMap\tTBitmap\t-\talways\tTLvFilterImage\n",
                           "DragCursor\tTCursor\t-12\talways\tTLvFilterImage\n",
                           "Enabled\tBoolean\t1\tIsEnabledStored\tTLvFilterImage\n",
                           "Tag\tLongint\t0\talways\tTComponent\n", "Anchors\tTAnchors\t3\talways\tTImage\n"})
    EXPECT_NE(Properties.find(Line), std::string::npos) << Line;
  const std::string Bmp = testing::TempDir() + "/palette.bmp";
  EXPECT_EQ(Shell(Tool + " resource TLVFILTERIMAGE -o " + Bmp), "");
  Graphics::TBitmap Palette;
  Palette.LoadFromFile(Bmp);
  EXPECT_EQ(Palette.Width(), 24);
  EXPECT_EQ(Palette.PixelFormat(), Graphics::pf4bit);
  EXPECT_EQ(Palette.Pixel(0, 23), Graphics::clOlive);
#ifndef _WIN32
  const std::string Bad = Shell("{ " + Tool + " info /no/such.bpl; echo status $?; }");
  EXPECT_NE(Bad.find("/no/such.bpl: cannot open file: "), std::string::npos) << Bad;
  EXPECT_NE(Bad.find("status 2"), std::string::npos) << Bad;
#endif
}
