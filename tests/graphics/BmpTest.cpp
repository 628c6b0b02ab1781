#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>

#include "../../fuzz/FuzzTargets.hpp"
#include "Graphics.hpp"
#include "Graphics/Codecs.hpp"
#include "common/Bytes.hpp"
#include "common/Seeds.hpp"

using namespace Graphics;
using namespace Graphics::Detail;

namespace {

using TestBytes::TBytes;

// A BMP file described by its fields; each test changes only what it is about.
struct TFields {
  std::uint32_t HeaderSize = 40;
  std::int32_t Width = 2, Height = 2;
  std::uint16_t Planes = 1, Bits = 8;
  std::uint32_t Compression = 0, ColorsUsed = 0;
  std::vector<std::uint32_t> Masks = {};                       // in the header when it has room, else after it
  std::vector<std::uint32_t> Palette = {0x0000FF, 0xFF0000};   // 0x00BBGGRR, as TColor
  std::vector<std::uint8_t> Pixels = {0, 1, 0, 0, 1, 0, 0, 0};  // bottom row first
  std::optional<std::uint32_t> Offset = {};                    // by default, where the pixels start
  std::size_t Cut = 0;                                         // bytes cut off the end
};

std::vector<std::uint8_t> Build(const TFields& S) {
  TBytes Header;
  if (S.HeaderSize == 12) {
    Header.U32(12)              // biSize: OS/2 1.x
        .U16(S.Width)           // 16-bit width
        .U16(S.Height)          // 16-bit height, always bottom-up
        .U16(S.Planes)          // planes
        .U16(S.Bits);           // bits per pixel
  } else {
    Header.U32(S.HeaderSize)    // biSize
        .U32(S.Width)           // biWidth
        .U32(S.Height)          // biHeight: negative means top-down
        .U16(S.Planes)          // biPlanes
        .U16(S.Bits)            // biBitCount
        .U32(S.Compression)     // biCompression
        .U32(0)                 // biSizeImage: may be 0 when uncompressed
        .U32(2835).U32(2835)    // resolution, pixels per metre
        .U32(S.ColorsUsed)      // biClrUsed: 0 means as many as the depth allows
        .U32(0);                // biClrImportant
  }
  const bool MasksInside = S.HeaderSize >= 52 && S.HeaderSize != 64;  // 64 is OS/2 2.x
  if (MasksInside)
    for (std::uint32_t Mask : S.Masks) Header.U32(Mask);
  Header.Data.resize(S.HeaderSize);  // shortens OS/2 2.x headers, zero-fills V4 and V5
  if (!MasksInside)
    for (std::uint32_t Mask : S.Masks) Header.U32(Mask);
  for (std::uint32_t Entry : S.Palette) {
    Header.Raw({std::uint8_t(Entry >> 16), std::uint8_t(Entry >> 8), std::uint8_t(Entry)});  // blue, green, red
    if (S.HeaderSize != 12) Header.Raw({0});
  }
  const std::uint32_t Offset = S.Offset.value_or(std::uint32_t(14 + Header.Data.size()));
  TBytes File;
  File.Raw({'B', 'M'})  // signature
      .U32(0)           // bfSize: often wrong, so left wrong here
      .U32(0)           // reserved
      .U32(Offset)      // bfOffBits
      .Raw(Header.Data)
      .Raw(S.Pixels);
  File.Data.resize(File.Data.size() - std::min(S.Cut, File.Data.size()));
  return File.Data;
}

// Pixel (X, Y) from the top as 0xAARRGGBB.
std::uint32_t Argb(const TDib& Image, int X, int Y) {
  std::vector<TRGBQuad> Row(std::size_t(Image.Width));
  DecodeRow(Image, Y, Row.data());
  const TRGBQuad P = Row[std::size_t(X)];
  return std::uint32_t(P.rgbReserved) << 24 | P.rgbRed << 16 | P.rgbGreen << 8 | P.rgbBlue;
}

unsigned IndexAt(const TDib& Image, int X, int Y) {
  const std::uint8_t* Row = Image.Row(Y);
  return Image.Format == pf4bit ? (Row[X / 2] >> (X % 2 ? 0 : 4)) & 15 : Row[X];
}

std::string FaultOf(const std::vector<std::uint8_t>& File,
                    TDib (*Read)(std::span<const std::uint8_t>, const std::string&) = ReadBmp) {
  try {
    Read(File, "x.bmp");
  } catch (const EInvalidGraphic& E) {
    return E.what();
  }
  return "(accepted)";
}

// The same, read as a picture file is: as much as its head says the picture
// can need.
std::string FileFaultOf(const std::vector<std::uint8_t>& File) {
  const std::span<const std::uint8_t> Bytes(File);
  try {
    const std::uint64_t Extent =
        PictureExtent(Bytes.first(std::min(Bytes.size(), PictureHeadBytes)), Bytes.size(), "x.bmp");
    if (Extent > Bytes.size()) return "(past the end of the file)";
    ReadImage(Bytes.first(std::size_t(Extent)), "x.bmp");
  } catch (const EInvalidGraphic& E) {
    return E.what();
  }
  return "(accepted)";
}

constexpr std::uint32_t Red = 0xFFFF0000, Blue = 0xFF0000FF;

}  // namespace

