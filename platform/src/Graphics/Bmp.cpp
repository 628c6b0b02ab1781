// BMP files: the OS/2 1.x and 2.x headers and the INFO, V4 and V5 family;
// indexed, RLE, bit-field and true-colour pixels. Files store rows bottom-up
// unless the height is negative; the image is always top-down.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <iterator>
#include <ostream>
#include <string_view>

#include "Codecs.hpp"
#include "SysUtils.hpp"

namespace Graphics::Detail {
namespace {

constexpr std::uint64_t FileHeaderSize = 14;
constexpr std::uint32_t CoreHeaderSize = 12, InfoHeaderSize = 40, V4HeaderSize = 108;
// INFO, INFO followed by the RGB masks, by the RGBA masks, V4 and V5.
constexpr std::uint32_t WindowsHeaderSizes[] = {InfoHeaderSize, 52, 56, V4HeaderSize, 124};

enum : std::uint32_t { BI_RGB, BI_RLE8, BI_RLE4, BI_BITFIELDS, BI_JPEG, BI_PNG, BI_ALPHABITFIELDS };
constexpr std::uint32_t LCS_sRGB = 0x73524742;
constexpr std::int32_t PixelsPerMetre = 2835;  // 72 dots per inch

struct TMasks {
  std::uint32_t Red = 0, Green = 0, Blue = 0, Alpha = 0;
  friend bool operator==(const TMasks&, const TMasks&) = default;
};
constexpr TMasks Masks555{0x7C00, 0x03E0, 0x001F, 0};
constexpr TMasks Masks565{0xF800, 0x07E0, 0x001F, 0};
constexpr TMasks MasksBgr{0xFF0000, 0xFF00, 0xFF, 0};
constexpr TMasks MasksBgra{0xFF0000, 0xFF00, 0xFF, 0xFF000000};

using SysUtils::Le16;
using SysUtils::Le32;
using SysUtils::TByteReader;
using SysUtils::TByteWriter;

// A field of a header that may be shorter than the field's offset: OS/2 2.x
// headers leave trailing fields out, and a field left out means 0.
std::uint32_t Field(std::span<const std::uint8_t> Header, std::size_t Offset, std::size_t Size = 4) {
  if (Offset + Size > Header.size()) return 0;
  return Size == 2 ? Le16(&Header[Offset]) : Le32(&Header[Offset]);
}

// Untrusted bytes are walked by the bounded byte reader, whose faults are
// EInvalidGraphic naming the file.
TByteReader Reader(std::span<const std::uint8_t> Data, const std::string& Name) {
  return TByteReader(Data, Name, SysUtils::RaiseFault<EInvalidGraphic>);
}

// What the headers say about the pixels, checked for consistency.
struct THeader {
  std::int64_t Width = 0, Height = 0;
  bool TopDown = false;
  bool Os2 = false;  // OS/2 2.x gives compressions 3 and 4 other meanings
  unsigned Planes = 1, BitCount = 0;
  std::uint32_t Compression = BI_RGB;
  std::uint32_t ColorsUsed = 0;
  TMasks Masks;  // 16 and 32 bits only
  unsigned PaletteEntrySize = 4;
  std::uint64_t PixelOffset = 0;
};

void ReadCoreHeader(std::span<const std::uint8_t> Info, THeader& H) {
  // OS/2 1.x: unsigned 16-bit sides, always bottom-up, RGB triples.
  H.Width = Le16(&Info[4]);
  H.Height = Le16(&Info[6]);
  H.Planes = Le16(&Info[8]);
  H.BitCount = Le16(&Info[10]);
  H.PaletteEntrySize = 3;
}

void ReadInfoHeader(std::span<const std::uint8_t> Info, const TByteReader& In, THeader& H) {
  H.Width = std::int32_t(Field(Info, 4));
  const auto Height = std::int32_t(Field(Info, 8));
  // The one height whose magnitude does not fit the type.
  if (Height == INT32_MIN) In.Fail("height out of range");
  H.TopDown = Height < 0;
  H.Height = H.TopDown ? -std::int64_t(Height) : Height;
  H.Planes = Field(Info, 12, 2);
  H.BitCount = Field(Info, 14, 2);
  H.Compression = Field(Info, 16);
  H.ColorsUsed = Field(Info, 32);
}

TMasks ReadMasks(std::span<const std::uint8_t> Fields) {
  return {Field(Fields, 0), Field(Fields, 4), Field(Fields, 8), Field(Fields, 12)};
}

bool IsBitFields(std::uint32_t Compression) { return Compression == BI_BITFIELDS || Compression == BI_ALPHABITFIELDS; }

// Masks live in the larger headers themselves, after a 40-byte one.
TMasks ReadBitFields(TByteReader& In, std::span<const std::uint8_t> Info, const THeader& H) {
  if (!IsBitFields(H.Compression) || H.Os2) return H.BitCount == 16 ? Masks555 : MasksBgr;
  if (Info.size() > InfoHeaderSize) return ReadMasks(Info.subspan(InfoHeaderSize));
  return ReadMasks(In.Bytes(H.Compression == BI_ALPHABITFIELDS ? 16 : 12, "bit field masks"));
}

bool IsWindowsHeaderSize(std::uint32_t Size) {
  return std::find(std::begin(WindowsHeaderSizes), std::end(WindowsHeaderSizes), Size) != std::end(WindowsHeaderSizes);
}
bool IsOs2HeaderSize(std::uint32_t Size) { return Size >= 16 && Size <= 64 && !IsWindowsHeaderSize(Size); }

// Colour space fields and V5 profiles are not read: images here carry no
// colour management, so every file is taken as sRGB.

THeader ReadHeaders(TByteReader& In) {
  const auto File = In.Bytes(FileHeaderSize, "file header");
  if (File[0] != 'B' || File[1] != 'M') In.Fail("not a BMP file");
  THeader H;
  // The file size field is often wrong in files found in the wild and
  // nothing needs it; the pixel offset is what counts.
  H.PixelOffset = Le32(&File[10]);
  const std::uint32_t Size = Le32(In.Peek(4, "bitmap header").data());
  H.Os2 = IsOs2HeaderSize(Size);
  if (Size != CoreHeaderSize && !H.Os2 && !IsWindowsHeaderSize(Size))
    In.Fail("unsupported header size " + std::to_string(Size));
  const auto Info = In.Bytes(Size, "bitmap header");
  if (Size == CoreHeaderSize)
    ReadCoreHeader(Info, H);
  else
    ReadInfoHeader(Info, In, H);
  if (H.BitCount == 16 || H.BitCount == 32) H.Masks = ReadBitFields(In, Info, H);
  return H;
}

const char* CompressionName(std::uint32_t Compression, bool Os2) {
  if (Os2) return Compression == 3 ? "Huffman 1D" : Compression == 4 ? "RLE24" : nullptr;
  switch (Compression) {
    case BI_JPEG: return "JPEG";
    case BI_PNG: return "PNG";
    case 11: case 12: case 13: return "CMYK";
    default: return nullptr;
  }
}

void CheckCompression(const THeader& H, const TByteReader& In) {
  const bool Known = H.Compression <= BI_RLE4 || (!H.Os2 && IsBitFields(H.Compression));
  if (!Known) {
    const char* What = CompressionName(H.Compression, H.Os2);
    In.Fail("unsupported compression " + std::to_string(H.Compression) + (What ? std::string(" (") + What + ")" : ""));
  }
  if (H.Compression == BI_RLE8 && H.BitCount != 8) In.Fail("RLE8 needs 8 bits per pixel");
  if (H.Compression == BI_RLE4 && H.BitCount != 4) In.Fail("RLE4 needs 4 bits per pixel");
  if (IsBitFields(H.Compression) && H.BitCount != 16 && H.BitCount != 32)
    In.Fail("bit fields need 16 or 32 bits per pixel");
}

void CheckMasks(const TMasks& Masks, unsigned BitCount, const TByteReader& In) {
  if (!Masks.Red || !Masks.Green || !Masks.Blue) In.Fail("zero bit field mask");
  const std::uint32_t Pixel = BitCount == 32 ? 0xFFFFFFFF : (1u << BitCount) - 1;
  std::uint32_t Seen = 0;
  for (const std::uint32_t Mask : {Masks.Red, Masks.Green, Masks.Blue, Masks.Alpha}) {
    if (Mask & ~Pixel) In.Fail("bit field mask wider than the pixel");
    const std::uint32_t Shifted = Mask ? Mask >> std::countr_zero(Mask) : 0;
    if (Shifted & (Shifted + 1)) In.Fail("bit field mask not contiguous");
    if (Mask & Seen) In.Fail("bit field masks overlap");
    Seen |= Mask;
  }
}

void CheckHeader(const THeader& H, const TByteReader& In) {
  if (H.Width < 0) In.Fail("negative width");
  // Every writer puts 1 here; anything else means the header is not what it seems.
  if (H.Planes != 1) In.Fail("plane count " + std::to_string(H.Planes) + " is not 1");
  CheckCompression(H, In);
  static constexpr unsigned Depths[] = {1, 4, 8, 16, 24, 32};
  if (std::find(std::begin(Depths), std::end(Depths), H.BitCount) == std::end(Depths))
    In.Fail("unsupported bit count " + std::to_string(H.BitCount));
  if (H.BitCount == 16 || H.BitCount == 32) CheckMasks(H.Masks, H.BitCount, In);
  if (H.PixelOffset < In.Position()) In.Fail("pixel data offset inside the headers");
}

std::vector<TRGBQuad> ReadPalette(TByteReader& In, const THeader& H) {
  const std::uint64_t Full = std::uint64_t(1) << H.BitCount;
  std::uint64_t Count = H.ColorsUsed == 0 ? Full : std::min<std::uint64_t>(H.ColorsUsed, Full);
  // OS/2 1.x writers have no count field and say how short the table is
  // only through the pixel offset.
  Count = std::min(Count, (H.PixelOffset - In.Position()) / H.PaletteEntrySize);
  const auto Table = In.Bytes(Count * H.PaletteEntrySize, "palette");
  // Missing entries are black, so that every index the depth allows is valid.
  std::vector<TRGBQuad> Palette(Full);
  for (std::size_t I = 0; I < Count; ++I) {
    const std::uint8_t* Entry = &Table[I * H.PaletteEntrySize];
    Palette[I] = {Entry[0], Entry[1], Entry[2], 0};
  }
  return Palette;
}

// Whether the file's pixels are laid out as one of the image formats, so
// that a row copy reads them.
bool IsNativeLayout(const THeader& H) {
  switch (H.BitCount) {
    case 16: return H.Masks == Masks555 || H.Masks == Masks565;
    case 32: return H.Masks == MasksBgr || H.Masks == MasksBgra;
    default: return true;
  }
}

TPixelFormat FormatFor(const THeader& H) {
  // Any other layout goes to the smallest format that keeps every colour.
  if (!IsNativeLayout(H)) return H.Masks.Alpha ? pf32bit : pf24bit;
  switch (H.BitCount) {
    case 1: return pf1bit;
    case 4: return pf4bit;
    case 8: return pf8bit;
    case 16: return H.Masks == Masks555 ? pf15bit : pf16bit;
    case 24: return pf24bit;
    default: return pf32bit;
  }
}

// One channel of a bit-field pixel, widened to 8 bits.
class TChannel {
public:
  explicit TChannel(std::uint32_t Mask) {
    if (Mask == 0) {
      // Only alpha may be absent, and a picture without alpha is opaque.
      FScale[0] = 255;
      return;
    }
    FShift = unsigned(std::countr_zero(Mask));
    FMax = Mask >> FShift;
    if (FMax < FScale.size())
      for (unsigned V = 0; V <= FMax; ++V) FScale[V] = Widen(V, std::popcount(Mask));
  }
  std::uint8_t operator()(std::uint32_t Pixel) const {
    const std::uint32_t V = (Pixel >> FShift) & FMax;
    // Channels wider than 8 bits (10-bit layouts) are rare; they are scaled
    // exactly rather than through a table.
    return FMax < FScale.size() ? FScale[V] : std::uint8_t((std::uint64_t(V) * 255 + FMax / 2) / FMax);
  }

private:
  unsigned FShift = 0;
  std::uint32_t FMax = 0;
  std::array<std::uint8_t, 256> FScale{};
};

void DecodeMaskedRows(std::span<const std::uint8_t> Pixels, std::uint64_t Stride, const THeader& H, TDib& Image) {
  const TChannel Red(H.Masks.Red), Green(H.Masks.Green), Blue(H.Masks.Blue), Alpha(H.Masks.Alpha);
  const unsigned In = H.BitCount / 8, Out = BitsPerPixel(Image.Format) / 8;
  for (std::int64_t Y = 0; Y < H.Height; ++Y) {
    const std::uint8_t* Src = Pixels.data() + Y * Stride;
    std::uint8_t* Dst = Image.Row(int(H.TopDown ? Y : H.Height - 1 - Y));
    for (std::int64_t X = 0; X < H.Width; ++X, Src += In, Dst += Out) {
      const std::uint32_t P = In == 2 ? Le16(Src) : Le32(Src);
      Dst[0] = Blue(P);
      Dst[1] = Green(P);
      Dst[2] = Red(P);
      if (Out == 4) Dst[3] = Alpha(P);
    }
  }
}

// Rows laid out in the file as in the image: one copy per row.
void CopyRows(std::span<const std::uint8_t> Pixels, std::uint64_t Stride, std::size_t RowBytes, const THeader& H,
              TDib& Image) {
  const bool Opaque = Image.Format == pf32bit && H.Masks.Alpha == 0;
  for (std::int64_t Y = 0; Y < H.Height; ++Y) {
    std::uint8_t* Dst = Image.Row(int(H.TopDown ? Y : H.Height - 1 - Y));
    std::memcpy(Dst, Pixels.data() + Y * Stride, RowBytes);
    std::memset(Dst + RowBytes, 0, Image.Stride - RowBytes);
    // Without an alpha mask the fourth byte is padding, often left 0.
    if (Opaque)
      for (std::size_t X = 3; X < RowBytes; X += 4) Dst[X] = 255;
  }
}

TDib ReadUncompressed(TByteReader& In, const THeader& H, std::vector<TRGBQuad> Palette) {
  const std::uint64_t Stride = BytesPerScanline(H.Width, int(H.BitCount));
  const std::size_t RowBytes = std::size_t((H.Width * H.BitCount + 7) / 8);
  std::span<const std::uint8_t> Pixels;
  if (H.Height > 0 && Stride > 0) {
    // Some writers leave out the last row's padding; only pixel bytes are required.
    if (std::uint64_t(H.Height - 1) > In.Left() / Stride) In.Truncated(In.Position(), "pixel data");
    Pixels = In.Bytes(std::uint64_t(H.Height - 1) * Stride + RowBytes, "pixel data");
  }
  // Rows copied whole need no blank image first; decoded ones start black.
  const bool Native = IsNativeLayout(H);
  TDib Image = Native ? MakeUnfilledDib(int(H.Width), int(H.Height), FormatFor(H), In.Source())
                      : MakeDib(int(H.Width), int(H.Height), FormatFor(H), In.Source());
  if (!Palette.empty()) Image.Palette = std::move(Palette);
  if (Image.Empty()) return Image;
  if (Native)
    CopyRows(Pixels, Stride, RowBytes, H, Image);
  else
    DecodeMaskedRows(Pixels, Stride, H, Image);
  return Image;
}

// Escapes skip pixels that the file gives no colour at all. Their usual
// background is black, so they take the darkest palette entry (the first
// among equals, which in most files is index 0).
std::uint8_t DarkestIndex(const std::vector<TRGBQuad>& Palette) {
  const auto Luma = [](const TRGBQuad& C) { return 299 * C.rgbRed + 587 * C.rgbGreen + 114 * C.rgbBlue; };
  const auto Darkest = std::min_element(Palette.begin(), Palette.end(),
                                        [&](const TRGBQuad& A, const TRGBQuad& B) { return Luma(A) < Luma(B); });
  return std::uint8_t(Darkest - Palette.begin());
}

// Decodes RLE4 and RLE8 into an indexed image. Rows are counted as the file
// stores them, from the bottom unless the image is top-down.
class TRleDecoder {
public:
  TRleDecoder(TByteReader& In, const THeader& H, TDib& Image)
      : FIn(In), FHeader(H), FImage(Image), FFour(H.BitCount == 4) {}

