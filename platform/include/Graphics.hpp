// The Graphics unit: colours, pixel formats, bitmaps, canvases and pictures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "Classes.hpp"
#include "SysUtils.hpp"
#include "System.hpp"
#include "Windows.hpp"

namespace Graphics {

// 0x00BBGGRR, as the framework stores colours: red in the lowest byte.
using TColor = std::uint32_t;
constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080,
                 clNavy = 0x800000, clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080,
                 clSilver = 0xC0C0C0, clRed = 0x0000FF, clLime = 0x00FF00, clYellow = 0x00FFFF,
                 clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00, clLtGray = 0xC0C0C0,
                 clDkGray = 0x808080, clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;
// The system's colours: this flag plus the system's index of the colour,
// resolved by ColorToRGB when painting.
constexpr TColor clSystemColor = 0x80000000;
constexpr TColor clScrollBar = clSystemColor | 0, clBackground = clSystemColor | 1,
                 clActiveCaption = clSystemColor | 2, clInactiveCaption = clSystemColor | 3,
                 clMenu = clSystemColor | 4, clWindow = clSystemColor | 5, clWindowFrame = clSystemColor | 6,
                 clMenuText = clSystemColor | 7, clWindowText = clSystemColor | 8,
                 clCaptionText = clSystemColor | 9, clActiveBorder = clSystemColor | 10,
                 clInactiveBorder = clSystemColor | 11, clAppWorkSpace = clSystemColor | 12,
                 clHighlight = clSystemColor | 13, clHighlightText = clSystemColor | 14,
                 clBtnFace = clSystemColor | 15, clBtnShadow = clSystemColor | 16, clGrayText = clSystemColor | 17,
                 clBtnText = clSystemColor | 18, clInactiveCaptionText = clSystemColor | 19,
                 clBtnHighlight = clSystemColor | 20, cl3DDkShadow = clSystemColor | 21,
                 cl3DLight = clSystemColor | 22, clInfoText = clSystemColor | 23, clInfoBk = clSystemColor | 24,
                 clHotLight = clSystemColor | 26, clGradientActiveCaption = clSystemColor | 27,
                 clGradientInactiveCaption = clSystemColor | 28, clMenuHighlight = clSystemColor | 29,
                 clMenuBar = clSystemColor | 30;
// Colours of later palettes, by value.
constexpr TColor clMoneyGreen = 0xC0DCC0, clSkyBlue = 0xF0CAA6, clCream = 0xF0FBFF, clMedGray = 0xA4A0A0;
// The red, green and blue a colour shows as: a system colour through the
// system's scheme (the classic one where the system has none), clNone and
// clDefault as black, anything else as its low three bytes.
TColor ColorToRGB(TColor Color);
// Registers the names stored forms write for colours and character sets.
void RegisterGraphicsIdents();

constexpr TColor RGB(std::uint8_t R, std::uint8_t G, std::uint8_t B) {
  return TColor(R) | TColor(G) << 8 | TColor(B) << 16;
}
constexpr std::uint8_t GetRValue(TColor C) { return std::uint8_t(C); }
constexpr std::uint8_t GetGValue(TColor C) { return std::uint8_t(C >> 8); }
constexpr std::uint8_t GetBValue(TColor C) { return std::uint8_t(C >> 16); }

// The framework's order: pf24bit is 6.
enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

// On this platform the device is a 32-bit surface (blue, green, red, alpha),
// so a pfDevice bitmap keeps pf32bit rows.
constexpr int PixelFormatBits[] = {32, 1, 4, 8, 16, 16, 24, 32, 0};
constexpr int BitsPerPixel(TPixelFormat Format) { return PixelFormatBits[Format]; }
const char* PixelFormatName(TPixelFormat Format);

// One palette entry, or one pixel of a 32-bit row: blue, green, red, alpha.
struct TRGBQuad {
  std::uint8_t rgbBlue = 0, rgbGreen = 0, rgbRed = 0, rgbReserved = 0;
  friend bool operator==(const TRGBQuad&, const TRGBQuad&) = default;
};

// Bytes in one stored row: whole bytes for the row's bits, padded to a
// multiple of 4. Answers 0 when the width is negative or the row would not
// fit in the address space.
std::size_t BytesPerScanline(std::int64_t Width, int BitsPerPixel);

// What a reader of outside data accepts before it allocates anything.
struct TImageLimits {
  int MaxSide = 16384;
  std::uint64_t MaxPixels = 128ull << 20;
  // Every picture one stored form holds, together.
  std::uint64_t MaxFormPixels = 128ull << 20;
};
TImageLimits GetImageLimits();
void SetImageLimits(TImageLimits Limits);

// How pictures are written to PNG and JPEG files.
enum class TPngCompression { Fast, Default, Best };
struct TSaveOptions {
  int JpegQuality = 90;  // 1 to 100
  TPngCompression PngCompression = TPngCompression::Default;
};
TSaveOptions GetSaveOptions();
// Raises EInvalidGraphic for a quality outside 1 to 100.
void SetSaveOptions(TSaveOptions Options);


class EInvalidGraphic : public System::Exception { using Exception::Exception; };
class EInvalidGraphicOperation : public System::Exception { using Exception::Exception; };
class EOutOfResources : public System::Exception { using Exception::Exception; };

class TCanvas;
class TBitmap;

// A bitmap resource is a .bmp file without its file header: the pixels
// follow the header, its colour masks and its palette. This puts the file
// header back; EInvalidGraphic names Where for a header that cannot be.
std::vector<std::uint8_t> BitmapResourceFile(std::span<const std::uint8_t> Data, const std::string& Where);
// One image of an icon, as an icon file or an icon resource holds it: a
// PNG, or a bitmap of twice the icon's height (the colours, then a 1-bit
// mask) whose colours are read as a bitmap resource; Width and Height are
// what SizeFrom (the icon's directory, a resource's group) gives it. The
// colours alone are read, without the mask. EInvalidGraphic names Where.
void LoadIconImage(TBitmap& Into, std::span<const std::uint8_t> Image, unsigned Width, unsigned Height,
                   const std::string& SizeFrom, const std::string& Where);
namespace Detail { struct TDib; }

// The picture file formats, as a file's name asks for one when written.
enum class TFileFormat { Unknown, Bmp, Png, Jpeg };
// From the extension of FileName (.bmp, .png, .jpg, .jpeg); raises
// EInvalidGraphic naming the file for any other, so that a program can
// refuse an output's name before it does any work.
TFileFormat FormatForFileName(const std::string& FileName);

class TGraphic : public Classes::TPersistent {
public:
  static const TypInfo::TClassInfo& ClassInfo();
  const TypInfo::TClassInfo& ClassType() const override;

  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual void SetWidth(int Value) = 0;
  virtual void SetHeight(int Value) = 0;
  virtual bool Empty() const { return Width() == 0 || Height() == 0; }
  virtual bool Transparent() const { return FTransparent; }
  virtual void SetTransparent(bool Value);