TEST(Bmp, ReadsEveryHeaderKind) {
  // Each file holds blue, red over red, blue (top row first) in its own way.
  const struct { const char* What; TFields Fields; TPixelFormat Format; } Cases[] = {
      {"OS/2 1.x, 1 bit", {.HeaderSize = 12, .Bits = 1, .Pixels = {0x40, 0, 0, 0, 0x80, 0, 0, 0}}, pf1bit},
      // No count field: the pixel offset says that the table has two entries.
      {"OS/2 2.x short, 4 bits", {.HeaderSize = 16, .Bits = 4, .Pixels = {0x01, 0, 0, 0, 0x10, 0, 0, 0}}, pf4bit},
      {"OS/2 2.x full, 8 bits", {.HeaderSize = 64, .ColorsUsed = 2}, pf8bit},
      {"INFO, 24 bits, last row unpadded",
       {.Bits = 24, .Palette = {}, .Pixels = {0, 0, 255, 255, 0, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0}, .Cut = 2},
       pf24bit},
      {"INFO with masks after it, 5-6-5",
       {.Bits = 16, .Compression = 3, .Masks = {0xF800, 0x07E0, 0x001F}, .Palette = {},
        .Pixels = {0x00, 0xF8, 0x1F, 0x00, 0x1F, 0x00, 0x00, 0xF8}},
       pf16bit},
      {"52-byte header with masks",
       {.HeaderSize = 52, .Bits = 32, .Compression = 3, .Masks = {0xFF0000, 0xFF00, 0xFF}, .Palette = {},
        .Pixels = {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 0}},
       pf32bit},
      {"V5, 32 bits, padding byte not alpha",
       {.HeaderSize = 124, .Bits = 32, .Palette = {}, .Pixels = {0, 0, 255, 7, 255, 0, 0, 7, 255, 0, 0, 7, 0, 0, 255, 7}},
       pf32bit},
      {"INFO, top-down", {.Height = -2, .Pixels = {1, 0, 0, 0, 0, 1, 0, 0}}, pf8bit},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.What);
    const TDib Image = ReadBmp(Build(Case.Fields), "x.bmp");
    EXPECT_EQ(Image.Format, Case.Format);
    ASSERT_EQ(Image.Width, 2);
    ASSERT_EQ(Image.Height, 2);
    EXPECT_EQ(Argb(Image, 0, 0), Blue);
    EXPECT_EQ(Argb(Image, 1, 0), Red);
    EXPECT_EQ(Argb(Image, 0, 1), Red);
    EXPECT_EQ(Argb(Image, 1, 1), Blue);
    // Entries the file leaves out are black, and every index stays valid.
    if (IsIndexed(Image.Format)) {
      EXPECT_EQ(Image.Palette.size(), std::size_t(1) << BitsPerPixel(Image.Format));
      if (Image.Palette.size() > 2) {
        EXPECT_EQ(Image.Palette[2], TRGBQuad{});
      }
    }
  }
}