  void Run() {
    for (;;) {
      if (FIn.Left() == 0) {
        // A missing end-of-bitmap escape is forgiven once every row is there.
        if (FY >= FHeader.Height || (FY == FHeader.Height - 1 && FX == FHeader.Width)) return;
        FIn.Truncated(FIn.Position(), "RLE data");
      }
      const auto Pair = FIn.Bytes(2, "RLE data");
      if (Pair[0] > 0)
        Repeat(Pair[0], Pair[1]);
      else if (Pair[1] == 0)
        NextLine();
      else if (Pair[1] == 1)
        return;
      else if (Pair[1] == 2)
        Delta();
      else
        Absolute(Pair[1]);
    }
  }

private:
  std::uint8_t* Target(unsigned Count) {
    if (FY >= FHeader.Height) FIn.Fail("RLE data runs past the end of the image");
    if (FX + Count > FHeader.Width) FIn.Fail("RLE run runs past the end of the row");
    return FImage.Row(int(FHeader.TopDown ? FY : FHeader.Height - 1 - FY));
  }
  static void PutNibble(std::uint8_t* Row, std::int64_t X, unsigned Index) {
    std::uint8_t& Byte = Row[X / 2];
    Byte = X % 2 ? std::uint8_t((Byte & 0xF0) | Index) : std::uint8_t((Byte & 0x0F) | Index << 4);
  }
  void Repeat(unsigned Count, std::uint8_t Value) {
    std::uint8_t* Row = Target(Count);
    if (FFour)
      for (unsigned I = 0; I < Count; ++I) PutNibble(Row, FX + I, I % 2 ? Value & 15 : Value >> 4);
    else
      std::memset(Row + FX, Value, Count);
    FX += Count;
  }
  void Absolute(unsigned Count) {
    const auto Run = FIn.Bytes(FFour ? (Count + 1) / 2 : Count, "RLE data");
    // Absolute runs are padded to a 16-bit boundary.
    if (Run.size() % 2) FIn.Skip(1, "RLE data");
    std::uint8_t* Row = Target(Count);
    if (FFour)
      for (unsigned I = 0; I < Count; ++I) PutNibble(Row, FX + I, I % 2 ? Run[I / 2] & 15 : Run[I / 2] >> 4);
    else
      std::memcpy(Row + FX, Run.data(), Count);
    FX += Count;
  }
  void NextLine() {
    FX = 0;
    ++FY;
  }
  void Delta() {
    const auto Move = FIn.Bytes(2, "RLE data");
    FX += Move[0];
    FY += Move[1];
  }

