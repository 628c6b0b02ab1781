#include "Dib.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <new>
#include <unordered_map>

namespace Graphics {

namespace {
TImageLimits GLimits;
}

const char* PixelFormatName(TPixelFormat Format) {
  static const char* const Names[] = {"pfDevice", "pf1bit",  "pf4bit",  "pf8bit",  "pf15bit",
                                      "pf16bit",  "pf24bit", "pf32bit", "pfCustom"};
  return unsigned(Format) <= pfCustom ? Names[Format] : "invalid pixel format";
}

std::size_t BytesPerScanline(std::int64_t Width, int BitsPerPixel) {
  if (Width < 0 || BitsPerPixel <= 0) return 0;
  // Width fits in 63 bits and BitsPerPixel is at most 32, so the product
  // cannot overflow an unsigned 64-bit value.
  const std::uint64_t Bits = std::uint64_t(Width) * std::uint64_t(BitsPerPixel);
  const std::uint64_t Bytes = (Bits + 31) / 32 * 4;
  if (Bytes > std::numeric_limits<std::size_t>::max() / 2) return 0;
  return std::size_t(Bytes);
}

TImageLimits GetImageLimits() { return GLimits; }
void SetImageLimits(TImageLimits Limits) { GLimits = Limits; }

namespace {
TSaveOptions GSaveOptions;
}  // namespace

TSaveOptions GetSaveOptions() { return GSaveOptions; }
void SetSaveOptions(TSaveOptions Options) {
  if (Options.JpegQuality < 1 || Options.JpegQuality > 100)
    throw EInvalidGraphic("a JPEG quality of " + std::to_string(Options.JpegQuality) + ", not 1 to 100");
  GSaveOptions = Options;
}

}  // namespace Graphics