TEST(Bmp, BitFieldChannelsWidenAndLayoutsPickTheFormat) {
  const struct { std::uint16_t Bits; std::uint32_t Compression; std::vector<std::uint32_t> Masks;
                 std::uint32_t Pixel; TPixelFormat Format; std::uint32_t Expected; } Cases[] = {
      {16, 0, {}, 0x7FFF, pf15bit, 0xFFFFFFFF},                          // 31 -> 255
      {16, 0, {}, 0x4210, pf15bit, 0xFF848484},                          // 16 -> 132
      {16, 3, {0xF800, 0x07E0, 0x001F}, 0x8400, pf16bit, 0xFF848200},    // 16 -> 132, 6-bit 32 -> 130
      {16, 3, {0xF800, 0x07E0, 0x001F}, 0x07E0, pf16bit, 0xFF00FF00},    // 6-bit 63 -> 255
      {16, 6, {0x0F00, 0x00F0, 0x000F, 0xF000}, 0x8F30, pf32bit, 0x88FF3300},  // 4-4-4-4 keeps alpha
      {32, 0, {}, 0x00123456, pf32bit, 0xFF123456},                      // no alpha mask: opaque
      {32, 3, {0xFF0000, 0xFF00, 0xFF}, 0x80123456, pf32bit, 0xFF123456},
      {32, 6, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, 0x80123456, pf32bit, 0x80123456},
      {32, 3, {0x3FF00000, 0x000FFC00, 0x000003FF}, 0x3FFE1000, pf24bit, 0xFFFFE000},  // 10-10-10: 900 -> 224
      {32, 3, {0xFF, 0xFF00, 0xFF0000}, 0x00123456, pf24bit, 0xFF563412},              // red and blue swapped
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(testing::Message() << std::hex << Case.Pixel);
    TBytes Pixel;
    if (Case.Bits == 16)
      Pixel.U16(Case.Pixel).U16(0);  // padded to 4 bytes
    else
      Pixel.U32(Case.Pixel);
    const TDib Image = ReadBmp(Build({.Width = 1, .Height = 1, .Bits = Case.Bits, .Compression = Case.Compression,
                                      .Masks = Case.Masks, .Palette = {}, .Pixels = Pixel.Data}),
                               "x.bmp");
    EXPECT_EQ(Image.Format, Case.Format);
    EXPECT_EQ(Argb(Image, 0, 0), Case.Expected);
  }
}

TEST(Bmp, RunLengthEscapes) {
  // Greys from white down to black at index 15, the darkest entry, which
  // pixels skipped by the escapes take.
  std::vector<std::uint32_t> Greys;
  for (std::uint32_t I = 0; I < 16; ++I) Greys.push_back((15 - I) * 0x111111);
  const struct { std::uint16_t Bits; int Width, Height; std::vector<std::uint8_t> Stream; std::vector<std::string> Rows; }
      Cases[] = {
          {8, 6, 4,
           {3, 1,                 // run of three 1s
            0, 3, 2, 1, 2, 0,     // absolute 2 1 2, padded to 16 bits
            0, 0,                 // end of line
            1, 2, 0, 0,           // one 2, end of line with the rest of the row skipped
            0, 2, 3, 1,           // delta: 3 right, 1 up
            2, 1,                 // two 1s
            0, 1},                // end of bitmap
           {"FFF11F", "FFFFFF", "2FFFFF", "111212"}},
          {4, 8, 3,
           {5, 0x12,                       // 1 2 1 2 1: a run alternates its two nibbles
            0, 3, 0x34, 0x50,              // absolute 3 4 5, two bytes need no padding
            0, 0,                          // end of line
            0, 5, 0x67, 0x89, 0xA0, 0,     // absolute 6 7 8 9 A, three bytes padded to four
            0, 2, 1, 1,                    // delta: 1 right, 1 up
            2, 0xBC,                       // B C
            0, 1},                         // end of bitmap
           {"FFFFFFBC", "6789AFFF", "12121345"}},
          {8, 2, 1, {2, 5}, {"55"}},  // complete without an end of bitmap: forgiven
      };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(testing::Message() << "RLE" << Case.Bits);
    const TDib Image = ReadBmp(Build({.Width = Case.Width, .Height = Case.Height, .Bits = Case.Bits,
                                      .Compression = Case.Bits == 8 ? 1u : 2u, .Palette = Greys, .Pixels = Case.Stream}),
                               "x.bmp");
    EXPECT_EQ(Image.Format, Case.Bits == 8 ? pf8bit : pf4bit);
    for (int Y = 0; Y < Case.Height; ++Y) {
      std::string Row;
      for (int X = 0; X < Case.Width; ++X) Row += "0123456789ABCDEF"[IndexAt(Image, X, Y)];
      EXPECT_EQ(Row, Case.Rows[std::size_t(Y)]) << "row " << Y;
    }
  }
}