  // Files are recognised by their content; the name only goes into errors.
  void LoadFromFile(const std::string& FileName);
  // The format is chosen by the name's extension: .bmp, .png, .jpg, .jpeg.
  // The file is replaced whole or not at all.
  void SaveToFile(const std::string& FileName) const;
  // The same into a file the caller commits.
  virtual void SaveToFile(Classes::TFileWriter& File) const;
  virtual void LoadFromStream(std::istream& Stream, const std::string& SourceName = "stream") = 0;
  virtual void SaveToStream(std::ostream& Stream) const = 0;
  virtual void LoadFromBytes(std::span<const std::uint8_t> Data, const std::string& SourceName) = 0;
  // Encodes in the format named by the extension of FileName (".bmp" ...).
  virtual std::vector<std::uint8_t> SaveToBytes(const std::string& FileName) const = 0;
  // The graphic as a stored form keeps it: for a bitmap, a 4-byte size and
  // the bitmap as a BMP file in its own pixel format. Stored forms read it
  // back with the same checks and limits as files.
  virtual void ReadData(Classes::TStream& Stream) = 0;
  virtual void WriteData(Classes::TStream& Stream) const = 0;

  System::TNotifyEvent OnChange;
  System::TNotifyEvent OnProgress;

protected:
  virtual void Changed();

private:
  bool FTransparent = false;
};

enum class TTransparentMode { tmAuto, tmFixed };

class TBitmap : public TGraphic {
public:
  TBitmap();
  ~TBitmap() override;
  static const TypInfo::TClassInfo& ClassInfo();
  const TypInfo::TClassInfo& ClassType() const override;