namespace Graphics::Detail {

bool IsIndexed(TPixelFormat Format) { return Format == pf1bit || Format == pf4bit || Format == pf8bit; }

std::vector<TRGBQuad> PaddedPalette(const TDib& Image) {
  const int Bits = BitsPerPixel(Image.Format);
  const unsigned Mask = (1u << Bits) - 1;
  unsigned Highest = 0;
  for (int Y = 0; Y < Image.Height; ++Y) {
    const std::uint8_t* Row = Image.Row(Y);
    for (int X = 0; X < Image.Width; ++X) {
      const std::size_t Bit = std::size_t(X) * Bits;
      Highest = std::max(Highest, unsigned(Row[Bit / 8] >> (8 - Bits - Bit % 8)) & Mask);
    }
  }
  std::vector<TRGBQuad> Palette(Image.Palette.begin(), Image.Palette.begin() + std::min<std::size_t>(Image.Palette.size(), Mask + 1));
  if (Palette.size() <= Highest) Palette.resize(Highest + 1, TRGBQuad{});
  return Palette;
}

Os::TBitmapImage NativeImage(const TDib& Image) {
  static_assert(sizeof(TRGBQuad) == sizeof(std::uint32_t));
  Os::TBitmapImage Native;
  Native.Width = Image.Width;
  Native.Height = Image.Height;
  Native.BitCount = BitsPerPixel(Image.Format);
  Native.Rgb565 = Image.Format == pf16bit;
  Native.Stride = Image.Stride;
  Native.Bits = Image.Bits.data();
  Native.Palette = {reinterpret_cast<const std::uint32_t*>(Image.Palette.data()), Image.Palette.size()};
  return Native;
}

std::uint8_t Widen(unsigned Value, int Bits) {
  // Channels of 1 to 16 bits; wider ones would overflow the product.
  if (Bits <= 0 || Bits > 16) return 0;
  const unsigned Max = (1u << Bits) - 1;
  return std::uint8_t((std::min(Value, Max) * 255 + Max / 2) / Max);
}

static constexpr TRGBQuad Quad(std::uint8_t R, std::uint8_t G, std::uint8_t B) { return {B, G, R, 0}; }

std::vector<TRGBQuad> DefaultPalette(TPixelFormat Format) {
  static const std::array<TRGBQuad, 16> Standard16 = {
      Quad(0, 0, 0),       Quad(128, 0, 0),   Quad(0, 128, 0),   Quad(128, 128, 0),
      Quad(0, 0, 128),     Quad(128, 0, 128), Quad(0, 128, 128), Quad(192, 192, 192),
      Quad(128, 128, 128), Quad(255, 0, 0),   Quad(0, 255, 0),   Quad(255, 255, 0),
      Quad(0, 0, 255),     Quad(255, 0, 255), Quad(0, 255, 255), Quad(255, 255, 255)};
  switch (Format) {
    case pf1bit:
      return {Quad(0, 0, 0), Quad(255, 255, 255)};
    case pf4bit:
      return {Standard16.begin(), Standard16.end()};
    case pf8bit: {
      std::vector<TRGBQuad> Palette(Standard16.begin(), Standard16.end());
      for (int R = 0; R < 6; ++R)
        for (int G = 0; G < 6; ++G)
          for (int B = 0; B < 6; ++B) Palette.push_back(Quad(R * 51, G * 51, B * 51));
      for (int I = 1; I <= 24; ++I) {
        const auto Grey = std::uint8_t(I * 255 / 25);
        Palette.push_back(Quad(Grey, Grey, Grey));
      }
      return Palette;
    }
    default:
      return {};
  }
}

std::vector<TRGBQuad> GreyPalette() {
  std::vector<TRGBQuad> Palette(256);
  for (int I = 0; I < 256; ++I) Palette[I] = Quad(std::uint8_t(I), std::uint8_t(I), std::uint8_t(I));
  return Palette;
}

void CheckImageSize(std::int64_t Width, std::int64_t Height, const std::string& What) {
  const TImageLimits Limits = GetImageLimits();
  if (Width < 0 || Height < 0)
    throw EInvalidGraphic(What + ": negative size " + std::to_string(Width) + " x " + std::to_string(Height));
  if (Width > Limits.MaxSide || Height > Limits.MaxSide)
    throw EInvalidGraphic(What + ": " + std::to_string(Width) + " x " + std::to_string(Height) +
                          " pixels is larger than the limit of " + std::to_string(Limits.MaxSide) +
                          " pixels per side");
  if (std::uint64_t(Width) * std::uint64_t(Height) > Limits.MaxPixels)
    throw EInvalidGraphic(What + ": " + std::to_string(Width) + " x " + std::to_string(Height) +
                          " pixels is more than the limit of " + std::to_string(Limits.MaxPixels) +
                          " pixels");
}

TDib MakeUnfilledDib(int Width, int Height, TPixelFormat Format, const std::string& What) {
  if (Format == pfCustom) throw EInvalidGraphicOperation(What + ": pfCustom cannot be created");
  if (unsigned(Format) > pfCustom) throw EInvalidGraphicOperation(What + ": invalid pixel format");
  CheckImageSize(Width, Height, What);
  TDib Image;
  Image.Width = Width;
  Image.Height = Height;
  Image.Format = Format;
  Image.Palette = DefaultPalette(Format);
  Image.Stride = BytesPerScanline(Width, BitsPerPixel(Format));
  try {
    Image.Bits.resize(Image.Stride * std::size_t(Height));
  } catch (const std::bad_alloc&) {
    throw EOutOfResources(What + ": out of memory for " + std::to_string(Width) + " x " +
                          std::to_string(Height) + " pixels");
  }
  return Image;
}

TDib MakeDib(int Width, int Height, TPixelFormat Format, const std::string& What) {
  TDib Image = MakeUnfilledDib(Width, Height, Format, What);
  std::fill(Image.Bits.begin(), Image.Bits.end(), 0);
  // Opaque black: the fourth byte of a 32-bit pixel is alpha.
  if (Format == pf32bit || Format == pfDevice)
    for (std::size_t I = 3; I < Image.Bits.size(); I += 4) Image.Bits[I] = 255;
  return Image;
}

void DecodeRow(const TDib& Image, int Y, TRGBQuad* Out) {
  const std::uint8_t* Row = Image.Row(Y);
  const int W = Image.Width;
  const auto Entry = [&](unsigned Index) {
    TRGBQuad Colour = Index < Image.Palette.size() ? Image.Palette[Index] : TRGBQuad{};
    Colour.rgbReserved = 255;
    return Colour;
  };
  switch (Image.Format) {
    case pf1bit:
      for (int X = 0; X < W; ++X) Out[X] = Entry((Row[X >> 3] >> (7 - (X & 7))) & 1);
      break;
    case pf4bit:
      for (int X = 0; X < W; ++X) Out[X] = Entry((Row[X >> 1] >> ((X & 1) ? 0 : 4)) & 15);
      break;
    case pf8bit:
      for (int X = 0; X < W; ++X) Out[X] = Entry(Row[X]);
      break;
    case pf15bit:
    case pf16bit: {
      const bool Green6 = Image.Format == pf16bit;
      for (int X = 0; X < W; ++X) {
        const unsigned V = Row[2 * X] | Row[2 * X + 1] << 8;
        Out[X] = {Widen(V & 31, 5),
                  Green6 ? Widen((V >> 5) & 63, 6) : Widen((V >> 5) & 31, 5),
                  Green6 ? Widen(V >> 11, 5) : Widen((V >> 10) & 31, 5), 255};
      }
      break;
    }
    case pf24bit:
      for (int X = 0; X < W; ++X) Out[X] = {Row[3 * X], Row[3 * X + 1], Row[3 * X + 2], 255};
      break;
    case pf32bit:
    case pfDevice:
      std::memcpy(Out, Row, std::size_t(W) * 4);
      break;
    case pfCustom:
      break;
  }
}

TNearestColor::TNearestColor(const std::vector<TRGBQuad>& Palette)
    : FPalette(Palette), FKeys(4096, 0xFFFFFFFFu), FValues(4096, 0) {}

std::uint8_t TNearestColor::operator()(TRGBQuad Colour) {
  const std::uint32_t Key = Colour.rgbBlue | Colour.rgbGreen << 8 | Colour.rgbRed << 16;
  const std::uint32_t Slot = (Key * 2654435761u) >> 20;
  if (FKeys[Slot] == Key) return FValues[Slot];
  int Best = 0;
  int BestDistance = std::numeric_limits<int>::max();
  for (std::size_t I = 0; I < FPalette.size() && I < 256; ++I) {
    const int DB = FPalette[I].rgbBlue - Colour.rgbBlue;
    const int DG = FPalette[I].rgbGreen - Colour.rgbGreen;
    const int DR = FPalette[I].rgbRed - Colour.rgbRed;
    const int Distance = DB * DB + DG * DG + DR * DR;
    if (Distance < BestDistance) {
      BestDistance = Distance;
      Best = int(I);
      if (Distance == 0) break;
    }
  }
  FKeys[Slot] = Key;
  FValues[Slot] = std::uint8_t(Best);
  return std::uint8_t(Best);
}

static unsigned Narrow(std::uint8_t Value, unsigned Max) { return (Value * Max + 127) / 255; }

void EncodeRow(TDib& Image, int Y, const TRGBQuad* In, TNearestColor* Nearest) {
  std::uint8_t* Row = Image.Row(Y);
  const int W = Image.Width;
  switch (Image.Format) {
    case pf1bit:
      std::memset(Row, 0, Image.Stride);
      for (int X = 0; X < W; ++X) Row[X >> 3] |= std::uint8_t(((*Nearest)(In[X]) & 1) << (7 - (X & 7)));
      break;
    case pf4bit:
      std::memset(Row, 0, Image.Stride);
      for (int X = 0; X < W; ++X) Row[X >> 1] |= std::uint8_t(((*Nearest)(In[X]) & 15) << ((X & 1) ? 0 : 4));
      break;
    case pf8bit:
      for (int X = 0; X < W; ++X) Row[X] = (*Nearest)(In[X]);
      break;
    case pf15bit:
    case pf16bit: {
      const bool Green6 = Image.Format == pf16bit;
      for (int X = 0; X < W; ++X) {
        const unsigned B = Narrow(In[X].rgbBlue, 31);
        const unsigned V = Green6 ? Narrow(In[X].rgbRed, 31) << 11 | Narrow(In[X].rgbGreen, 63) << 5 | B
                                  : Narrow(In[X].rgbRed, 31) << 10 | Narrow(In[X].rgbGreen, 31) << 5 | B;
        Row[2 * X] = std::uint8_t(V);
        Row[2 * X + 1] = std::uint8_t(V >> 8);
      }
      break;
    }
    case pf24bit:
      for (int X = 0; X < W; ++X) {
        Row[3 * X] = In[X].rgbBlue;
        Row[3 * X + 1] = In[X].rgbGreen;
        Row[3 * X + 2] = In[X].rgbRed;
      }
      break;
    case pf32bit:
    case pfDevice:
      std::memcpy(Row, In, std::size_t(W) * 4);
      break;
    case pfCustom:
      break;
  }
}

namespace {

// The palette an indexed target gets: the colours the picture uses when
// there are few enough of them, so the conversion is exact; otherwise the
// source's own palette when it fits, else the target's default palette.
std::vector<TRGBQuad> TargetPalette(const TDib& Source, TPixelFormat Format, std::vector<TRGBQuad>& Line) {
  const std::size_t Capacity = std::size_t(1) << BitsPerPixel(Format);
  if (IsIndexed(Source.Format) && Source.Palette.size() <= Capacity) {
    std::vector<TRGBQuad> Palette = Source.Palette;
    Palette.resize(Capacity);
    return Palette;
  }
  std::vector<TRGBQuad> Used;
  std::unordered_map<std::uint32_t, bool> Seen;
  for (int Y = 0; Y < Source.Height && Used.size() <= Capacity; ++Y) {
    DecodeRow(Source, Y, Line.data());
    for (int X = 0; X < Source.Width && Used.size() <= Capacity; ++X) {
      TRGBQuad Colour = Line[X];
      Colour.rgbReserved = 0;
      std::uint32_t Key;
      std::memcpy(&Key, &Colour, 4);
      if (Seen.emplace(Key, true).second) Used.push_back(Colour);
    }
  }
  if (Used.size() <= Capacity) {
    std::sort(Used.begin(), Used.end(), [](TRGBQuad A, TRGBQuad B) {
      return A.rgbRed + A.rgbGreen + A.rgbBlue < B.rgbRed + B.rgbGreen + B.rgbBlue;
    });
    Used.resize(Capacity);
    return Used;
  }
  return DefaultPalette(Format);
}

// The common case of a palette picture brought to 24-bit: one table look-up
// per pixel, straight into the target row.
void Convert8To24(const TDib& Source, TDib& Target) {
  // Four bytes are stored per pixel, the fourth overwritten by the next
  // pixel: one store instead of three.
  std::array<std::uint32_t, 256> Table{};
  for (std::size_t I = 0; I < Source.Palette.size() && I < 256; ++I)
    Table[I] = Source.Palette[I].rgbBlue | Source.Palette[I].rgbGreen << 8 | Source.Palette[I].rgbRed << 16;
  const std::size_t Width = std::size_t(Source.Width);
  for (int Y = 0; Y < Source.Height; ++Y) {
    const std::uint8_t* In = Source.Row(Y);
    std::uint8_t* Out = Target.Row(Y);
    for (std::size_t X = 0; X + 1 < Width; ++X) std::memcpy(Out + 3 * X, &Table[In[X]], 4);
    std::memcpy(Out + 3 * (Width - 1), &Table[In[Width - 1]], 3);
    std::memset(Out + 3 * Width, 0, Target.Stride - 3 * Width);
  }
}

}  // namespace

TDib Convert(const TDib& Source, TPixelFormat Format) {
  TDib Target = MakeUnfilledDib(Source.Width, Source.Height, Format, "bitmap");
  if (Source.Empty()) return Target;
  if (Source.Format == pf8bit && Format == pf24bit) {
    Convert8To24(Source, Target);
    return Target;
  }
  std::vector<TRGBQuad> Line(std::size_t(Source.Width));
  if (IsIndexed(Format)) Target.Palette = TargetPalette(Source, Format, Line);
  TNearestColor Nearest(Target.Palette);
  const std::size_t Used = (std::size_t(Source.Width) * std::size_t(BitsPerPixel(Format)) + 7) / 8;
  for (int Y = 0; Y < Source.Height; ++Y) {
    DecodeRow(Source, Y, Line.data());
    std::memset(Target.Row(Y) + Used, 0, Target.Stride - Used);
    EncodeRow(Target, Y, Line.data(), &Nearest);
  }
  return Target;
}

TDib Resize(const TDib& Source, int Width, int Height) {
  TDib Target = MakeDib(Width, Height, Source.Format, "bitmap");
  if (IsIndexed(Source.Format)) Target.Palette = Source.Palette;
  TNearestColor Nearest(Target.Palette);
  std::vector<TRGBQuad> Line(std::size_t(std::max(Width, Source.Width)), TRGBQuad{0, 0, 0, 255});
  const int Rows = std::min(Height, Source.Height);
  const TRGBQuad Black{0, 0, 0, 255};
  for (int Y = 0; Y < Height; ++Y) {
    if (Y < Rows) {
      DecodeRow(Source, Y, Line.data());
      std::fill(Line.begin() + std::min(Source.Width, Width), Line.end(), Black);
    } else {
      std::fill(Line.begin(), Line.end(), Black);
    }
    EncodeRow(Target, Y, Line.data(), &Nearest);
  }
  return Target;
}

}  // namespace Graphics::Detail
