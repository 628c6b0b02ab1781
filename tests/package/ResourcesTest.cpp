// The package module's resources and the two records the framework reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <tuple>

#include "Graphics.hpp"
#include "Graphics/Dib.hpp"
#include "PaletteDrawing.hpp"
#include "Resources.hpp"
#include "../fuzz/FuzzTargets.hpp"
#include "SysUtils.hpp"
#include "common/Bytes.hpp"
#include "common/Seeds.hpp"

using namespace SysUtils;
using namespace Tessorin::Resources;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Little-endian bytes built field by field, with the strings of resources.
struct TBytes : TestBytes::TBuilder<TBytes> {
  TBytes& Text(const std::string& S) { return Chars(S).U8(0); }
  TBytes& Wide(const std::string& S) {  // ASCII as UTF-16LE with its NUL
    for (char C : S) U16(std::uint8_t(C));
    return U16(0);
  }
};

using TestBytes::Get16, TestBytes::Get32;

// A DIB of Height rows read through the BMP reader behind a file header.
void LoadDib(Graphics::TBitmap& Bitmap, Bytes Dib, std::int32_t Height) {
  Dib.resize(40 + 64 + Get32(Dib, 4) / 2 * Height);  // header, palette, 4-bit rows
  for (int I = 0; I < 4; ++I) Dib[8 + I] = std::uint8_t(Height >> 8 * I);
  TBytes File;
  File.Raw({'B', 'M'}).U32(14 + Dib.size()).U32(0).U32(14 + 40 + 64).Raw(Dib);
  Bitmap.LoadFromBytes(File.Data, "resource");
}

}  // namespace

TEST(PaletteBitmap, MatchesTheDrawingPixelByPixel) {
  const Bytes Dib = PaletteBitmap();
  ASSERT_EQ(Dib.size(), 40u + 64 + 12 * 24);
  EXPECT_EQ(Get32(Dib, 0), 40u);  // biSize
  EXPECT_EQ(Get32(Dib, 8), 24u);  // biHeight positive: rows bottom-up
  EXPECT_EQ(Get16(Dib, 14), 4u);  // biBitCount
  EXPECT_EQ(Get32(Dib, 16), 0u);  // uncompressed

  Graphics::TBitmap Bitmap;
  LoadDib(Bitmap, Dib, 24);
  ASSERT_EQ(Bitmap.PixelFormat(), Graphics::pf4bit);
  ASSERT_EQ(Bitmap.Width(), 24);
  ASSERT_EQ(Bitmap.Height(), 24);
  EXPECT_EQ(Bitmap.Palette(), Graphics::Detail::DefaultPalette(Graphics::pf4bit));
  for (int Y = 0; Y < 24; ++Y)
    for (int X = 0; X < 24; ++X)
      ASSERT_EQ(Bitmap.Pixel(X, Y), PaletteDrawing::ColourOf(PaletteDrawing::Rows[Y].at(X))) << "column " << X << ", row " << Y;
}

TEST(Icon, GroupNamesOneOpaque32By32SixteenColourImage) {
  const Bytes Group = IconGroup(), Image = IconImage();
  const Bytes Expected = TBytes{}.U16(0).U16(1).U16(1)                // reserved, icon, one image
                             .U8(32).U8(32).U8(16).U8(0).U16(1).U16(4)  // 32 x 32, 16 colours, 4 bits
                             .U32(std::uint32_t(Image.size())).U16(1)  // bytes, RT_ICON #1
                             .Data;
  EXPECT_EQ(Group, Expected);

  ASSERT_EQ(Image.size(), 40u + 64 + 16 * 32 + 4 * 32);  // header, palette, colour rows, mask rows
  const std::pair<std::size_t, std::uint32_t> Fields[] = {
      {0, 40}, {4, 32}, {8, 64}, {12, 1 | 4 << 16}, {16, 0}, {20, 640}, {32, 0}};
  for (const auto& [Offset, Value] : Fields) EXPECT_EQ(Get32(Image, Offset), Value) << "offset " << Offset;
  EXPECT_TRUE(std::all_of(Image.end() - 128, Image.end(), [](std::uint8_t B) { return B == 0; })) << "mask";

  Graphics::TBitmap Bitmap;
  LoadDib(Bitmap, Image, 32);
  EXPECT_EQ(Bitmap.Palette(), Graphics::Detail::DefaultPalette(Graphics::pf4bit));
  const std::tuple<int, int, char> Samples[] = {{0, 0, 'o'},  {0, 31, 'o'}, {31, 31, 'o'}, {1, 4, 'k'},
                                                {5, 8, 'y'},  {11, 11, 'k'}, {16, 15, 'g'}, {25, 20, 'b'},
                                                {23, 15, 'k'}, {15, 18, 'k'}, {30, 25, 'k'}};
  for (const auto& [X, Y, Letter] : Samples) EXPECT_EQ(Bitmap.Pixel(X, Y), PaletteDrawing::ColourOf(Letter)) << X << ", " << Y;
}

