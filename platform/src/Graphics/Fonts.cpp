// Colours by name and through the system's scheme, and fonts.
#include <utility>

#include "Graphics.hpp"
#include "os/Os.hpp"

namespace Graphics {

namespace {

// The classic Windows scheme, for systems without one of their own.
constexpr TColor ClassicScheme[] = {
    RGB(192, 192, 192), RGB(0, 128, 128),   RGB(0, 0, 128),     RGB(128, 128, 128), RGB(192, 192, 192),
    RGB(255, 255, 255), RGB(0, 0, 0),       RGB(0, 0, 0),       RGB(0, 0, 0),       RGB(255, 255, 255),
    RGB(192, 192, 192), RGB(192, 192, 192), RGB(128, 128, 128), RGB(0, 0, 128),     RGB(255, 255, 255),
    RGB(192, 192, 192), RGB(128, 128, 128), RGB(128, 128, 128), RGB(0, 0, 0),       RGB(192, 192, 192),
    RGB(255, 255, 255), RGB(0, 0, 0),       RGB(192, 192, 192), RGB(0, 0, 0),       RGB(255, 255, 225),
    RGB(0, 0, 0),       RGB(0, 0, 128),     RGB(16, 132, 208),  RGB(181, 181, 181), RGB(0, 0, 128),
    RGB(192, 192, 192),
};

// A colour as the ordinal of its property: the framework's TColor is a
// signed 32-bit integer, so the system colours are negative.
std::int64_t Ordinal(TColor Color) { return std::int32_t(Color); }

int MulDiv(int A, int B, int C) {
  const std::int64_t Product = std::int64_t(A) * B;
  return int((Product + (Product < 0 ? -C / 2 : C / 2)) / C);
}

}  // namespace

TColor ColorToRGB(TColor Color) {
  if (Color & clSystemColor) {
    const int Index = int(Color & 0xFF);
    if (const std::int64_t System = Os::SystemColor(Index); System >= 0 && (Color & 0x7FFFFF00) == 0)
      return TColor(System);
    return (Color & 0x7FFFFF00) == 0 && Index < int(std::size(ClassicScheme)) ? ClassicScheme[Index] : clBlack;
  }
  if (Color == clNone || Color == clDefault) return clBlack;
  return Color & 0xFFFFFF;
}

void RegisterGraphicsIdents() {
  static const bool Registered = [] {
    const std::pair<TColor, const char*> Colors[] = {
        {clBlack, "clBlack"}, {clMaroon, "clMaroon"}, {clGreen, "clGreen"}, {clOlive, "clOlive"},
        {clNavy, "clNavy"}, {clPurple, "clPurple"}, {clTeal, "clTeal"}, {clGray, "clGray"},
        {clSilver, "clSilver"}, {clRed, "clRed"}, {clLime, "clLime"}, {clYellow, "clYellow"},
        {clBlue, "clBlue"}, {clFuchsia, "clFuchsia"}, {clAqua, "clAqua"}, {clLtGray, "clLtGray"},
        {clDkGray, "clDkGray"}, {clWhite, "clWhite"}, {clNone, "clNone"}, {clDefault, "clDefault"},
        {clScrollBar, "clScrollBar"}, {clBackground, "clBackground"}, {clActiveCaption, "clActiveCaption"},
        {clInactiveCaption, "clInactiveCaption"}, {clMenu, "clMenu"}, {clWindow, "clWindow"},
        {clWindowFrame, "clWindowFrame"}, {clMenuText, "clMenuText"}, {clWindowText, "clWindowText"},
        {clCaptionText, "clCaptionText"}, {clActiveBorder, "clActiveBorder"},
        {clInactiveBorder, "clInactiveBorder"}, {clAppWorkSpace, "clAppWorkSpace"},
        {clHighlight, "clHighlight"}, {clHighlightText, "clHighlightText"}, {clBtnFace, "clBtnFace"},
        {clBtnShadow, "clBtnShadow"}, {clGrayText, "clGrayText"}, {clBtnText, "clBtnText"},
        {clInactiveCaptionText, "clInactiveCaptionText"}, {clBtnHighlight, "clBtnHighlight"},
        {cl3DDkShadow, "cl3DDkShadow"}, {cl3DLight, "cl3DLight"}, {clInfoText, "clInfoText"},
        {clInfoBk, "clInfoBk"}, {clHotLight, "clHotLight"}, {clGradientActiveCaption, "clGradientActiveCaption"},
        {clGradientInactiveCaption, "clGradientInactiveCaption"}, {clMenuHighlight, "clMenuHighlight"},
        {clMenuBar, "clMenuBar"}, {clMoneyGreen, "clMoneyGreen"}, {clSkyBlue, "clSkyBlue"}, {clCream, "clCream"},
        {clMedGray, "clMedGray"},
    };
    std::vector<std::pair<std::int64_t, std::string>> Idents;
    for (const auto& [Color, Name] : Colors) Idents.emplace_back(Ordinal(Color), Name);
    TypInfo::RegisterIdents("TColor", std::move(Idents));
    TypInfo::RegisterIdents("TFontCharset",
                            {{0, "ANSI_CHARSET"}, {1, "DEFAULT_CHARSET"}, {2, "SYMBOL_CHARSET"},
                             {77, "MAC_CHARSET"}, {128, "SHIFTJIS_CHARSET"}, {129, "HANGEUL_CHARSET"},
                             {130, "JOHAB_CHARSET"}, {134, "GB2312_CHARSET"}, {136, "CHINESEBIG5_CHARSET"},
                             {161, "GREEK_CHARSET"}, {162, "TURKISH_CHARSET"}, {163, "VIETNAMESE_CHARSET"},
                             {177, "HEBREW_CHARSET"}, {178, "ARABIC_CHARSET"}, {186, "BALTIC_CHARSET"},
                             {204, "RUSSIAN_CHARSET"}, {222, "THAI_CHARSET"}, {238, "EASTEUROPE_CHARSET"},
                             {255, "OEM_CHARSET"}});
    TypInfo::RegisterEnumNames("TFontPitch", {"fpDefault", "fpVariable", "fpFixed"});
    TypInfo::RegisterEnumNames("TFontStyles", {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"});
    return true;
  }();
  (void)Registered;
}

// ---- TFont -------------------------------------------------------------------

const TypInfo::TClassInfo& TFont::ClassInfo() {
  using namespace TypInfo;
  static TClassInfo Info{"TFont", "Graphics", &Classes::TPersistent::ClassInfo(), {}, {}};
  static const bool Published = (RegisterGraphicsIdents(), Info.Publish({
      // The charset is a byte, its ordinal below 256.
      MakeProperty<TFont, TFontCharset>("Charset", "TFontCharset", TTypeKind::tkInteger, &TFont::Charset,
                                        &TFont::SetCharset),
      MakeProperty<TFont, std::int32_t>("Color", "TColor", TTypeKind::tkInteger, &TFont::Color, &TFont::SetColor),
      MakeProperty<TFont, int>("Height", "Integer", TTypeKind::tkInteger, &TFont::Height, &TFont::SetHeight),
      MakeProperty<TFont, std::string>("Name", "TFontName", TTypeKind::tkString, &TFont::Name, &TFont::SetName),
      MakeProperty<TFont, TFontPitch>("Pitch", "TFontPitch", TTypeKind::tkEnumeration, &TFont::Pitch,
                                      &TFont::SetPitch, fpDefault),
      MakeProperty<TFont, int>("Size", "Integer", TTypeKind::tkInteger, &TFont::Size, &TFont::SetSize,
                               std::nullopt, {"False", [](const System::TObject*) { return false; }}),
      MakeProperty<TFont, TFontStyles>("Style", "TFontStyles", TTypeKind::tkSet, &TFont::Style, &TFont::SetStyle),
  }), true);
  (void)Published;
  return Info;
}
const TypInfo::TClassInfo& TFont::ClassType() const { return ClassInfo(); }

void TFont::Assign(const Classes::TPersistent* Source) {
  const auto* From = dynamic_cast<const TFont*>(Source);
  if (!From) return TPersistent::Assign(Source);
  FCharset = From->FCharset, FColor = From->FColor, FHeight = From->FHeight, FName = From->FName;
  FPitch = From->FPitch, FStyle = From->FStyle;
  if (OnChange) OnChange(this);
}

int TFont::Size() const { return -MulDiv(FHeight, 72, FPixelsPerInch); }
void TFont::SetSize(int Value) { SetHeight(-MulDiv(Value, FPixelsPerInch, 72)); }

}  // namespace Graphics