TEST(Bmp, WritesEachFormatAsItselfAndReadsItBack) {
  const struct { TPixelFormat Format; std::size_t PaletteSize; std::uint32_t Offset, HeaderSize, Bits, Compression; }
      Cases[] = {
          {pf1bit, 2, 62, 40, 1, 0},    {pf4bit, 16, 118, 40, 4, 0}, {pf8bit, 256, 1078, 40, 8, 0},
          {pf8bit, 5, 74, 40, 8, 0},    {pf15bit, 0, 54, 40, 16, 0}, {pf16bit, 0, 66, 40, 16, 3},
          {pf24bit, 0, 54, 40, 24, 0},  {pf32bit, 0, 122, 108, 32, 3}, {pfDevice, 0, 54, 40, 32, 0},
      };
  std::mt19937 Random(7);
  for (const auto& Case : Cases) {
    SCOPED_TRACE(PixelFormatName(Case.Format));
    TDib Image = MakeDib(7, 3, Case.Format);
    Image.Palette.resize(Case.PaletteSize);
    for (TRGBQuad& Entry : Image.Palette) Entry = {std::uint8_t(Random()), std::uint8_t(Random()), std::uint8_t(Random()), 0};
    const std::size_t RowBytes = (7 * std::size_t(BitsPerPixel(Case.Format)) + 7) / 8;
    for (int Y = 0; Y < 3; ++Y)
      for (std::size_t X = 0; X < RowBytes; ++X)
        // A device surface has no alpha worth keeping: its file says so.
        Image.Row(Y)[X] = Case.Format == pfDevice && X % 4 == 3 ? 255 : std::uint8_t(Random());

    const std::vector<std::uint8_t> File = WriteBmp(Image);
    const auto Field = [&](std::size_t At) {
      return std::uint32_t(File[At] | File[At + 1] << 8 | File[At + 2] << 16) | std::uint32_t(File[At + 3]) << 24;
    };
    EXPECT_EQ(std::size_t(Field(2)), File.size());
    EXPECT_EQ(Field(10), Case.Offset);
    EXPECT_EQ(Field(14), Case.HeaderSize);
    EXPECT_EQ(Field(22), 3u);  // bottom-up
    EXPECT_EQ(Field(28) & 0xFFFF, Case.Bits);
    EXPECT_EQ(Field(30), Case.Compression);
    EXPECT_EQ(std::size_t(Field(34)), 3 * Image.Stride);
    EXPECT_EQ(Field(38), 2835u);
    EXPECT_EQ(Field(46), Case.PaletteSize);

    const TDib Back = ReadBmp(File, "x.bmp");
    EXPECT_EQ(Back.Format, Case.Format == pfDevice ? pf32bit : Case.Format);
    Image.Palette.resize(Back.Palette.size());
    EXPECT_EQ(Back.Palette, Image.Palette);
    EXPECT_EQ(Back.Bits, Image.Bits);
  }
}