TEST(ModuleResources, NamesTypesAndLanguages) {
  const auto Resources = ModuleResources("g++ 12 -O2 Release");
  const std::tuple<std::string, std::uint16_t, std::uint16_t> Expected[] = {
      {"TLVFILTERIMAGE", Windows::RT_BITMAP, 0x0429}, {"MAINICON", Windows::RT_GROUP_ICON, 0x0429},
      {"#1", Windows::RT_ICON, 0x0429},               {"PACKAGEINFO", Windows::RT_RCDATA, 0},
      {"PACKAGEOPTIONS", Windows::RT_RCDATA, 0},      {"#1", Windows::RT_VERSION, 0x0429}};
  ASSERT_EQ(Resources.size(), std::size(Expected));
  for (std::size_t I = 0; I < Resources.size(); ++I) {
    EXPECT_EQ(std::tie(Resources[I].Name, Resources[I].Type, Resources[I].Language), Expected[I]) << I;
    EXPECT_FALSE(Resources[I].Data.empty()) << Resources[I].Name;
  }
  EXPECT_EQ(Resources[4].Data, Bytes({'g', '+', '+', ' ', '1', '2', ' ', '-', 'O', '2', ' ', 'R', 'e', 'l', 'e',
                                      'a', 's', 'e'}));
}

TEST(PackageInfo, ThePackageRecordAndItsLayout) {
  const TPackageInfo Info = DecodePackageInfo(PackageInformation(), "PACKAGEINFO");
  EXPECT_EQ(Info.Flags, pfNeverBuild);
  EXPECT_EQ(Info.Requires, std::vector<std::string>{"vcl40"});
  const std::vector<TPackageUnit> Units = {
      {"Tessorin", ufMainUnit | ufPackageUnit}, {"LvFltImg", 0}, {"SysInit", ufWeakUnit | ufImplicitUnit}};
  EXPECT_EQ(Info.Contains, Units);

  // The hash: rotate left by one, XOR in the upper-cased byte.
  EXPECT_EQ(PackageNameHash("a"), 0x41);
  EXPECT_EQ(PackageNameHash("ab"), 0x82 ^ 0x42);
  EXPECT_EQ(PackageNameHash("vcl40"), PackageNameHash("VCL40"));
  const Bytes Tiny = TBytes{}.U32(1).U32(1).U8(0x41).Text("a").U32(1).U8(3).U8(0x42).Text("B").Data;
  EXPECT_EQ(EncodePackageInfo({1, {"a"}, {{"B", 3}}}), Tiny);
}

TEST(PackageInfo, RoundTrips) {
  const TPackageInfo Cases[] = {{}, {pfNeverBuild | pfRunOnly | pfIgnoreDupUnits, {"x", std::string(255, 'n')}, {{"\xC3\x9C", 0xFF}}},
                                PackageComposition()};
  for (const TPackageInfo& Info : Cases) EXPECT_EQ(DecodePackageInfo(EncodePackageInfo(Info), "test"), Info);
  for (const std::string& Bad : {std::string(), std::string(256, 'n'), std::string("a\0b", 3), std::string("a\nb")}) {
    EXPECT_THROW(EncodePackageInfo({0, {Bad}, {}}), EPackageError);
    EXPECT_THROW(EncodePackageInfo({0, {}, {{Bad, 0}}}), EPackageError);
  }
}

