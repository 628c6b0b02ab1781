// pkgtool as a design host's user runs it: info and resource read a package
// as data and never run it; palette and properties load it.
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include "Programs.hpp"
#include "SysUtils.hpp"
#include "package/PeBuilder.hpp"

using namespace Programs;

namespace {

using PkgtoolTest = TProgramTest;

const std::string Tessorin = TESSORIN_BPL;
const std::string Trap = std::string(TEST_MODULES) + "/FakeTrap.bpl";

using PeBuilder::Bytes;

// A bitmap resource: a .bmp file of a small 24-bit picture without its file header.
Bytes BitmapResource() {
  Graphics::TBitmap Picture;
  Picture.SetPixelFormat(Graphics::pf24bit);
  Picture.SetSize(3, 2);
  const Bytes File = Picture.SaveToBytes("x.bmp");
  return Bytes(File.begin() + 14, File.end());
}

// A Windows package made byte by byte, with what info shows of one.
PeBuilder::TModule WindowsPackage() {
  SysUtils::TVersionInfo Version;
  Version.Fixed.Signature = 0xFEEF04BD;
  Version.Fixed.FileVersionMS = 0x00010002;
  Version.StringTableKey = "040904B0";
  PeBuilder::TModule Module;
  Module.Exports = {{"_ZN4Tiny8RegisterEv"}, {"Initialize", 0x1010}, {"Sleeper", 0, "KERNEL32.Sleep"}};
  Module.Resources = {
      {Windows::RT_RCDATA, "PACKAGEINFO", 0,
       SysUtils::EncodePackageInfo({SysUtils::pfNeverBuild, {"vcl40"}, {{"Tiny", SysUtils::ufMainUnit}}})},
      {Windows::RT_VERSION, "#1", 0x0409, SysUtils::EncodeVersionInfo(Version)},
      {Windows::RT_BITMAP, "PICTURE", 0x0409, BitmapResource()},
      {Windows::RT_BITMAP, "PICTURE", 0x0429, BitmapResource()}};
  return Module;
}

void SaveBytes(const std::string& File, const Bytes& Data) {
  std::ofstream(File, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(Data.data()),
                                                                std::streamsize(Data.size()));
}

Bytes Resource(const PeBuilder::TModule& Module, std::uint16_t Type) {
  for (const auto& R : Module.Resources)
    if (R.Type == Type) return R.Data;
  return {};
}

PeBuilder::TModule WithResource(PeBuilder::TModule Module, std::uint16_t Type, const Bytes& Data) {
  for (auto& R : Module.Resources)
    if (R.Type == Type) R.Data = Data;
  return Module;
}

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
      // The section header table comes last in the file; the fault says
      // where it begins (the ELF header's e_shoff).
      if (Cut == Whole.size() - 1) {
        std::uint64_t TableAt = 0;
        for (int B = 7; B >= 0; --B) TableAt = TableAt << 8 | std::uint8_t(Whole[0x28 + std::size_t(B)]);
        EXPECT_NE(R.Output.find(": offset " + std::to_string(TableAt) + ": truncated section header table"),
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
  // Name, output, status, what the output file or the one line holds. A
  // picture is written in the format its name asks for.
  const std::tuple<std::string, std::string, int, std::string> Cases[] = {
      {"'#1'", "out.bin", 2, "the resource name #1 is ambiguous: say which of ICON/#1, VERSION/#1"},
      {"'ICON/#1'", "out.bin", 0, std::string("\x28\0\0\0", 4)},  // a bare DIB: its header is 40 bytes
      {"VERSION", "out.bin", 0, std::string("\x74\x02", 2)},  // the block's length, 628
      {"version/'#1'", "out.bin", 0, std::string("\x74\x02", 2)},
      {"bitmap/tlvfilterimage", "out.bmp", 0, "BM"},
      {"bitmap/tlvfilterimage", "out.png", 0, "\x89PNG"},
      {"bitmap/tlvfilterimage", "out.bin", 2, "unknown picture file extension '.bin'"},
      {"MAINICON", "out.ico", 0, std::string("\0\0\1\0\1\0", 6)},
      {"MAINICON", "icon.png", 2, "an icon group is written as an icon file (.ico)"},
      {"BITMAP/MAINICON", "out.bin", 2, "no resource BITMAP/MAINICON"},
      {"NOSUCH", "out.bin", 2, "no resource NOSUCH"},
  };
  for (const auto& [Name, Output, Status, Expected] : Cases) {
    fs::remove(Path(Output));
    const TResult R = Shell(Pkgtool + " resource " + Name + " -o " + Q(Output));
    EXPECT_EQ(R.Status, Status) << Name << "\n" << R.Output;
    if (Status == 0) {
      EXPECT_EQ(Content(Path(Output)).substr(0, Expected.size()), Expected) << Name;
    } else {
      EXPECT_NE(R.Output.find(Expected), std::string::npos) << Name << "\n" << R.Output;
      EXPECT_FALSE(fs::exists(Path(Output))) << Name;
    }
  }
  // The same pixels either way.
  Graphics::TBitmap Bmp, Png;
  Bmp.LoadFromFile(Path("out.bmp"));
  Png.LoadFromFile(Path("out.png"));
  ASSERT_EQ(Bmp.Width(), Png.Width());
  for (int Y = 0; Y < Bmp.Height(); ++Y)
    for (int X = 0; X < Bmp.Width(); ++X) ASSERT_EQ(Bmp.Pixel(X, Y), Png.Pixel(X, Y)) << X << "," << Y;
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

TEST_F(PkgtoolTest, AWindowsPackageIsShownAsItsFileSaysAndNoMore) {
  SaveBytes(Path("win.bpl"), PeBuilder::Build(WindowsPackage()));
  const TResult R = Shell(Pkgtool + " info " + Q("win.bpl"));
  EXPECT_EQ(R.Status, 0) << R.Output;
  // A name in two languages is listed as the resource command takes it.
  EXPECT_EQ(R.Output, "name: win\n"
                      "requires: vcl40\n"
                      "contains: Tiny\n"
                      "flags: never rebuilt implicitly, design-time and run-time\n"
                      "version: 1.2.0.0 (product 0.0.0.0, strings 040904B0)\n"
                      "resource: BITMAP/PICTURE/0409\tlanguage 0409\t64 bytes\n"
                      "resource: BITMAP/PICTURE/0429\tlanguage 0429\t64 bytes\n"
                      "resource: RCDATA/PACKAGEINFO\tlanguage 0000\t" +
                          std::to_string(Resource(WindowsPackage(), Windows::RT_RCDATA).size()) + " bytes\n"
                      "resource: VERSION/#1\tlanguage 0409\t" +
                          std::to_string(Resource(WindowsPackage(), Windows::RT_VERSION).size()) + " bytes\n"
                      "export: Initialize\n"
                      "export: Sleeper [forwarded to KERNEL32.Sleep]\n"
                      "export: Tiny::Register()\n");
  // Name, status, what the output holds or the one line says.
  const std::tuple<std::string, int, std::string> Cases[] = {
      {"BITMAP/PICTURE", 2, "the resource name BITMAP/PICTURE is ambiguous: say which of BITMAP/PICTURE/0409, "
                            "BITMAP/PICTURE/0429"},
      {"bitmap/picture/0429", 0, "BM"},
      {"BITMAP/PICTURE/0407", 2, "no resource BITMAP/PICTURE/0407"},
  };
  for (const auto& [Name, Status, Expected] : Cases) {
    fs::remove(Path("out.bmp"));
    const TResult Got = Shell(Pkgtool + " resource " + Name + " -o " + Q("out.bmp") + " " + Q("win.bpl"));
    EXPECT_EQ(Got.Status, Status) << Name << "\n" << Got.Output;
    if (Status == 0)
      EXPECT_EQ(Content(Path("out.bmp")).substr(0, 2), Expected);
    else
      EXPECT_NE(Got.Output.find(Expected), std::string::npos) << Got.Output;
  }
}

TEST_F(PkgtoolTest, WhatAFileSaysIsEscapedOrRefusedAndNothingPrintedBeforeAFault) {
  const auto WithExport = [](PeBuilder::TExport Export) {
    PeBuilder::TModule Module = WindowsPackage();
    Module.Exports.push_back(Export);
    return Module;
  };
  Bytes Version = Resource(WindowsPackage(), Windows::RT_VERSION);
  Version[0] = Version[1] = 0;  // the root's length
  Bytes Flags = Resource(WindowsPackage(), Windows::RT_RCDATA);
  Flags[0] = Flags[1] = Flags[2] = Flags[3] = 0xFF;
  // Module, status, a line info must print or the one line it fails with.
  struct TCase {
    const char* What;
    PeBuilder::TModule Module;
    int Status;
    std::string Line;
  } const Cases[] = {
      {"an escape and bytes that are no UTF-8", WithExport({"Paint\xFF\xE2\x80\xAE", 0x1000}), 0,
       "export: Paint\\xFF\\u202E\n"},
      {"a forged export line", WithExport({"A\nexport: Forged", 0x1000}), 2,
       "an exported name holding control bytes: A\\x0Aexport: Forged\n"},
      {"an export with no address", WithExport({"Nowhere", 0}), 2, "the export Nowhere has no address\n"},
      {"a damaged version block", WithResource(WindowsPackage(), Windows::RT_VERSION, Version), 2,
       "resource VERSION/#1: node at offset 0 in the resource: bad length 0\n"},
      {"flags that contradict", WithResource(WindowsPackage(), Windows::RT_RCDATA, Flags), 2,
       "flags 0xFFFFFFFF set bits no package has (0xFFFFFFF0)\n"},
  };
  for (const TCase& C : Cases) {
    SaveBytes(Path("bad.bpl"), PeBuilder::Build(C.Module));
    const TResult R = Shell(Pkgtool + " info " + Q("bad.bpl") + " 2>/dev/null");
    const TResult Err = Shell(Pkgtool + " info " + Q("bad.bpl") + " 2>&1 >/dev/null");
    EXPECT_EQ(R.Status, C.Status) << C.What << "\n" << R.Output << Err.Output;
    if (C.Status == 0) {
      EXPECT_NE(R.Output.find(C.Line), std::string::npos) << C.What << "\n" << R.Output;
      EXPECT_EQ(R.Output.find('\x1B'), std::string::npos) << C.What;
    } else {
      EXPECT_EQ(R.Output, "") << C.What << ": nothing before the fault";
      EXPECT_EQ(Err.Output, "pkgtool: " + Path("bad.bpl") + ": " + C.Line) << C.What;
    }
  }
}

TEST_F(PkgtoolTest, ABitmapOrIconIsReadBackBeforeItIsWritten) {
  const auto Spoilt = [](std::size_t At, std::vector<std::uint8_t> Value) {
    Bytes Data = BitmapResource();
    std::copy(Value.begin(), Value.end(), Data.begin() + long(At));
    return Data;
  };
  // The header's fields: 0 size, 4 width, 8 height, 12 planes, 14 bits, 16 compression.
  const std::pair<const char*, Bytes> Bitmaps[] = {
      {"64 bits a pixel", Spoilt(14, {64, 0})},  {"width past the data", Spoilt(4, {0, 1})},
      {"header size 0", Spoilt(0, {0, 0, 0, 0})}, {"2 planes", Spoilt(12, {2, 0})},
      {"JPEG compression", Spoilt(16, {4})},      {"height 0", Spoilt(8, {0, 0, 0, 0})},
  };
  for (const auto& [What, Data] : Bitmaps) {
    SaveBytes(Path("bad.bpl"), PeBuilder::Build(WithResource(WindowsPackage(), Windows::RT_BITMAP, Data)));
    fs::remove(Path("out.bmp"));
    const TResult R = Shell(Pkgtool + " resource BITMAP/PICTURE/0409 -o " + Q("out.bmp") + " " + Q("bad.bpl"));
    EXPECT_EQ(R.Status, 2) << What << "\n" << R.Output;
    EXPECT_EQ(R.Output.rfind("pkgtool: " + Path("bad.bpl") + ": resource BITMAP/PICTURE/0409: ", 0), 0u)
        << What << "\n" << R.Output;
    EXPECT_EQ(Lines(R.Output), 1) << R.Output;
    EXPECT_FALSE(fs::exists(Path("out.bmp"))) << What;
  }

  // An icon group whose entry gives its image a size it has not: the
  // package's own icon image, and a group of one naming it.
  const TResult Image = Shell(Pkgtool + " resource ICON/#1 -o " + Q("image.bin"));
  ASSERT_EQ(Image.Status, 0) << Image.Output;
  const std::string ImageData = Content(Path("image.bin"));
  Bytes GroupData = {0, 0, 1, 0, 1, 0, 32, 32, 16, 0, 1, 0, 4, 0};
  PeBuilder::Put32(GroupData, 14, std::uint32_t(ImageData.size()));
  PeBuilder::Put16(GroupData, 18, 1);
  PeBuilder::TModule Module = WindowsPackage();
  Module.Resources.push_back({Windows::RT_ICON, "#1", 0x0409, Bytes(ImageData.begin(), ImageData.end())});
  Module.Resources.push_back({Windows::RT_GROUP_ICON, "MAINICON", 0x0409, GroupData});
  SaveBytes(Path("icon.bpl"), PeBuilder::Build(Module));
  const TResult Good = Shell(Pkgtool + " resource MAINICON -o " + Q("good.ico") + " " + Q("icon.bpl"));
  EXPECT_EQ(Good.Status, 0) << Good.Output;
  Module.Resources.back().Data[14] ^= 1;  // the image's size, as the group gives it
  SaveBytes(Path("icon.bpl"), PeBuilder::Build(Module));
  const TResult R = Shell(Pkgtool + " resource MAINICON -o " + Q("bad.ico") + " " + Q("icon.bpl"));
  EXPECT_EQ(R.Status, 2) << R.Output;
  EXPECT_NE(R.Output.find("resource GROUP_ICON/MAINICON: the group gives icon image ICON/#1 "), std::string::npos)
      << R.Output;
  EXPECT_FALSE(fs::exists(Path("bad.ico")));

  // An image of 32 x 10 whose mask (40 bytes) leaves one byte of colours,
  // less than their header: refused, nothing written past it.
  Bytes Tiny(41, 0);
  PeBuilder::Put32(Tiny, 0, 40);   // header size
  PeBuilder::Put32(Tiny, 4, 32);   // width
  PeBuilder::Put32(Tiny, 8, 20);   // height: colours and mask
  Bytes TinyGroup = {0, 0, 1, 0, 1, 0, 32, 10, 2, 0, 1, 0, 1, 0};
  PeBuilder::Put32(TinyGroup, 14, std::uint32_t(Tiny.size()));
  PeBuilder::Put16(TinyGroup, 18, 2);
  Module.Resources.push_back({Windows::RT_ICON, "#2", 0x0409, Tiny});
  Module.Resources.push_back({Windows::RT_GROUP_ICON, "TINY", 0x0409, TinyGroup});
  SaveBytes(Path("icon.bpl"), PeBuilder::Build(Module));
  const TResult Cut = Shell(Pkgtool + " resource TINY -o " + Q("tiny.ico") + " " + Q("icon.bpl"));
  EXPECT_EQ(Cut.Status, 2) << Cut.Output;
  EXPECT_NE(Cut.Output.find("resource ICON/#2: offset 0: truncated bitmap header"), std::string::npos) << Cut.Output;
  EXPECT_FALSE(fs::exists(Path("tiny.ico")));
}

TEST_F(PkgtoolTest, ANameThatWouldDemangleToGigabytesIsShownMangled) {
  // Each level's template arguments name the level before twice.
  std::string Name = "_Z1fIN1AIiiEE";
  for (int Level = 0; Level < 36; ++Level) {
    const std::string Seq = Level < 10 ? std::string(1, char('0' + Level)) : std::string(1, char('A' + Level - 10));
    Name += "NS_IS" + Seq + "_S" + Seq + "_EE";
  }
  Name += "EvT_";
  PeBuilder::TModule Module = WindowsPackage();
  Module.Exports.push_back({Name, 0x1000});
  SaveBytes(Path("deep.bpl"), PeBuilder::Build(Module));
  for (const std::string& Command : {"info " + Q("deep.bpl"), "resource VERSION -o " + Q("v.bin") + " " + Q("deep.bpl")}) {
    const TResult R = Shell(Pkgtool + " " + Command + " | head -c 100000");
    EXPECT_EQ(R.Status, 0) << Command;
    if (Command.rfind("info", 0) == 0) {
      EXPECT_NE(R.Output.find("export: " + Name + "\n"), std::string::npos) << R.Output;
    }
  }
}

TEST_F(PkgtoolTest, ExportsAreReadAsTheLoaderFindsThemWhateverTheSectionHeadersSay) {
  const std::string Whole = Content(Tessorin);
  const auto Le = [&](std::size_t At, int Size) {
    std::uint64_t V = 0;
    for (int B = Size - 1; B >= 0; --B) V = V << 8 | std::uint8_t(Whole[At + std::size_t(B)]);
    return V;
  };
  const std::size_t Table = Le(0x28, 8), Count = Le(0x3C, 2);
  std::size_t Symbols = 0;  // the dynamic symbol table's section header
  for (std::size_t I = 0; I < Count; ++I)
    if (Le(Table + I * 64 + 4, 4) == 11) Symbols = Table + I * 64;
  ASSERT_NE(Symbols, 0u);
  const std::size_t Register = Whole.find(std::string("_ZN8LvFltImg8RegisterEv") + '\0');
  ASSERT_NE(Register, std::string::npos);
  // Each row spoils a copy of the package; an empty fault means info still
  // lists all 23 exports.
  struct TCase {
    const char* What;
    std::function<void(std::string&)> Spoil;
    std::string Fault;
  } const Cases[] = {
      {"the section header table zeroed", [&](std::string& F) { std::fill_n(F.begin() + long(Table), Count * 64, '\0'); }, ""},
      {"no section headers", [&](std::string& F) { std::fill_n(F.begin() + 0x28, 8, '\0'); }, ""},
      {"the symbol table linked to itself",
       [&](std::string& F) {
         const std::size_t Self = (Symbols - Table) / 64;
         for (int B = 0; B < 4; ++B) F[Symbols + 40 + std::size_t(B)] = char(Self >> (8 * B));
       },
       "malformed: the symbol table's link names no string table"},
      {"a backspace in an exported name", [&](std::string& F) { F[Register + 5] = '\b'; },
       "a symbol name holding control bytes: _ZN8L\\x08FltImg8RegisterEv"},
  };
  for (const TCase& C : Cases) {
    std::string Copy = Whole;
    C.Spoil(Copy);
    std::ofstream(Path("t.bpl"), std::ios::binary | std::ios::trunc) << Copy;
    const TResult R = Shell(Pkgtool + " info " + Q("t.bpl"));
    if (C.Fault.empty()) {
      EXPECT_EQ(R.Status, 0) << C.What << "\n" << R.Output;
      EXPECT_EQ(Shell(Pkgtool + " info " + Q("t.bpl") + " | grep -c '^export: '").Output, "23\n") << C.What;
      EXPECT_NE(R.Output.find("export: LvFltImg::Register()\n"), std::string::npos) << C.What;
    } else {
      EXPECT_EQ(R.Status, 2) << C.What << "\n" << R.Output;
      EXPECT_EQ(R.Output, "pkgtool: " + Path("t.bpl") + ": " + C.Fault + "\n") << C.What;
    }
  }
}