  // From a bitmap: shares its image until either side writes. From nullptr:
  // becomes empty. From another graphic: takes on its pixels.
  void Assign(const Classes::TPersistent* Source) override;

  int Width() const override;
  int Height() const override;
  void SetWidth(int Value) override;
  void SetHeight(int Value) override;
  // Keeps the overlapping content; new area is black.
  void SetSize(int AWidth, int AHeight);

  TPixelFormat PixelFormat() const;
  // Converts in place, keeping size and colours as far as the format can.
  void SetPixelFormat(TPixelFormat Value);
  // The colour table of an indexed format (1, 4 or 8 bits); empty otherwise.
  std::vector<TRGBQuad> Palette() const;
  void SetPalette(std::vector<TRGBQuad> Entries);

  // Row Y of the image, 0 being the top row. Makes the image private first,
  // so bytes written through it change this bitmap only.
  std::uint8_t* ScanLine(int Y);
  // The same row to read, of a bitmap that is not to change: the image
  // stays shared. Valid until the bitmap or a bitmap sharing it changes.
  const std::uint8_t* ScanLine(int Y) const;

  // Gives up the native handle; the pixels stay.
  void Dormant();
  // Makes the image this bitmap's own: no other bitmap shares it afterwards.
  void FreeImage();
  Windows::HBITMAP Handle();
  bool HandleAllocated() const;
  // The bitmap stops owning its native handle and hands it to the caller,
  // who deletes it with Windows::DeleteObject. 0 when none was allocated.
  Windows::HBITMAP ReleaseHandle();

  TColor TransparentColor() const;  // the bottom-left pixel unless fixed
  void SetTransparentColor(TColor Value);
  TTransparentMode TransparentMode() const { return FTransparentMode; }
  void SetTransparentMode(TTransparentMode Value);

  TCanvas* Canvas();
  TColor Pixel(int X, int Y) const;  // clNone outside the image

  using TGraphic::LoadFromFile;
  using TGraphic::SaveToFile;
  void SaveToFile(Classes::TFileWriter& File) const override;
  void ReadData(Classes::TStream& Stream) override;
  void WriteData(Classes::TStream& Stream) const override;
  // Stores the pixels as the defined property Data.
  void DefineProperties(Classes::TFiler& Filer) override;
  void LoadFromStream(std::istream& Stream, const std::string& SourceName = "stream") override;
  void SaveToStream(std::ostream& Stream) const override;
  void LoadFromBytes(std::span<const std::uint8_t> Data, const std::string& SourceName) override;
  std::vector<std::uint8_t> SaveToBytes(const std::string& FileName) const override;
  // The bitmap resource of that name in the module (or the resource module
  // serving it), as a palette button's glyph is found. Raises
  // EInvalidGraphic naming the resource when there is none or it is bad.
  void LoadFromResourceName(Windows::HMODULE Instance, const std::string& ResName);

  // The framework's own image for readers and writers in the platform.
  const Detail::TDib& Image() const;
  void SetImage(Detail::TDib Image);

  // Called after pixels were written through ScanLine or the canvas.
  void Modified() { Changed(); }

private:
  friend class TCanvas;
  Detail::TDib& Writable();