TEST(PackageInfo, RefusesMalformedRecords) {
  const Bytes Good = PackageInformation();
  for (std::size_t Size = 0; Size < Good.size(); ++Size)
    EXPECT_THROW(DecodePackageInfo({Good.data(), Size}, "cut"), EPackageError) << "cut to " << Size;

  const auto Record = [](std::uint32_t Count, const Bytes& Entry) { return TBytes{}.U32(0).U32(Count).Raw(Entry).U32(0).Data; };
  const std::pair<Bytes, std::string> Cases[] = {
      {TBytes{}.U32(0).U32(1).U8(0x41).Raw({'a', 'b', 'c'}).Data, "not terminated"},
      {Record(1, TBytes{}.U8(0x40).Text("a").Data), "does not match"},
      {Record(1, TBytes{}.U8(0).Text("").Data), "name empty"},
      {Record(1, TBytes{}.U8(0).Raw(Bytes(256, 'n')).U8(0).Data), "longer than 255"},
      {Record(0xFFFFFFFF, TBytes{}.U8(0x41).Text("a").Data), "more than"},
      {TBytes{}.Raw(Good).U8(0).Data, "1 byte after the record"},
      // Flags no package has, or that contradict each other.
      {TBytes{}.U32(0xFFFFFFFF).U32(0).U32(0).Data, "flags 0xFFFFFFFF set bits no package has (0xFFFFFFF0)"},
      {TBytes{}.U32(pfDesignOnly | pfRunOnly).U32(0).U32(0).Data, "flags 0x6 say both design-time and run-time only"},
      // A name that would split the line it is shown on.
      {Record(1, TBytes{}.U8(PackageNameHash("a\nb")).Text("a\nb").Data), "name \"a\\x0Ab\" holds control bytes"},
  };
  for (const auto& [Data, Fault] : Cases) {
    try {
      DecodePackageInfo(Data, "Tessorin.bpl");
      ADD_FAILURE() << "accepted; expected " << Fault;
    } catch (const EPackageError& E) {
      EXPECT_NE(std::string(E.what()).find("Tessorin.bpl: "), std::string::npos) << E.what();
      EXPECT_NE(std::string(E.what()).find(Fault), std::string::npos) << E.what();
      EXPECT_EQ(std::string(E.what()).find('\n'), std::string::npos) << E.what();
    }
  }
  EXPECT_THROW(EncodePackageInfo({pfDesignOnly | pfRunOnly, {}, {}}), EPackageError);
}

namespace {

// A tiny block laid out by hand: string table "040904B0" with "A" = "", and
// one translation. Offsets in the comments.
Bytes TinyBlock() {
  return TBytes{}
      .U16(236).U16(52).U16(0).Wide("VS_VERSION_INFO").Zeros(2)  // 0: root; key ends at 38, pad to 40
      .U32(0xFEEF04BD).U32(0).U32(0x00010002).Zeros(40)          // 40: fixed part, 52 bytes
      .U16(74).U16(0).U16(1).Wide("StringFileInfo")              // 92: ends at 166
      .U16(38).U16(0).U16(1).Wide("040904B0")                    // 128: the string table, key at 134
      .U16(14).U16(1).U16(1).Wide("A").Zeros(2).U16(0)           // 152: "A", value one unit, the NUL
      .Zeros(2)                                                  // 166: pad to 168
      .U16(68).U16(0).U16(1).Wide("VarFileInfo").Zeros(2)        // 168: children from 200
      .U16(36).U16(4).U16(0).Wide("Translation").Zeros(2)        // 200: value at 232
      .U32(0x04B00409)
      .Data;
}

TVersionInfo TinyInfo() {
  TVersionInfo Info;
  Info.Fixed.Signature = 0xFEEF04BD;
  Info.Fixed.FileVersionMS = 0x00010002;
  Info.StringTableKey = "040904B0";
  Info.Strings = {{"A", ""}};
  Info.Translations = {0x04B00409};
  return Info;
}

}  // namespace

TEST(VersionInfo, ThePackageBlockFieldByField) {
  const TVersionInfo Info = DecodeVersionInfo(VersionBlock(), "version");
  const TFixedFileInfo& F = Info.Fixed;
  EXPECT_EQ(F.Signature, 0xFEEF04BDu);
  EXPECT_EQ(F.StrucVersion, 0x00010000u);
  EXPECT_EQ(std::tie(F.FileVersionMS, F.FileVersionLS), std::make_tuple(0x00010000u, 0u));
  EXPECT_EQ(std::tie(F.ProductVersionMS, F.ProductVersionLS), std::make_tuple(0x00010000u, 0u));
  EXPECT_EQ(std::tie(F.FileFlagsMask, F.FileFlags, F.FileOS, F.FileType, F.FileSubtype),
            std::make_tuple(0x3Fu, 0u, 4u, 1u, 0u));
  EXPECT_EQ(std::tie(F.FileDateMS, F.FileDateLS), std::make_tuple(0u, 0u));
  EXPECT_EQ(Info.StringTableKey, "042904E8");
  const std::vector<TVersionString> Strings = {
      {"CompanyName", ""},    {"FileDescription", ""},  {"FileVersion", "1.0.0.0"}, {"InternalName", ""},
      {"LegalCopyright", ""}, {"LegalTrademarks", ""},  {"OriginalFilename", ""},   {"ProductName", ""},
      {"ProductVersion", "1.0.0.0"}, {"Comments", ""}};
  EXPECT_EQ(Info.Strings, Strings);
  EXPECT_EQ(Info.Translations, std::vector<std::uint32_t>{0x04E80429});
  const Bytes Block = VersionBlock();
  EXPECT_EQ(Bytes(Block.end() - 4, Block.end()), Bytes({0x29, 0x04, 0xE8, 0x04}));  // 0x0429, 1256
}