TEST(Bmp, MalformedFilesAreRefusedNamingTheFault) {
  const std::vector<std::uint32_t> Bgr = {0xFF0000, 0xFF00, 0xFF};
  const struct { std::vector<std::uint8_t> Bytes; const char* Fault; } Cases[] = {
      {{'B', 'M', 0, 0}, "offset 0: truncated file header"},
      {Build({.Cut = 40}), "offset 14: truncated bitmap header"},
      {[] { auto B = Build({}); B[1] = 'A'; return B; }(), "not a BMP file"},
      {Build({.HeaderSize = 100}), "unsupported header size 100"},
      {Build({.Width = -1}), "negative width"},
      {Build({.Height = INT_MIN}), "height out of range"},
      {Build({.Planes = 0}), "plane count 0 is not 1"},
      {Build({.Bits = 2}), "unsupported bit count 2"},
      {Build({.Compression = 4}), "unsupported compression 4 (JPEG)"},
      {Build({.HeaderSize = 64, .Compression = 3}), "unsupported compression 3 (Huffman 1D)"},
      {Build({.Bits = 4, .Compression = 1}), "RLE8 needs 8 bits per pixel"},
      {Build({.Bits = 24, .Compression = 3}), "bit fields need 16 or 32 bits per pixel"},
      {Build({.Bits = 32, .Compression = 3, .Palette = {}, .Pixels = {}}), "offset 54: truncated bit field masks"},
      {Build({.Bits = 32, .Compression = 3, .Masks = {0xFF0000, 0, 0xFF}}), "zero bit field mask"},
      {Build({.Bits = 32, .Compression = 3, .Masks = {0xFF0000, 0xFFFF00, 0xFF}}), "bit field masks overlap"},
      {Build({.Bits = 32, .Compression = 3, .Masks = {0xF0F000, 0xF00, 0xFF}}), "bit field mask not contiguous"},
      {Build({.Bits = 16, .Compression = 3, .Masks = Bgr}), "bit field mask wider than the pixel"},
      {Build({.Palette = {1, 2}, .Pixels = {}, .Offset = 14 + 40 + 1024}), "offset 54: truncated palette"},
      {Build({.Offset = 20}), "pixel data offset inside the headers"},
      {Build({.ColorsUsed = 2, .Offset = 1000}), "pixel data offset past the end of the file"},
      {Build({.Cut = 3}), "offset 62: truncated pixel data"},
      // A tiny file claiming a large picture is refused before anything is allocated.
      {Build({.Width = 16000, .Height = 8000, .Bits = 24}), "offset 62: truncated pixel data"},
      {Build({.Width = 20000, .Height = 1}), "larger than the limit"},
      {Build({.HeaderSize = 12, .Width = 16384, .Height = 16384}), "more than the limit"},
      {Build({.Compression = 1, .Pixels = {3, 1}}), "RLE run runs past the end of the row"},
      {Build({.Compression = 1, .Pixels = {0, 3, 1, 1, 1, 0}}), "RLE run runs past the end of the row"},
      {Build({.Compression = 1, .Pixels = {0, 2, 0, 2, 1, 1}}), "RLE data runs past the end of the image"},
      {Build({.Compression = 1, .Pixels = {0, 0, 0, 0, 1, 1}}), "RLE data runs past the end of the image"},
      {Build({.Compression = 1, .Pixels = {0, 4, 1, 1}}), "offset 64: truncated RLE data"},
      {Build({.Compression = 1, .Pixels = {2, 1}}), "offset 64: truncated RLE data"},
  };
  for (const auto& Case : Cases) {
    const std::string Message = FaultOf(Case.Bytes);
    EXPECT_EQ(Message.rfind("x.bmp: ", 0), 0u) << Message;
    EXPECT_NE(Message.find(Case.Fault), std::string::npos) << Message << "\nexpected: " << Case.Fault;
    // Loaded from a file, it gives the same fault as ever, found from its
    // head or in as much as the head says to read.
    EXPECT_EQ(FileFaultOf(Case.Bytes), FaultOf(Case.Bytes, ReadImage));
  }
}

