#include "Resources.hpp"

#include <cstdio>

#include "Graphics.hpp"
#include "SysUtils.hpp"
#include "Windows.hpp"

namespace Tessorin::Resources {
namespace {

using namespace Graphics;

constexpr std::size_t BmpFileHeaderSize = 14;
constexpr int IconSide = 32;
constexpr std::uint16_t IconId = 1;

// A rectangle by the columns and rows its outline spans, ends included.
struct TFrame {
  int Left, Top, Right, Bottom;
  bool OnOutline(int X, int Y) const {
    const bool InSpan = X >= Left && X <= Right && Y >= Top && Y <= Bottom;
    return InSpan && (X == Left || X == Right || Y == Top || Y == Bottom);
  }
  bool Inside(int X, int Y) const { return X > Left && X < Right && Y > Top && Y < Bottom; }
};

struct TLayout {
  int Side;
  TFrame Yellow, Blue;
};

constexpr TLayout PaletteLayout{24, {1, 3, 17, 13}, {8, 8, 22, 18}};
// The palette picture scaled by about four thirds.
constexpr TLayout IconLayout{IconSide, {1, 4, 23, 18}, {11, 11, 30, 25}};

TColor ColourAt(const TLayout& L, int X, int Y) {
  // Both outlines are drawn in full, so where one crosses the other
  // rectangle's inside it stays black rather than taking the fill.
  if (L.Yellow.OnOutline(X, Y) || L.Blue.OnOutline(X, Y)) return clBlack;
  const bool InYellow = L.Yellow.Inside(X, Y), InBlue = L.Blue.Inside(X, Y);
  if (InYellow && InBlue) return clLime;
  if (InYellow) return clYellow;
  if (InBlue) return clBlue;
  return clOlive;
}

// Every colour used is one of the standard 16, so the 4-bit palette holds
// each exactly.
void Draw(TBitmap& Bitmap, const TLayout& L) {
  Bitmap.SetPixelFormat(pf4bit);
  Bitmap.SetSize(L.Side, L.Side);
  for (int Y = 0; Y < L.Side; ++Y)
    for (int X = 0; X < L.Side; ++X) Bitmap.Canvas()->SetPixels(X, Y, ColourAt(L, X, Y));
}

}  // namespace

std::vector<std::uint8_t> PaletteBitmap() {
  TBitmap Bitmap;
  Draw(Bitmap, PaletteLayout);
  std::vector<std::uint8_t> File = Bitmap.SaveToBytes("TLVFILTERIMAGE.bmp");
  File.erase(File.begin(), File.begin() + BmpFileHeaderSize);
  return File;
}

std::vector<std::uint8_t> IconImage() {
  TBitmap Bitmap;
  Draw(Bitmap, IconLayout);
  const std::size_t Stride = BytesPerScanline(IconSide, 4);
  const std::size_t MaskStride = BytesPerScanline(IconSide, 1);
  const auto ImageBytes = std::uint32_t((Stride + MaskStride) * IconSide);
  SysUtils::TByteWriter Out;
  Out.U32(40)                 // biSize
      .U32(IconSide)          // biWidth
      .U32(2 * IconSide)      // biHeight: the colour rows and the mask rows
      .U16(1)                 // biPlanes
      .U16(4)                 // biBitCount
      .U32(0)                 // biCompression: none
      .U32(ImageBytes)        // biSizeImage
      .U32(0).U32(0)          // resolution: unused for icons
      .U32(0).U32(0);         // biClrUsed, biClrImportant: all 16
  for (const TRGBQuad& Entry : Bitmap.Palette()) Out.U8(Entry.rgbBlue).U8(Entry.rgbGreen).U8(Entry.rgbRed).U8(0);
  for (int Y = IconSide - 1; Y >= 0; --Y) Out.Bytes({Bitmap.ScanLine(Y), Stride});
  // The mask is all clear: every pixel is opaque.
  return Out.Zeros(MaskStride * IconSide).Take();
}

std::vector<std::uint8_t> IconGroup() {
  SysUtils::TByteWriter Out;
  Out.U16(0)                                      // reserved
      .U16(1)                                     // type: icon
      .U16(1)                                     // image count
      .U8(IconSide).U8(IconSide)                  // width, height
      .U8(16)                                     // colour count
      .U8(0)                                      // reserved
      .U16(1)                                     // planes
      .U16(4)                                     // bits per pixel
      .U32(std::uint32_t(IconImage().size()))     // bytes in the image resource
      .U16(IconId);                               // the image's RT_ICON number
  return Out.Take();
}

SysUtils::TPackageInfo PackageComposition() {
  using namespace SysUtils;
  // Neither design-only nor run-only: the package serves both.
  return {pfNeverBuild,
          {"vcl40"},
          {{"Tessorin", ufMainUnit | ufPackageUnit}, {"LvFltImg", 0}, {"SysInit", ufWeakUnit | ufImplicitUnit}}};
}

std::vector<std::uint8_t> PackageInformation() { return SysUtils::EncodePackageInfo(PackageComposition()); }

std::vector<std::uint8_t> BuildOptions(const std::string& Text) { return {Text.begin(), Text.end()}; }

SysUtils::TVersionInfo VersionDescription() {
  SysUtils::TVersionInfo Info;
  auto& F = Info.Fixed;
  F.Signature = 0xFEEF04BD;
  F.StrucVersion = 0x00010000;
  F.FileVersionMS = F.ProductVersionMS = 0x00010000;  // 1.0
  F.FileVersionLS = F.ProductVersionLS = 0;           // .0.0
  F.FileFlagsMask = 0x3F;
  F.FileOS = 4;    // Win32
  F.FileType = 1;  // application
  char Key[9];
  std::snprintf(Key, sizeof Key, "%04X%04X", unsigned(ResourceLanguage), unsigned(ResourceCodePage));
  Info.StringTableKey = Key;
  // The ten standard entries in their usual order; only the versions say anything.
  Info.Strings = {{"CompanyName", ""},      {"FileDescription", ""}, {"FileVersion", "1.0.0.0"},
                  {"InternalName", ""},     {"LegalCopyright", ""},  {"LegalTrademarks", ""},
                  {"OriginalFilename", ""}, {"ProductName", ""},     {"ProductVersion", "1.0.0.0"},
                  {"Comments", ""}};
  Info.Translations = {std::uint32_t(ResourceCodePage) << 16 | ResourceLanguage};
  return Info;
}

std::vector<std::uint8_t> VersionBlock() { return SysUtils::EncodeVersionInfo(VersionDescription()); }

std::vector<TResource> ModuleResources(const std::string& BuildOptionsText) {
  using namespace Windows;
  return {{"TLVFILTERIMAGE", RT_BITMAP, ResourceLanguage, PaletteBitmap()},
          {"MAINICON", RT_GROUP_ICON, ResourceLanguage, IconGroup()},
          {"#" + std::to_string(IconId), RT_ICON, ResourceLanguage, IconImage()},
          {"PACKAGEINFO", RT_RCDATA, LANG_NEUTRAL, PackageInformation()},
          {"PACKAGEOPTIONS", RT_RCDATA, LANG_NEUTRAL, BuildOptions(BuildOptionsText)},
          {"#1", RT_VERSION, ResourceLanguage, VersionBlock()}};
}

std::vector<TResource> ProgramResources(const std::string& FileName, const std::string& Description) {
  using namespace Windows;
  constexpr std::uint16_t English = 0x0409, Unicode = 1200;
  SysUtils::TVersionInfo Version = VersionDescription();
  Version.StringTableKey = "040904B0";
  Version.Translations = {std::uint32_t(Unicode) << 16 | English};
  const std::string Name = FileName.substr(0, FileName.rfind('.'));
  for (auto& [Key, Value] : Version.Strings)
    if (Key == "FileDescription") Value = Description;
    else if (Key == "InternalName") Value = Name;
    else if (Key == "OriginalFilename") Value = FileName;
    else if (Key == "ProductName") Value = "Tessorin";
  return {{"MAINICON", RT_GROUP_ICON, LANG_NEUTRAL, IconGroup()},
          {"#" + std::to_string(IconId), RT_ICON, LANG_NEUTRAL, IconImage()},
          {"#1", RT_VERSION, English, SysUtils::EncodeVersionInfo(Version)}};
}

}  // namespace Tessorin::Resources