  std::shared_ptr<Detail::TDib> FImage;
  // Set once a row address has been handed out: the image may change behind
  // our back, so a later Assign from this bitmap copies instead of sharing.
  bool FRowsExposed = false;
  Windows::HBITMAP FHandle = 0;
  TColor FTransparentColor = clDefault;
  TTransparentMode FTransparentMode = TTransparentMode::tmAuto;
  std::unique_ptr<TCanvas> FCanvas;
};

// A picture a stored form holds in the data of another graphic class (an
// icon, a JPEG or PNG image): the bytes are kept as they were stored and
// written back unchanged, and the picture is drawn from what our codecs
// read of them. Its pixels change only as a bitmap: TPicture::Bitmap
// makes the picture one, which is then stored as a TBitmap.
class TEncodedGraphic : public TGraphic {
public:
  int Width() const override { return FPixels.Width(); }
  int Height() const override { return FPixels.Height(); }
  // Its size is the encoded picture's: EInvalidGraphicOperation.
  void SetWidth(int Value) override;
  void SetHeight(int Value) override;
  // The graphic's own file: an icon file, a JPEG or PNG file.
  void LoadFromStream(std::istream& Stream, const std::string& SourceName = "stream") override;
  void SaveToStream(std::ostream& Stream) const override;
  void LoadFromBytes(std::span<const std::uint8_t> Data, const std::string& SourceName) override;
  // The pixels in the format FileName's extension names.
  std::vector<std::uint8_t> SaveToBytes(const std::string& FileName) const override;
  // The data of a stored form, kept whole and written back as read.
  void ReadData(Classes::TStream& Stream) override;
  void WriteData(Classes::TStream& Stream) const override;
  // What was read of it, to draw.
  const TBitmap& Pixels() const { return FPixels; }
  // A graphic of the same class with the same data.
  virtual std::unique_ptr<TEncodedGraphic> Copy() const = 0;

protected:
  // The picture file the data holds: the data itself, or what follows a
  // size where the class stores one.
  virtual std::span<const std::uint8_t> FileIn(std::span<const std::uint8_t> Data, const std::string& Where) const {
    (void)Where;
    return Data;
  }
  // The data the class stores for the picture file File.
  virtual std::vector<std::uint8_t> Encode(std::span<const std::uint8_t> File) const {
    return {File.begin(), File.end()};
  }
  // Reads the picture file into Into.
  virtual void Decode(std::span<const std::uint8_t> File, TBitmap& Into, const std::string& Where) const = 0;
  // The picture file inside the data, found by its signature; where the
  // data does not begin with it, a 4-byte size of the rest must come first.
  static std::span<const std::uint8_t> Payload(std::span<const std::uint8_t> Data, std::span<const std::uint8_t> Signature,
                                               const std::string& Where, const char* What);
  void Take(std::vector<std::uint8_t> Data, const std::string& Where);
  template <class T>
  std::unique_ptr<TEncodedGraphic> CopyAs() const {
    auto Made = std::make_unique<T>();
    Made->FData = FData;
    Made->FPixels.Assign(&FPixels);
    return Made;
  }

private:
  std::vector<std::uint8_t> FData;
  TBitmap FPixels;
};

// An icon: its data is an icon file, drawn from its first image.
class TIcon : public TEncodedGraphic {
public:
  static const TypInfo::TClassInfo& ClassInfo();
  const TypInfo::TClassInfo& ClassType() const override;
  std::unique_ptr<TEncodedGraphic> Copy() const override { return CopyAs<TIcon>(); }

protected:
  void Decode(std::span<const std::uint8_t> File, TBitmap& Into, const std::string& Where) const override;
};

// A JPEG image: its data is a 4-byte size and a JPEG file.
class TJPEGImage : public TEncodedGraphic {
public:
  static const TypInfo::TClassInfo& ClassInfo();
  const TypInfo::TClassInfo& ClassType() const override;
  std::unique_ptr<TEncodedGraphic> Copy() const override { return CopyAs<TJPEGImage>(); }

protected:
  std::span<const std::uint8_t> FileIn(std::span<const std::uint8_t> Data, const std::string& Where) const override;
  std::vector<std::uint8_t> Encode(std::span<const std::uint8_t> File) const override;
  void Decode(std::span<const std::uint8_t> File, TBitmap& Into, const std::string& Where) const override;
};

// A PNG image: its data is a PNG file (after a 4-byte size, where a
// writer put one).
class TPngImage : public TEncodedGraphic {
public:
  static const TypInfo::TClassInfo& ClassInfo();
  const TypInfo::TClassInfo& ClassType() const override;
  std::unique_ptr<TEncodedGraphic> Copy() const override { return CopyAs<TPngImage>(); }

protected:
  std::span<const std::uint8_t> FileIn(std::span<const std::uint8_t> Data, const std::string& Where) const override;
  void Decode(std::span<const std::uint8_t> File, TBitmap& Into, const std::string& Where) const override;
};

struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  friend bool operator==(const TRect&, const TRect&) = default;
};
inline TRect Rect(int Left, int Top, int Right, int Bottom) { return {Left, Top, Right, Bottom}; }

class TBrush {
public:
  TColor Color = clWhite;
};

// Drawing on a bitmap. Coordinates outside the bitmap are clipped.
class TCanvas {
public:
  explicit TCanvas(TBitmap& Target) : FTarget(Target) {}