TEST(Bmp, AFileIsJudgedByItsHeadAndReadNoFurtherThanItsPicture) {
  // The head of a file of 1 GiB: a picture of 2 x 2 pixels, then Rest up to
  // the head's end and beyond.
  constexpr std::uint64_t GiB = std::uint64_t(1) << 30;
  const auto Head = [](std::vector<std::uint8_t> Start, std::uint8_t Rest = 0) {
    Start.resize(PictureHeadBytes, Rest);
    return Start;
  };
  std::vector<std::uint32_t> Greys;
  for (std::uint32_t I = 0; I < 16; ++I) Greys.push_back(I * 0x111111);
  const int Rle = -1;
  const struct {
    const char* What;
    std::vector<std::uint8_t> Picture;
    std::uint8_t Rest;
    int Padding;  // of the last row, which the reader does without; RLE: no length at all
  } Cases[] = {
      {"8 bits", Build({}), 0xA5, 2},
      {"24 bits, top-down", Build({.Height = -2, .Bits = 24, .Palette = {}, .Pixels = std::vector<std::uint8_t>(16, 0x80)}),
       0xA5, 2},
      {"OS/2, 1 bit", Build({.HeaderSize = 12, .Bits = 1, .Pixels = {0x40, 0, 0, 0, 0x80, 0, 0, 0}}), 0xA5, 3},
      {"32-bit fields", Build({.Bits = 32, .Compression = 3, .Masks = {0xFF0000, 0xFF00, 0xFF}, .Palette = {},
                               .Pixels = std::vector<std::uint8_t>(16, 0x7F)}),
       0xA5, 0},
      {"RLE8", Build({.Compression = 1, .Palette = Greys, .Pixels = {2, 5, 0, 0, 1, 6, 0, 1}}), 0xA5, Rle},
      {"RLE4", Build({.Bits = 4, .Compression = 2, .Palette = Greys, .Pixels = {2, 0x56, 0, 0, 2, 0x78, 0, 1}}), 0xA5,
       Rle},
      // Its stream never ends: ends of lines, as far as the file goes.
      {"RLE8 of zeros", Build({.Compression = 1, .Palette = Greys, .Pixels = {}}), 0, Rle},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.What);
    const std::vector<std::uint8_t> Start = Head(Case.Picture, Case.Rest);
    const std::uint64_t Extent = PictureExtent(Start, GiB, "x.bmp");
    if (Case.Padding == Rle)
      ASSERT_LE(Extent, 256u) << "no RLE stream of 2 x 2 pixels is that long";
    else
      ASSERT_EQ(Extent, Case.Picture.size() - std::size_t(Case.Padding)) << "the pixels end where the header says";
    // What it says is all the reader needs.
    const TDib Read = ReadImage(std::span(Start).first(std::size_t(Extent)), "x.bmp"), Whole = ReadBmp(Start, "x.bmp");
    EXPECT_EQ(Read.Width, 2);
    EXPECT_EQ(Read.Format, Whole.Format);
    EXPECT_EQ(Read.Palette, Whole.Palette);
    EXPECT_EQ(Read.Bits, Whole.Bits);
  }
  // A bad header, or one promising too much, is refused from the head alone.
  const struct { std::vector<std::uint8_t> Start; const char* Fault; } Refused[] = {
      {Head({'B', 'M'}), "x.bmp: unsupported header size 0"},
      {Head({}), "x.bmp: not a BMP, PNG or JPEG picture"},
      {Head(Build({.Bits = 2})), "x.bmp: unsupported bit count 2"},
      {Head(Build({.Width = 20000, .Height = 1})), "larger than the limit"},
      {Head(Build({.Width = 16000, .Height = 16000, .Bits = 24})), "more than the limit"},
  };
  for (const auto& Case : Refused) {
    try {
      PictureExtent(Case.Start, GiB, "x.bmp");
      ADD_FAILURE() << "accepted, where expected: " << Case.Fault;
    } catch (const EInvalidGraphic& E) {
      EXPECT_NE(std::string(E.what()).find(Case.Fault), std::string::npos) << E.what();
    }
  }
}

TEST(Bmp, FailedLoadLeavesTheBitmapAsItWas) {
  TBitmap Bitmap;
  Bitmap.LoadFromBytes(Build({}), "x.bmp");
  const TDib Before = Bitmap.Image();
  int Changes = 0;
  Bitmap.OnChange = [&](System::TObject*) { ++Changes; };
  EXPECT_THROW(Bitmap.LoadFromBytes(Build({.Width = 3, .Bits = 24}), "y.bmp"), EInvalidGraphic);
  EXPECT_EQ(Changes, 0);
  EXPECT_EQ(Bitmap.Image().Format, Before.Format);
  EXPECT_EQ(Bitmap.Image().Width, Before.Width);
  EXPECT_EQ(Bitmap.Image().Palette, Before.Palette);
  EXPECT_EQ(Bitmap.Image().Bits, Before.Bits);
}

TEST(Bmp, FuzzTargetSurvivesEverySeedAndReproducer) {
  Seeds::RunAll(Fuzz::BmpReader, "BmpReader", 10);
  EXPECT_EQ(GetImageLimits().MaxSide, TImageLimits{}.MaxSide);  // the target's small limits do not leak
}