TEST(VersionInfo, EncodesTheKnownBytesAndRoundTrips) {
  EXPECT_EQ(EncodeVersionInfo(TinyInfo()), TinyBlock());

  TVersionInfo Bare;  // no strings, no translations
  Bare.Fixed.Signature = 0xFEEF04BD;
  TVersionInfo Wide = TinyInfo();
  Wide.Strings = {{"K\xC3\xA9y", "\xF0\x9D\x84\x9E music"}, {"", "x"}, {"Long", std::string(30000, 'v')}};
  Wide.Translations = {1, 2, 0xFFFFFFFF};
  for (const TVersionInfo& Info : {TinyInfo(), Bare, Wide, VersionDescription()}) {
    const Bytes Block = EncodeVersionInfo(Info);
    const TVersionInfo Back = DecodeVersionInfo(Block, "test");
    EXPECT_EQ(Back.StringTableKey, Info.StringTableKey);
    EXPECT_EQ(Back.Strings, Info.Strings);
    EXPECT_EQ(Back.Translations, Info.Translations);
    EXPECT_EQ(EncodeVersionInfo(Back), Block) << "the fixed part";
  }

  const auto Refused = [](void (*Spoil)(TVersionInfo&)) {
    TVersionInfo Info = TinyInfo();
    Spoil(Info);
    return Info;
  };
  for (const TVersionInfo& Info : {Refused([](TVersionInfo& I) { I.Fixed.Signature = 0; }),
                                   Refused([](TVersionInfo& I) { I.StringTableKey.clear(); }),
                                   Refused([](TVersionInfo& I) { I.Strings[0].Value = "\xC0\x80"; }),
                                   Refused([](TVersionInfo& I) { I.Strings[0].Key = std::string("a\0", 2); }),
                                   Refused([](TVersionInfo& I) { I.Strings[0].Value.assign(40000, 'v'); })})
    EXPECT_THROW(EncodeVersionInfo(Info), EPackageError);
}

TEST(VersionInfo, RefusesMalformedBlocks) {
  const Bytes Good = TinyBlock();
  for (std::size_t Size = 0; Size < Good.size(); ++Size)
    EXPECT_THROW(DecodeVersionInfo({Good.data(), Size}, "cut"), EPackageError) << "cut to " << Size;

  struct TCase {
    std::size_t Offset;  // of a 16-bit field changed to Value
    unsigned Value;
    std::string Fault;
  } const Cases[] = {
      {0, 238, "runs past its parent"},       // root longer than the data
      {128, 40, "runs past its parent"},      // table longer than StringFileInfo
      {152, 13, "bad length 13"},             // odd
      {152, 4, "bad length 4"},               // shorter than a header
      {154, 3, "runs past the node"},         // value of three units in a 14-byte node
      {156, 2, "unknown value type 2"},
      {158, 0xD800, "unpaired surrogate"},    // the key "A"
      {164, 'x', "not NUL-terminated"},       // the value
      {2, 48, "fixed part of 48 bytes"},
      {40, 0, "bad signature"},
      {170, 4, "has a value where none belongs"},
      {202, 2, "not whole DWORDs"},
      {174, 'W', "unknown or repeated entry \"WarFileInfo\""},
      {206, 'X', "unknown entry \"Xranslation\""},
      // The string table's key is its translation in hexadecimal.
      {134, 'Z', "string table key \"Z40904B0\" is not eight hexadecimal digits"},
      {134, '\n', "string table key \"\\x0A40904B0\" is not eight hexadecimal digits"},
      {6, '\x1B', "not a version block: the root is \"\\x1BS_VERSION_INFO\""},
  };
  for (const TCase& C : Cases) {
    Bytes Data = Good;
    Data[C.Offset] = std::uint8_t(C.Value);
    Data[C.Offset + 1] = std::uint8_t(C.Value >> 8);
    try {
      DecodeVersionInfo(Data, "Tessorin.bpl");
      ADD_FAILURE() << "accepted; expected " << C.Fault;
    } catch (const EPackageError& E) {
      EXPECT_NE(std::string(E.what()).find("Tessorin.bpl: " ), std::string::npos) << E.what();
      EXPECT_NE(std::string(E.what()).find(C.Fault), std::string::npos) << E.what();
      EXPECT_EQ(std::string(E.what()).find_first_of("\n\x1B"), std::string::npos) << E.what();
    }
  }
  Bytes Longer = Good;
  Longer.push_back(0);
  EXPECT_THROW(DecodeVersionInfo(Longer, "longer"), EPackageError);
}

TEST(PackageRecords, FuzzSeedsRunCleanly) {
  Seeds::RunAll(Fuzz::PackageRecords, "PackageRecords");
}