  TColor Pixels(int X, int Y) const;
  void SetPixels(int X, int Y, TColor Color);
  void FillRect(const TRect& Rect);
  // Draws the graphic's pixels at (X, Y); a transparent graphic leaves out
  // its transparent colour.
  void Draw(int X, int Y, const TGraphic& Graphic);
  // Scales the graphic onto Rect, nearest pixel.
  void StretchDraw(const TRect& Rect, const TGraphic& Graphic);

  // Limits all drawing to Rect until cleared.
  void SetClipRect(const TRect& Rect);
  void ClearClipRect() { FClipped = false; }
  // The clip rectangle, or the whole bitmap when there is none.
  TRect ClipRect() const;

  TBrush Brush;

private:
  TRect Visible(const TRect& Rect) const;
  void Blit(const TRect& Dest, const TBitmap& Source);
  TBitmap& FTarget;
  TRect FClip;
  bool FClipped = false;
};

// A font: kept with its form and stored, not yet drawn with.
using TFontCharset = std::uint8_t;
constexpr TFontCharset ANSI_CHARSET = 0, DEFAULT_CHARSET = 1, SYMBOL_CHARSET = 2, OEM_CHARSET = 255;
enum TFontPitch { fpDefault, fpVariable, fpFixed };
enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = unsigned;  // a set of TFontStyle, bit n for ordinal n

class TFont : public Classes::TPersistent {
public:
  static const TypInfo::TClassInfo& ClassInfo();
  const TypInfo::TClassInfo& ClassType() const override;
  void Assign(const Classes::TPersistent* Source) override;

  TFontCharset Charset() const { return FCharset; }
  void SetCharset(TFontCharset Value) { Change(FCharset, Value); }
  TColor Color() const { return FColor; }
  void SetColor(TColor Value) { Change(FColor, Value); }
  // Negative: the character height in pixels; positive: the cell height.
  int Height() const { return FHeight; }
  void SetHeight(int Value) { Change(FHeight, Value); }
  const std::string& Name() const { return FName; }
  void SetName(const std::string& Value) { Change(FName, Value); }
  TFontPitch Pitch() const { return FPitch; }
  void SetPitch(TFontPitch Value) { Change(FPitch, Value); }
  // In points: follows Height at PixelsPerInch.
  int Size() const;
  void SetSize(int Value);
  TFontStyles Style() const { return FStyle; }
  void SetStyle(TFontStyles Value) { Change(FStyle, Value); }
  int PixelsPerInch() const { return FPixelsPerInch; }
  void SetPixelsPerInch(int Value) { FPixelsPerInch = Value > 0 ? Value : 96; }

  System::TNotifyEvent OnChange;

private:
  template <class T>
  void Change(T& Field, const T& Value) {
    if (Field == Value) return;
    Field = Value;
    if (OnChange) OnChange(this);
  }
  TFontCharset FCharset = DEFAULT_CHARSET;
  TColor FColor = clWindowText;
  int FHeight = -11;
  std::string FName = "MS Sans Serif";
  TFontPitch FPitch = fpDefault;
  TFontStyles FStyle = 0;
  int FPixelsPerInch = 96;
};

// A container for one graphic (a bitmap, or a picture kept in another
// class's data) with load and save by file.
class TPicture : public Classes::TPersistent {
public:
  TPicture();
  ~TPicture() override;
  static const TypInfo::TClassInfo& ClassInfo();
  const TypInfo::TClassInfo& ClassType() const override;

  TGraphic* Graphic() const { return FGraphic.get(); }
  void SetGraphic(const TGraphic* Value);
  // The content as a bitmap. An empty picture gets a new empty bitmap; the
  // same bitmap is given back on every request until the picture changes.
  TBitmap* Bitmap();
  void SetBitmap(const TBitmap* Value);
  int Width() const;
  int Height() const;

  void Assign(const Classes::TPersistent* Source) override;
  // A failed load leaves the picture as it was.
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName) const;
  void SaveToFile(Classes::TFileWriter& File) const;
  // Stores the graphic as the defined property Data: its class name as a
  // short string, then the graphic's own data.
  void DefineProperties(Classes::TFiler& Filer) override;

  System::TNotifyEvent OnChange;
  System::TNotifyEvent OnProgress;

private:
  void Adopt(std::unique_ptr<TGraphic> Graphic);
  void Changed();
  std::unique_ptr<TGraphic> FGraphic;
};

}  // namespace Graphics