  TByteReader& FIn;
  const THeader& FHeader;
  TDib& FImage;
  const bool FFour;
  // 64 bits: escapes can move past the image many times over before a write is refused.
  std::int64_t FX = 0, FY = 0;
};

TDib ReadRle(TByteReader& In, const THeader& H, std::vector<TRGBQuad> Palette) {
  TDib Image = MakeDib(int(H.Width), int(H.Height), H.BitCount == 4 ? pf4bit : pf8bit, In.Source());
  const std::uint8_t Background = DarkestIndex(Palette);
  const std::size_t RowBytes = std::size_t((H.Width * H.BitCount + 7) / 8);
  for (int Y = 0; Y < Image.Height && RowBytes > 0; ++Y)
    std::memset(Image.Row(Y), H.BitCount == 4 ? Background * 0x11 : Background, RowBytes);
  Image.Palette = std::move(Palette);
  TRleDecoder(In, H, Image).Run();
  return Image;
}

// The colour table to write: never empty, since a count of 0 in the file
// would promise a full one.
std::vector<TRGBQuad> FilePalette(const TDib& Image) {
  if (!IsIndexed(Image.Format)) return {};
  std::vector<TRGBQuad> Palette = Image.Palette;
  Palette.resize(std::clamp<std::size_t>(Palette.size(), 1, std::size_t(1) << BitsPerPixel(Image.Format)));
  return Palette;
}

// The INFO header, extended to V4 for the alpha mask of pf32bit.
void WriteInfoHeader(TByteWriter& Out, const TDib& Image, std::uint32_t PixelBytes, std::uint32_t Colours) {
  const bool Alpha = Image.Format == pf32bit;
  Out.U32(Alpha ? V4HeaderSize : InfoHeaderSize);
  Out.U32(std::uint32_t(Image.Width));
  Out.U32(std::uint32_t(Image.Height));  // positive: bottom-up
  Out.U16(1);                             // planes
  Out.U16(std::uint16_t(BitsPerPixel(Image.Format)));
  Out.U32(Alpha || Image.Format == pf16bit ? BI_BITFIELDS : BI_RGB);
  for (const std::uint32_t Field : {PixelBytes, std::uint32_t(PixelsPerMetre), std::uint32_t(PixelsPerMetre), Colours, 0u})
    Out.U32(Field);
  if (!Alpha) return;
  for (const std::uint32_t Field : {MasksBgra.Red, MasksBgra.Green, MasksBgra.Blue, MasksBgra.Alpha, LCS_sRGB})
    Out.U32(Field);
  Out.Zeros(V4HeaderSize - InfoHeaderSize - 20);  // end points and gamma, unused with sRGB
}

}  // namespace

std::uint64_t BmpExtent(std::span<const std::uint8_t> Head, std::uint64_t FileSize, const std::string& Name) {
  // The same checks as ReadBmp's, in the same order, on the headers alone:
  // they fit in the head of any file longer than it.
  TByteReader In = Reader(Head, Name);
  const THeader H = ReadHeaders(In);
  CheckHeader(H, In);
  CheckImageSize(H.Width, H.Height, Name);
  if (H.PixelOffset >= FileSize) return FileSize;
  const std::uint64_t Left = FileSize - H.PixelOffset;
  std::uint64_t Pixels = 0;
  if (H.Compression == BI_RLE4 || H.Compression == BI_RLE8) {
    // An RLE stream has no length of its own. An encoder spends at most two
    // bytes on a pixel's run and four on a move past a pixel, two on each
    // row's end and two on the bitmap's: more than that is no picture's.
    // (The sides are below 2^31 each, so this cannot overflow.)
    const std::uint64_t Width = std::uint64_t(H.Width), Height = std::uint64_t(H.Height);
    Pixels = 4 * Width * Height + 2 * Height + 2;
  } else if (const std::uint64_t Stride = BytesPerScanline(H.Width, int(H.BitCount)); H.Height > 0 && Stride > 0) {
    // As ReadUncompressed takes them: the last row without its padding.
    if (std::uint64_t(H.Height - 1) > Left / Stride) return FileSize;
    Pixels = std::uint64_t(H.Height - 1) * Stride + std::uint64_t((H.Width * H.BitCount + 7) / 8);
  }
  return H.PixelOffset + std::min(Pixels, Left);
}

TDib ReadBmp(std::span<const std::uint8_t> Data, const std::string& Name) {
  TByteReader In = Reader(Data, Name);
  const THeader H = ReadHeaders(In);
  CheckHeader(H, In);
  CheckImageSize(H.Width, H.Height, Name);
  ChargeFormPixels(H.Width, H.Height, Name);
  std::vector<TRGBQuad> Palette = H.BitCount <= 8 ? ReadPalette(In, H) : std::vector<TRGBQuad>{};
  if (H.PixelOffset > In.Size()) In.Fail("pixel data offset past the end of the file");
  In.Seek(H.PixelOffset);
  if (H.Compression == BI_RLE4 || H.Compression == BI_RLE8) return ReadRle(In, H, std::move(Palette));
  return ReadUncompressed(In, H, std::move(Palette));
}

// Every format is written as itself, bottom-up. pf32bit gets a V4 header
// with an alpha mask so that its alpha survives; pfDevice has no alpha worth
// keeping and is written as plain 32-bit BI_RGB, which reads back as pf32bit.
namespace {

struct TBmpLayout {
  std::vector<std::uint8_t> Header;  // file header, info header, masks, palette
  std::uint64_t Stride = 0;
  std::size_t RowBytes = 0;
};

TBmpLayout BmpLayout(const TDib& Image) {
  if (Image.Format == pfCustom || unsigned(Image.Format) > pfCustom)
    throw EInvalidGraphicOperation("bitmap: cannot write a " + std::string(PixelFormatName(Image.Format)) +
                                   " bitmap as BMP");
  const int Bits = BitsPerPixel(Image.Format);
  const bool Alpha = Image.Format == pf32bit;
  const std::vector<TRGBQuad> Palette = FilePalette(Image);
  const std::uint64_t MaskBytes = Image.Format == pf16bit ? 12 : 0;
  const std::uint64_t Offset =
      FileHeaderSize + (Alpha ? V4HeaderSize : InfoHeaderSize) + MaskBytes + 4 * Palette.size();
  const std::uint64_t Stride = BytesPerScanline(Image.Width, Bits);
  const std::uint64_t PixelBytes = Stride * std::uint64_t(Image.Height);
  if (Offset + PixelBytes > UINT32_MAX) throw EInvalidGraphicOperation("bitmap: too large for a BMP file");

  TByteWriter Out(Offset);
  Out.U16(0x4D42)  // "BM"
      .U32(std::uint32_t(Offset + PixelBytes))
      .U32(0)  // reserved
      .U32(std::uint32_t(Offset));
  WriteInfoHeader(Out, Image, std::uint32_t(PixelBytes), std::uint32_t(Palette.size()));
  if (MaskBytes)
    for (const std::uint32_t Mask : {Masks565.Red, Masks565.Green, Masks565.Blue}) Out.U32(Mask);
  for (const TRGBQuad& Entry : Palette)
    for (const std::uint8_t Byte : {Entry.rgbBlue, Entry.rgbGreen, Entry.rgbRed, std::uint8_t(0)}) Out.U8(Byte);
  return {Out.Take(), Stride, (std::size_t(Image.Width) * Bits + 7) / 8};
}

}  // namespace

std::vector<std::uint8_t> WriteBmp(const TDib& Image) {
  const TBmpLayout Layout = BmpLayout(Image);
  TByteWriter Out(Layout.Header.size() + Layout.Stride * std::uint64_t(Image.Height));
  Out.Bytes(Layout.Header);
  // Rows go bottom-up; padding is written as zeros whatever the image holds.
  for (int Y = Image.Height - 1; Y >= 0; --Y) {
    Out.Bytes({Image.Row(Y), Layout.RowBytes});
    Out.Zeros(Layout.Stride - Layout.RowBytes);
  }
  return Out.Take();
}

void WriteBmp(const TDib& Image, std::ostream& Out) {
  const TBmpLayout Layout = BmpLayout(Image);
  Out.write(reinterpret_cast<const char*>(Layout.Header.data()), std::streamsize(Layout.Header.size()));
  const char Zeros[4] = {};
  for (int Y = Image.Height - 1; Y >= 0 && Out; --Y) {
    Out.write(reinterpret_cast<const char*>(Image.Row(Y)), std::streamsize(Layout.RowBytes));
    Out.write(Zeros, std::streamsize(Layout.Stride - Layout.RowBytes));
  }
}

}  // namespace Graphics::Detail
