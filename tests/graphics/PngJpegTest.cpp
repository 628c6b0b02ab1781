#include <gtest/gtest.h>

#include <png.h>
#include <zlib.h>

#include <cstdio>  // jpeglib.h needs FILE
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <tuple>

#include "../../fuzz/FuzzTargets.hpp"
#include "Graphics.hpp"
#include "Graphics/Codecs.hpp"
#include "Graphics/PngInflate.hpp"
#include "common/Seeds.hpp"

using namespace Graphics;
using namespace Graphics::Detail;

namespace {

using TBytes = std::vector<std::uint8_t>;
constexpr int Paletted = PNG_COLOR_TYPE_PALETTE, Grey = PNG_COLOR_TYPE_GRAY, GreyAlpha = PNG_COLOR_TYPE_GRAY_ALPHA,
              Rgb = PNG_COLOR_TYPE_RGB, Rgba = PNG_COLOR_TYPE_RGB_ALPHA;

// A tRNS chunk: none; one giving see-through palette entries, or the first
// pixel's colour as the transparent key; one where every entry is opaque.
enum TTrns { NoTrns, SeeThrough, AllOpaque };

// A PNG of a kind our writer never makes, written by libpng from samples.
struct TPngKind {
  const char* Label;
  int ColourType, BitDepth, PaletteSize;
  TTrns Trns;
  TPixelFormat Expected;
  bool Interlaced = false;
  int Width = 13, Height = 9;  // every Adam7 pass has pixels, rows end mid-byte
  int Channels() const { return ColourType == Rgba ? 4 : ColourType == Rgb ? 3 : ColourType == GreyAlpha ? 2 : 1; }
};

png_color PaletteEntry(unsigned I) { return {png_byte(I * 37 + 11), png_byte(I * 91 + 7), png_byte(I * 53 + 200)}; }
png_byte PaletteAlpha(const TPngKind& Kind, unsigned I) { return Kind.Trns == SeeThrough ? png_byte(I * 29) : 255; }

void Append(png_structp Png, png_bytep Bytes, std::size_t Count) {
  auto* Out = static_cast<TBytes*>(png_get_io_ptr(Png));
  Out->insert(Out->end(), Bytes, Bytes + Count);
}

bool EncodePngRows(png_structp Png, png_infop Info, const TPngKind& Kind, const png_color* Palette,
                   const png_byte* Alpha, png_color_16* Key, png_bytepp Rows) {
  if (setjmp(png_jmpbuf(Png))) return false;
  png_set_IHDR(Png, Info, Kind.Width, Kind.Height, Kind.BitDepth, Kind.ColourType,
               Kind.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, 0, 0);
  if (Kind.PaletteSize) png_set_PLTE(Png, Info, Palette, Kind.PaletteSize);
  if (Kind.Trns) png_set_tRNS(Png, Info, Alpha, Kind.PaletteSize, Key);
  png_write_info(Png, Info);
  png_write_image(Png, Rows);
  png_write_end(Png, nullptr);
  return true;
}

TBytes EncodePng(const TPngKind& Kind, const std::vector<unsigned>& S) {
  const int N = Kind.Channels();
  std::vector<TBytes> Rows(Kind.Height, TBytes((Kind.Width * N * Kind.BitDepth + 7) / 8));
  std::vector<png_bytep> Pointers;
  for (int Y = 0; Y < Kind.Height; ++Y) {
    Pointers.push_back(Rows[Y].data());
    for (int I = 0; I < Kind.Width * N; ++I) {
      const unsigned V = S[Y * Kind.Width * N + I], Bit = I * Kind.BitDepth;
      if (Kind.BitDepth == 16) Rows[Y][2 * I] = png_byte(V >> 8), Rows[Y][2 * I + 1] = png_byte(V);
      else Rows[Y][Bit / 8] |= png_byte(V << (8 - Kind.BitDepth - Bit % 8));
    }
  }
  std::vector<png_color> Palette;
  std::vector<png_byte> Alpha;
  for (int I = 0; I < Kind.PaletteSize; ++I) Palette.push_back(PaletteEntry(I)), Alpha.push_back(PaletteAlpha(Kind, I));
  png_color_16 Key{0, png_uint_16(S[0]), png_uint_16(S[N / 3]), png_uint_16(S[2 * (N / 3)]), png_uint_16(S[0])};
  TBytes Out;
  png_structp Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop Info = png_create_info_struct(Png);
  png_set_write_fn(Png, &Out, Append, nullptr);
  EXPECT_TRUE(EncodePngRows(Png, Info, Kind, Palette.data(), Alpha.data(), &Key, Pointers.data())) << Kind.Label;
  png_destroy_write_struct(&Png, &Info);
  return Out;
}

// What pixel I should read as, worked out from its samples by hand.
TRGBQuad ExpectedPixel(const TPngKind& Kind, const std::vector<unsigned>& S, std::size_t I) {
  const int N = Kind.Channels();
  const unsigned* P = &S[I * N];
  if (Kind.ColourType == Paletted) {
    const png_color C = PaletteEntry(P[0]);
    return {C.blue, C.green, C.red, PaletteAlpha(Kind, P[0])};
  }
  const auto To8 = [&](unsigned V) {
    return std::uint8_t(Kind.BitDepth == 16 ? (V * 255 + 32767) / 65535 : V * 255 / ((1u << Kind.BitDepth) - 1));
  };
  TRGBQuad Q{To8(P[N < 3 ? 0 : 2]), To8(P[N < 3 ? 0 : 1]), To8(P[0]), N % 2 ? std::uint8_t(255) : To8(P[N - 1])};
  if (Kind.Trns && std::equal(P, P + N, S.begin())) Q.rgbReserved = 0;
  return Q;
}

std::vector<TRGBQuad> Pixels(const TDib& Image) {
  std::vector<TRGBQuad> Out(std::size_t(Image.Width) * Image.Height);
  for (int Y = 0; Y < Image.Height; ++Y) DecodeRow(Image, Y, &Out[std::size_t(Y) * Image.Width]);
  return Out;
}

TDib RandomDib(TPixelFormat Format, int Width, int Height, unsigned Seed) {
  std::mt19937 Random(Seed);
  TDib Image = MakeDib(Width, Height, Format);
  for (auto& Byte : Image.Bits) Byte = std::uint8_t(Random());
  for (auto& Entry : Image.Palette) Entry = {std::uint8_t(Random()), std::uint8_t(Random()), std::uint8_t(Random()), 0};
  return Image;
}

// A JPEG of a kind our writer never makes (grey, CMYK, progressive), by libjpeg.
struct TJpegFailure {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
};

// Scans: none for baseline, a script, or this one-entry list standing for
// libjpeg's own progression.
using TScans = std::vector<jpeg_scan_info>;
const TScans LibjpegProgression(1);

bool EncodeJpegRows(jpeg_compress_struct& C, TJpegFailure& F, int W, int H, int N, J_COLOR_SPACE Space,
                    const TScans& Scans, std::span<const std::uint8_t> Samples, unsigned char** Out, unsigned long* Size) {
  if (setjmp(F.Jump)) return false;
  jpeg_create_compress(&C);
  jpeg_mem_dest(&C, Out, Size);
  C.image_width = W, C.image_height = H, C.input_components = N, C.in_color_space = Space;
  jpeg_set_defaults(&C);
  jpeg_set_quality(&C, 95, TRUE);
  if (Scans.size() == 1) jpeg_simple_progression(&C);
  if (Scans.size() > 1) C.scan_info = Scans.data(), C.num_scans = int(Scans.size());
  jpeg_start_compress(&C, TRUE);
  for (int Y = 0; Y < H; ++Y) {
    JSAMPROW Row = const_cast<JSAMPROW>(&Samples[std::size_t(Y) * W * N]);
    jpeg_write_scanlines(&C, &Row, 1);
  }
  jpeg_finish_compress(&C);
  return true;
}

TBytes EncodeJpeg(int W, int H, int N, J_COLOR_SPACE Space, std::span<const std::uint8_t> Samples,
                  const TScans& Scans = {}) {
  jpeg_compress_struct C{};
  TJpegFailure F{};
  C.err = jpeg_std_error(&F.Manager);
  F.Manager.error_exit = [](j_common_ptr Info) { std::longjmp(reinterpret_cast<TJpegFailure*>(Info->err)->Jump, 1); };
  unsigned char* Out = nullptr;
  unsigned long Size = 0;
  EXPECT_TRUE(EncodeJpegRows(C, F, W, H, N, Space, Scans, Samples, &Out, &Size));
  jpeg_destroy_compress(&C);
  TBytes Result(Out, Out + Size);
  std::free(Out);
  return Result;
}

int MaxDifference(TRGBQuad A, TRGBQuad B) {
  return std::max({std::abs(A.rgbBlue - B.rgbBlue), std::abs(A.rgbGreen - B.rgbGreen), std::abs(A.rgbRed - B.rgbRed)});
}

void PutU32(TBytes& Data, std::size_t At, std::uint32_t V) {
  for (int I = 0; I < 4; ++I) Data[At + I] = std::uint8_t(V >> (24 - 8 * I));
}

// Rewrites the CRC of the PNG chunk whose length field is at At.
void FixCrc(TBytes& Data, std::size_t At) {
  const std::size_t Length = png_get_uint_32(&Data[At]);
  PutU32(Data, At + 8 + Length, std::uint32_t(crc32(0, &Data[At + 4], unsigned(Length + 4))));
}

struct TLimitsGuard {
  TImageLimits Saved = GetImageLimits();
  ~TLimitsGuard() { SetImageLimits(Saved); }
};

// A PNG put together here byte by byte, for what libpng's writer never
// varies: the filter of each row, how the stream is cut into IDATs, the
// blocks and window of the zlib stream, and faults in any of them.
struct TPngRecipe {
  int ColourType = Rgb, Width = 13, Height = 9;
  int Filter = 5;              // 0-4 on every row; 5 cycles through them row by row
  int Level = 6;               // zlib's; 0 stores
  int FlushEvery = 0;          // rows between full flushes, each starting new blocks; 0 for none
  std::size_t IdatBytes = 0;   // the stream cut into IDATs of this many bytes; 0 for one IDAT
  bool EmptyIdats = false;     // a zero-length IDAT before each
  bool Ancillary = false;      // tEXt and gAMA before the image data, tIME after
  int WindowBits = 15;
  int DeflatedRows = -1;       // rows in the stream, when not the header's height
  int BadFilterRow = -1;       // this row gets filter byte 5
  bool SameRows = false;       // every row alike, so deflate matches a row back
  TBytes AfterStream;          // bytes after the zlib stream, in the last IDAT
};

void PutChunk(TBytes& File, const char* Name, const TBytes& Data) {
  const std::size_t At = File.size();
  File.resize(At + 8);
  PutU32(File, At, std::uint32_t(Data.size()));
  std::memcpy(&File[At + 4], Name, 4);
  File.insert(File.end(), Data.begin(), Data.end());
  File.resize(File.size() + 4);
  FixCrc(File, At);
}

// The filters as the format defines them, a byte at a time; Up is all
// zeros for the first row.
std::uint8_t Predict(int Filter, int A, int B, int C) {
  const int P = A + B - C, PA = std::abs(P - A), PB = std::abs(P - B), PC = std::abs(P - C);
  switch (Filter) {
    case 1: return std::uint8_t(A);
    case 2: return std::uint8_t(B);
    case 3: return std::uint8_t((A + B) / 2);
    case 4: return std::uint8_t(PA <= PB && PA <= PC ? A : PB <= PC ? B : C);
    default: return 0;
  }
}

TBytes MakePng(const TPngRecipe& Recipe) {
  const int Bpp = Recipe.ColourType == Rgba ? 4 : Recipe.ColourType == Rgb ? 3 : 1;
  const std::size_t RowBytes = std::size_t(Recipe.Width) * Bpp;
  const int Rows = Recipe.DeflatedRows < 0 ? Recipe.Height : Recipe.DeflatedRows;
  // Smooth samples with noise, so that every filter leaves something to predict.
  std::mt19937 Random(unsigned(Recipe.Width * 131 + Recipe.Height * 7 + Recipe.ColourType));
  TBytes Raw(RowBytes * Rows);
  for (std::size_t I = 0; I < Raw.size(); ++I)
    Raw[I] = Recipe.SameRows && I >= RowBytes ? Raw[I - RowBytes] : std::uint8_t(I / RowBytes * 9 + I % RowBytes * 3 + Random() % 16);
  z_stream Z{};
  EXPECT_EQ(deflateInit2(&Z, Recipe.Level, Z_DEFLATED, Recipe.WindowBits, 8, Z_DEFAULT_STRATEGY), Z_OK);
  TBytes Stream(deflateBound(&Z, uLong(Raw.size() + Rows)) + 64 * (Rows + 1));
  Z.next_out = Stream.data();
  Z.avail_out = uInt(Stream.size());
  const TBytes Zeros(RowBytes, 0);
  for (int Y = 0; Y < Rows; ++Y) {
    const std::uint8_t* Row = &Raw[Y * RowBytes];
    const std::uint8_t* Up = Y ? Row - RowBytes : Zeros.data();
    const int Filter = Recipe.Filter == 5 ? Y % 5 : Recipe.Filter;
    TBytes Line{std::uint8_t(Y == Recipe.BadFilterRow ? 5 : Filter)};
    for (std::size_t I = 0; I < RowBytes; ++I) {
      const int A = I >= std::size_t(Bpp) ? Row[I - Bpp] : 0, C = I >= std::size_t(Bpp) ? Up[I - Bpp] : 0;
      Line.push_back(std::uint8_t(Row[I] - Predict(Filter, A, Up[I], C)));
    }
    Z.next_in = Line.data();
    Z.avail_in = uInt(Line.size());
    const bool Last = Y == Rows - 1;
    const int Flush = Last ? Z_FINISH : Recipe.FlushEvery && (Y + 1) % Recipe.FlushEvery == 0 ? Z_FULL_FLUSH : Z_NO_FLUSH;
    EXPECT_EQ(deflate(&Z, Flush), Last ? Z_STREAM_END : Z_OK);
  }
  Stream.resize(Z.total_out);
  deflateEnd(&Z);
  Stream.insert(Stream.end(), Recipe.AfterStream.begin(), Recipe.AfterStream.end());

  TBytes File{137, 'P', 'N', 'G', 13, 10, 26, 10}, Header(13);
  PutU32(Header, 0, std::uint32_t(Recipe.Width));
  PutU32(Header, 4, std::uint32_t(Recipe.Height));
  Header[8] = 8, Header[9] = std::uint8_t(Recipe.ColourType);
  PutChunk(File, "IHDR", Header);
  if (Recipe.Ancillary) PutChunk(File, "tEXt", {'T', 'i', 't', 'l', 'e', 0, 'x'}), PutChunk(File, "gAMA", {0, 1, 0x86, 0xA0});
  const std::size_t Cut = Recipe.IdatBytes ? Recipe.IdatBytes : Stream.size();
  for (std::size_t At = 0; At < Stream.size(); At += Cut) {
    if (Recipe.EmptyIdats) PutChunk(File, "IDAT", {});
    PutChunk(File, "IDAT", TBytes(Stream.begin() + At, Stream.begin() + std::min(Stream.size(), At + Cut)));
  }
  if (Recipe.Ancillary) PutChunk(File, "tIME", {7, 232, 1, 2, 3, 4, 5});
  PutChunk(File, "IEND", {});
  return File;
}

// The image, or the fault's message.
std::string PngOutcome(TDib (*Read)(std::span<const std::uint8_t>, const std::string&), const TBytes& Data,
                       TDib& Image) {
  try {
    Image = Read(Data, "case.png");
    return "";
  } catch (const EInvalidGraphic& E) {
    return E.what();
  }
}

// Reads Data both ways: the same image, or the same fault.
void ExpectSameAsLibpng(const TBytes& Data) {
  TDib Fast, Plain;
  const std::string FastFault = PngOutcome(ReadPng, Data, Fast), PlainFault = PngOutcome(ReadPngThroughLibpng, Data, Plain);
  EXPECT_EQ(FastFault, PlainFault);
  EXPECT_EQ(Fast.Width, Plain.Width);
  EXPECT_EQ(Fast.Height, Plain.Height);
  EXPECT_EQ(Fast.Format, Plain.Format);
  EXPECT_EQ(Fast.Stride, Plain.Stride);
  EXPECT_EQ(Fast.Palette, Plain.Palette);
  EXPECT_TRUE(Fast.Bits == Plain.Bits);
}

}  // namespace

TEST(Png, ReadsEveryKindIntoTheNearestBitmapFormat) {
  const TPngKind Kinds[] = {
      // label               colour type  depth palette tRNS        reads as
      {"palette 1-bit",      Paletted,    1,    2,      NoTrns,     pf1bit},
      {"palette 2-bit",      Paletted,    2,    4,      NoTrns,     pf4bit},
      {"short palette",      Paletted,    2,    3,      NoTrns,     pf4bit},
      {"palette 4-bit",      Paletted,    4,    16,     NoTrns,     pf4bit},
      {"palette 8-bit",      Paletted,    8,    200,    NoTrns,     pf8bit},
      {"opaque tRNS",        Paletted,    4,    16,     AllOpaque,  pf4bit},
      {"palette tRNS",       Paletted,    8,    256,    SeeThrough, pf32bit},
      {"grey 1-bit",         Grey,        1,    0,      NoTrns,     pf8bit},
      {"grey 2-bit",         Grey,        2,    0,      NoTrns,     pf8bit},
      {"grey 4-bit",         Grey,        4,    0,      NoTrns,     pf8bit},
      {"grey 8-bit",         Grey,        8,    0,      NoTrns,     pf8bit},
      {"grey 16-bit",        Grey,        16,   0,      NoTrns,     pf8bit},
      {"grey tRNS",          Grey,        8,    0,      SeeThrough, pf32bit},
      {"grey 16-bit tRNS",   Grey,        16,   0,      SeeThrough, pf32bit},
      {"grey+alpha",         GreyAlpha,   8,    0,      NoTrns,     pf32bit},
      {"grey+alpha 16-bit",  GreyAlpha,   16,   0,      NoTrns,     pf32bit},
      {"RGB",                Rgb,         8,    0,      NoTrns,     pf24bit},
      {"RGB 16-bit",         Rgb,         16,   0,      NoTrns,     pf24bit},
      {"RGB tRNS",           Rgb,         8,    0,      SeeThrough, pf32bit},
      {"RGBA",               Rgba,        8,    0,      NoTrns,     pf32bit},
      {"RGBA 16-bit",        Rgba,        16,   0,      NoTrns,     pf32bit},
  };
  for (TPngKind Kind : Kinds)
    for (bool Interlaced : {false, true}) {
      Kind.Interlaced = Interlaced;
      SCOPED_TRACE(std::string(Kind.Label) + (Interlaced ? ", interlaced" : ""));
      std::mt19937 Random(Kind.BitDepth * 7 + Kind.ColourType);
      std::vector<unsigned> S(std::size_t(Kind.Width * Kind.Height * Kind.Channels()));
      for (unsigned& V : S) V = Random() % (Kind.PaletteSize ? unsigned(Kind.PaletteSize) : 1u << Kind.BitDepth);
      const TDib Image = ReadPng(EncodePng(Kind, S), "kind.png");
      ASSERT_EQ(Image.Format, Kind.Expected);
      ASSERT_EQ(Image.Width, Kind.Width);
      if (IsIndexed(Image.Format)) {
        EXPECT_EQ(Image.Palette.size(), Kind.PaletteSize ? std::size_t(Kind.PaletteSize) : 256u);
      }
      const std::vector<TRGBQuad> Got = Pixels(Image);
      for (std::size_t I = 0; I < Got.size(); ++I) ASSERT_EQ(Got[I], ExpectedPixel(Kind, S, I)) << "pixel " << I;
    }
}

TEST(Png, WritesAndReadsBackEveryFormat) {
  // Formats PNG holds come back unchanged; the others come back as RGB.
  const struct { TPixelFormat Format, Back; } Cases[] = {
      {pf1bit, pf1bit},   {pf4bit, pf4bit},   {pf8bit, pf8bit},     {pf24bit, pf24bit},
      {pf32bit, pf32bit}, {pf15bit, pf24bit}, {pf16bit, pf24bit},   {pfDevice, pf24bit}};
  // Every compression, and pictures large enough to deflate in bands on
  // several cores, joined into one stream.
  for (const auto& Case : Cases)
    for (const auto& [Width, Height] : {std::pair(1, 5), std::pair(13, 5), std::pair(1021, 700)})
      for (const TPngCompression Compression :
           {TPngCompression::Fast, TPngCompression::Default, TPngCompression::Best}) {
        SCOPED_TRACE(std::string(PixelFormatName(Case.Format)) + " " + std::to_string(Width) + "x" +
                     std::to_string(Height) + " compression " + std::to_string(int(Compression)));
        const TDib Source = RandomDib(Case.Format, Width, Height, Width);
        const TDib Back = ReadPng(WritePng(Source, Compression), "back.png");
        ASSERT_EQ(Back.Format, Case.Back);
        EXPECT_EQ(Back.Palette, Source.Palette);
        std::vector<TRGBQuad> Want = Pixels(Source), Got = Pixels(Back);
        if (Case.Format == pfDevice)  // the device's fourth byte is not alpha
          for (auto& P : Want) P.rgbReserved = 255;
        EXPECT_EQ(Got, Want);
      }
}

TEST(Png, PicturesThatDeflateAlmostAsFarAsDeflateCanStillRead) {
  // Black 24-bit rows shrink about 1025 to 1; no deflate stream does better than about 1032.
  for (const TPixelFormat Format : {pf1bit, pf8bit, pf24bit, pf32bit}) {
    const TDib Black = MakeDib(4096, 2048, Format);
    const TDib Back = ReadPng(WritePng(Black), "black.png");
    EXPECT_EQ(Back.Format, Format);
    EXPECT_TRUE(Back.Bits == Black.Bits) << PixelFormatName(Format);
  }
}

TEST(Png, PixelsBeyondAShortPaletteSaveAsBlack) {
  TDib Image = MakeDib(3, 1, pf8bit);
  Image.Palette.resize(2);
  Image.Row(0)[2] = 9;
  const TDib Back = ReadPng(WritePng(Image), "short.png");
  EXPECT_EQ(Back.Palette.size(), 10u);
  EXPECT_EQ(Pixels(Back), Pixels(Image));
}

TEST(Png, CommonFilesDecodeWithoutLibpngToTheSameBitmap) {
  // How the zlib stream is laid out: one block in one IDAT; stored blocks;
  // a block every row in IDATs of 7 bytes with empty ones between, so the
  // zlib header and checksum are cut too; every second row, in 1-byte IDATs.
  const struct { const char* Label; int Level, FlushEvery; std::size_t IdatBytes; bool EmptyIdats, Ancillary; } Layouts[] = {
      {"one block",        6, 0, 0, false, false},
      {"stored",           0, 0, 0, false, true},
      {"block a row",      6, 1, 7, true,  true},
      {"1-byte IDATs",     1, 2, 1, false, false},
  };
  for (const int ColourType : {Grey, Rgb, Rgba})
    for (const int Width : {1, 2, 3, 5, 16, 67})
      for (const int Height : {1, 2, 9})
        for (int Filter = 0; Filter <= 5; ++Filter)
          for (const auto& Layout : Layouts) {
            SCOPED_TRACE(std::to_string(ColourType) + " " + std::to_string(Width) + "x" + std::to_string(Height) +
                         " filter " + std::to_string(Filter) + ", " + Layout.Label);
            TPngRecipe Recipe;
            Recipe.ColourType = ColourType, Recipe.Width = Width, Recipe.Height = Height, Recipe.Filter = Filter;
            Recipe.Level = Layout.Level, Recipe.FlushEvery = Layout.FlushEvery, Recipe.IdatBytes = Layout.IdatBytes;
            Recipe.EmptyIdats = Layout.EmptyIdats, Recipe.Ancillary = Layout.Ancillary;
            const TBytes Data = MakePng(Recipe);
            // The fast path must take the file, not hand it on.
            TPlainPng Png;
            ASSERT_TRUE(FindPlainPng(Data, 16384, Png));
            TDib Image = MakeUnfilledDib(Width, Height, Png.Format);
            ASSERT_TRUE(DecodePlainPng(Png, Image));
            const TDib Plain = ReadPngThroughLibpng(Data, "case.png");
            ASSERT_TRUE(Image.Bits == Plain.Bits);
            ExpectSameAsLibpng(Data);
          }
  // Pictures of several bands of rows, the unit the decoder inflates.
  for (const auto& [ColourType, Width, Height] : {std::tuple(Rgb, 1500, 100), std::tuple(Rgba, 1021, 70), std::tuple(Grey, 4001, 40)}) {
    TPngRecipe Recipe;
    Recipe.ColourType = ColourType, Recipe.Width = Width, Recipe.Height = Height, Recipe.FlushEvery = 7, Recipe.IdatBytes = 8192;
    const TBytes Data = MakePng(Recipe);
    TPlainPng Png;
    ASSERT_TRUE(FindPlainPng(Data, 16384, Png));
    TDib Image = MakeUnfilledDib(Width, Height, Png.Format);
    ASSERT_TRUE(DecodePlainPng(Png, Image)) << Width;
    EXPECT_TRUE(Image.Bits == ReadPngThroughLibpng(Data, "case.png").Bits) << Width;
  }
}

TEST(Png, DamagedAndUncommonFilesReadAsLibpngAloneReadsThem) {
  TPngRecipe Base;
  Base.IdatBytes = 60;
  Base.Ancillary = true;
  const TBytes Png = MakePng(Base);
  TPlainPng Undamaged;  // the file every case damages is one the fast path takes
  ASSERT_TRUE(FindPlainPng(Png, 16384, Undamaged));
  const auto Cut = [](const TBytes& Data, std::size_t Size) { return TBytes(Data.begin(), Data.begin() + Size); };
  const auto Flip = [](TBytes Data, std::size_t At) { return Data[At] ^= 0x20, Data; };
  const auto With = [&](auto Change) { TPngRecipe Recipe = Base; Change(Recipe); return MakePng(Recipe); };
  // The chunk whose length field is at At gets the stream bytes changed; its CRC stays right.
  const auto Rewrite = [](TBytes Data, std::size_t At, std::size_t Offset, std::uint8_t Value) {
    Data[At + 8 + Offset] = Value;
    FixCrc(Data, At);
    return Data;
  };
  std::vector<std::size_t> Chunks;  // where each chunk starts
  for (std::size_t At = 8; At < Png.size(); At += 12 + png_get_uint_32(&Png[At])) Chunks.push_back(At);
  ASSERT_GE(Chunks.size(), 7u);
  const std::size_t FirstIdat = Chunks[3], LastIdat = Chunks[Chunks.size() - 3];
  ASSERT_EQ(std::memcmp(&Png[FirstIdat + 4], "IDAT", 4), 0);
  ASSERT_EQ(std::memcmp(&Png[LastIdat + 4], "IDAT", 4), 0);
  const std::size_t LastLength = png_get_uint_32(&Png[LastIdat]);

  std::vector<std::pair<std::string, TBytes>> Cases;
  for (const std::size_t At : Chunks) {
    const std::size_t Length = png_get_uint_32(&Png[At]);
    const std::string Where = " at " + std::to_string(At);
    // Cut at the chunk, inside its header, inside its data and before its CRC.
    for (const std::size_t Size : {At, At + 6, At + 8 + Length / 2, At + 8 + Length})
      Cases.push_back({"cut" + Where + "+" + std::to_string(Size - At), Cut(Png, Size)});
    Cases.push_back({"length byte" + Where, Flip(Png, At + 3)});
    Cases.push_back({"CRC byte" + Where, Flip(Png, At + 9 + Length)});
    if (Length) Cases.push_back({"data byte" + Where, Flip(Png, At + 8)});
  }
  // The zlib stream: header fields, the checksum, what follows it.
  TBytes Preset = Rewrite(Png, FirstIdat, 1, 0x20);  // FDICT, check value made right again
  Preset = Rewrite(Preset, FirstIdat, 1, std::uint8_t(0x20 + 31 - (Preset[FirstIdat + 8] * 256 + 0x20) % 31));
  Cases.push_back({"preset dictionary", Preset});
  Cases.push_back({"check value", Rewrite(Png, FirstIdat, 1, Png[FirstIdat + 9] ^ 1)});
  Cases.push_back({"method", Rewrite(Rewrite(Png, FirstIdat, 0, 0x79), FirstIdat, 1, 0xDA)});
  Cases.push_back({"checksum", Rewrite(Png, LastIdat, LastLength - 1, Png[LastIdat + 8 + LastLength - 1] ^ 1)});
  Cases.push_back({"checksum, one IDAT", [&] {
    TBytes D = With([](TPngRecipe& S) { S.IdatBytes = 0; });
    const std::size_t L = png_get_uint_32(&D[FirstIdat]);
    return Rewrite(D, FirstIdat, L - 1, D[FirstIdat + 8 + L - 1] ^ 1);
  }()});
  Cases.push_back({"too few rows", With([](TPngRecipe& S) { S.DeflatedRows = 8; })});
  Cases.push_back({"one row too many", With([](TPngRecipe& S) { S.DeflatedRows = 10; })});
  Cases.push_back({"bytes after the stream", With([](TPngRecipe& S) { S.AfterStream = {0, 0, 0}; })});
  Cases.push_back({"bytes after the stream, own IDAT", With([](TPngRecipe& S) { S.AfterStream = TBytes(70, 1); })});
  Cases.push_back({"bad filter byte", With([](TPngRecipe& S) { S.BadFilterRow = 4; })});
  Cases.push_back({"small window, image fits", With([](TPngRecipe& S) { S.WindowBits = 9; })});
  Cases.push_back({"small window, image larger", With([](TPngRecipe& S) { S.WindowBits = 9, S.Width = 67; })});
  // Rows of 601 bytes, each matched a row back, under a header that promises a 512-byte window.
  Cases.push_back({"distance beyond the window", [&] {
    const TBytes D = With([](TPngRecipe& S) { S.Width = 200, S.Filter = 0, S.SameRows = true, S.IdatBytes = 0; });
    return Rewrite(Rewrite(D, FirstIdat, 0, 0x18), FirstIdat, 1, 25);
  }()});
  Cases.push_back({"bad filter byte, late band", With([](TPngRecipe& S) { S.Width = 1500, S.Height = 100, S.BadFilterRow = 90; })});
  Cases.push_back({"too few rows, late band", With([](TPngRecipe& S) { S.Width = 1500, S.Height = 100, S.DeflatedRows = 99; })});
  // Chunks: out of place, unknown, ones that change the pixels, data after the end.
  const auto Insert = [&](std::size_t At, const char* Name, const TBytes& Data) {
    TBytes Chunk;
    PutChunk(Chunk, Name, Data);
    TBytes D = Png;
    D.insert(D.begin() + At, Chunk.begin(), Chunk.end());
    return D;
  };
  Cases.push_back({"text between IDATs", Insert(Chunks[4], "tEXt", {'a', 0, 'b'})});
  Cases.push_back({"IDAT after the end", Insert(Chunks.back(), "IDAT", {})});
  Cases.push_back({"unknown critical chunk", Insert(FirstIdat, "ABCD", {1})});
  Cases.push_back({"unknown ancillary chunk", Insert(FirstIdat, "abCD", {1})});
  Cases.push_back({"chunk name not letters", Insert(FirstIdat, "ab1D", {1})});
  Cases.push_back({"tRNS", Insert(FirstIdat, "tRNS", {0, 1, 0, 2, 0, 3})});
  Cases.push_back({"PLTE", Insert(FirstIdat, "PLTE", {1, 2, 3})});
  Cases.push_back({"second IHDR", Insert(FirstIdat, "IHDR", TBytes(Png.begin() + 16, Png.begin() + 29))});
  Cases.push_back({"IEND with data", [&] { TBytes D = Cut(Png, Chunks.back()); PutChunk(D, "IEND", {0}); return D; }()});
  Cases.push_back({"bytes after IEND", [&] { TBytes D = Png; D.push_back(7); return D; }()});
  // Kinds the fast path leaves to libpng.
  std::vector<unsigned> Samples(13 * 9 * 4, 3);
  Cases.push_back({"16-bit", EncodePng({"", Rgb, 16, 0, NoTrns, pf24bit}, Samples)});
  Cases.push_back({"interlaced", EncodePng({"", Rgba, 8, 0, NoTrns, pf32bit, true}, Samples)});
  Cases.push_back({"grey and alpha", EncodePng({"", GreyAlpha, 8, 0, NoTrns, pf32bit}, Samples)});
  Cases.push_back({"palette", EncodePng({"", Paletted, 4, 16, NoTrns, pf4bit}, Samples)});
  for (const auto& [Label, Data] : Cases) {
    SCOPED_TRACE(Label);
    ExpectSameAsLibpng(Data);
  }
}

TEST(Jpeg, ReadsColourGreyAndCmykWithinTolerance) {
  // Rows of 48 bytes fill their stride, so the grey image's bits are its samples.
  TDib Colour = MakeDib(48, 40, pf24bit), Grey = MakeDib(48, 40, pf8bit), Cmyk = MakeDib(32, 32, pf24bit);
  for (int I = 0; I < 256; ++I) Grey.Palette[I] = {std::uint8_t(I), std::uint8_t(I), std::uint8_t(I), 0};
  for (int Y = 0; Y < 40; ++Y)
    for (int X = 0; X < 48; ++X) {
      std::uint8_t* P = Colour.Row(Y) + 3 * X;
      P[0] = X * 5, P[1] = Y * 6, P[2] = X + Y, Grey.Row(Y)[X] = X * 5;
    }
  // Adobe CMYK is stored inverted, and libjpeg marks it so: 16x16 blocks of
  // cyan, red, black and white.
  const std::uint8_t Inks[4][4] = {{0, 255, 255, 255}, {255, 0, 0, 255}, {255, 255, 255, 0}, {255, 255, 255, 255}};
  TBytes Samples;
  for (int I = 0; I < 32 * 32; ++I) {
    const std::uint8_t* Ink = Inks[(I % 32 / 16) + 2 * (I / 32 / 16)];
    Samples.insert(Samples.end(), Ink, Ink + 4);
    for (int C = 0; C < 3; ++C) Cmyk.Row(I / 32)[3 * (I % 32) + 2 - C] = std::uint8_t(Ink[C] * Ink[3] / 255);
  }
  const struct { const char* Label; TBytes Data; const TDib& Want; } Cases[] = {
      {"colour", WriteJpeg(Colour), Colour},
      {"grey", EncodeJpeg(48, 40, 1, JCS_GRAYSCALE, Grey.Bits), Grey},
      {"progressive grey", EncodeJpeg(48, 40, 1, JCS_GRAYSCALE, Grey.Bits, LibjpegProgression), Grey},
      {"CMYK", EncodeJpeg(32, 32, 4, JCS_CMYK, Samples), Cmyk},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Label);
    const TDib Image = ReadJpeg(Case.Data, "in.jpg");
    ASSERT_EQ(Image.Format, Case.Want.Format);
    const std::vector<TRGBQuad> Got = Pixels(Image), Want = Pixels(Case.Want);
    ASSERT_EQ(Got.size(), Want.size());
    for (std::size_t I = 0; I < Got.size(); ++I) ASSERT_LE(MaxDifference(Got[I], Want[I]), 8) << "pixel " << I;
  }
}

TEST(Jpeg, SavesEveryFormatAsColour) {
  // Four flat 16x16 blocks; each block's centre is far from any edge blur.
  TDib Blocks = MakeDib(32, 32, pf24bit);
  const TRGBQuad Colours[] = {{0, 0, 255, 255}, {255, 255, 255, 255}, {255, 0, 0, 255}, {0, 0, 0, 255}};
  std::vector<TRGBQuad> Row(32);
  for (int Y = 0; Y < 32; ++Y) {
    for (int X = 0; X < 32; ++X) Row[X] = Colours[X / 16 + 2 * (Y / 16)];
    EncodeRow(Blocks, Y, Row.data(), nullptr);
  }
  for (TPixelFormat Format : {pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
    SCOPED_TRACE(PixelFormatName(Format));
    const TDib Source = Convert(Blocks, Format);
    const TDib Back = ReadJpeg(WriteJpeg(Source), "saved.jpg");
    ASSERT_EQ(Back.Format, pf24bit);
    const std::vector<TRGBQuad> Want = Pixels(Source), Got = Pixels(Back);
    for (int I : {8 * 32 + 8, 8 * 32 + 24, 24 * 32 + 8, 24 * 32 + 24}) EXPECT_LE(MaxDifference(Got[I], Want[I]), 6);
  }
}

TEST(PictureFiles, EmptyPicturesAreRefusedForPngAndJpeg) {
  EXPECT_THROW(WritePng(MakeDib(0, 3, pf24bit)), EInvalidGraphic);
  EXPECT_THROW(WriteJpeg(MakeDib(3, 0, pf24bit)), EInvalidGraphic);
}

TEST(PictureFiles, FormatIsSniffedFromContent) {
  const TDib Image = RandomDib(pf24bit, 16, 16, 1);
  const auto Dir = std::filesystem::path(testing::TempDir()) / "sniff";
  std::filesystem::create_directories(Dir);
  const struct { const char* File; TBytes Data; } Cases[] = {
      {"png-named.bmp", WritePng(Image)}, {"jpeg-named.png", WriteJpeg(Image)}, {"bmp-named.jpg", WriteBmp(Image)}};
  for (const auto& Case : Cases) {
    std::ofstream(Dir / Case.File, std::ios::binary)
        .write(reinterpret_cast<const char*>(Case.Data.data()), std::streamsize(Case.Data.size()));
    TBitmap Bitmap;
    Bitmap.LoadFromFile((Dir / Case.File).string());
    EXPECT_EQ(Bitmap.Width(), 16) << Case.File;
    EXPECT_EQ(Bitmap.PixelFormat(), pf24bit) << Case.File;
  }
  const struct { TBytes Data; TFileFormat Format; } Magic[] = {
      {{'B', 'M'}, TFileFormat::Bmp},  {{0xFF, 0xD8, 0xFF}, TFileFormat::Jpeg}, {{0xFF, 0xD8}, TFileFormat::Unknown},
      {TBytes(Cases[0].Data.begin(), Cases[0].Data.begin() + 7), TFileFormat::Unknown}, {{}, TFileFormat::Unknown}};
  for (const auto& Case : Magic) EXPECT_EQ(SniffFormat(Case.Data), Case.Format) << Case.Data.size() << " bytes";
  try {
    ReadImage(TBytes{'G', 'I', 'F', '8'}, "anim.gif");
    ADD_FAILURE() << "unknown content accepted";
  } catch (const EInvalidGraphic& E) {
    EXPECT_STREQ(E.what(), "anim.gif: not a BMP, PNG or JPEG picture");
  }
}

// The memory the process has held at most since the mark was last reset,
// in KiB: VmHWM, which writing 5 to clear_refs brings down to what it
// holds now.
std::uint64_t PeakKiB(bool Reset) {
  if (Reset) std::ofstream("/proc/self/clear_refs") << "5";
  std::ifstream Status("/proc/self/status");
  for (std::string Line; std::getline(Status, Line);)
    if (Line.rfind("VmHWM:", 0) == 0) return std::stoull(Line.substr(6));
  return 0;
}

TEST(PictureFiles, AHugeFileIsJudgedByItsHeadAndReadNoFurtherThanItsPicture) {
  // Files of 1 GiB whose every byte past their start is a hole. Reading one
  // whole takes a GiB of memory; each must be refused, or read, having
  // touched little more than its start.
  const auto Dir = std::filesystem::path(testing::TempDir()) / "huge";
  std::filesystem::create_directories(Dir);
  const TDib Picture = RandomDib(pf24bit, 16, 16, 5);
  TBytes Rle = WriteBmp(MakeDib(16, 16, pf8bit));
  Rle[30] = 1;  // RLE8, its stream all ends of lines: it ends only where the file does
  Rle.resize(Rle[10] | Rle[11] << 8);
  const struct { const char* File; TBytes Start; const char* Fault; } Cases[] = {
      {"bad-header.bmp", {'B', 'M'}, "unsupported header size 0"},
      {"nothing.bmp", {}, "not a BMP, PNG or JPEG picture"},
      {"picture.bmp", WriteBmp(Picture), nullptr},
      {"picture.png", WritePng(Picture), nullptr},
      {"picture.jpg", WriteJpeg(Picture), nullptr},
      {"endless-rle.bmp", Rle, nullptr},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.File);
    const std::string File = (Dir / Case.File).string();
    std::ofstream(File, std::ios::binary)
        .write(reinterpret_cast<const char*>(Case.Start.data()), std::streamsize(Case.Start.size()));
    std::filesystem::resize_file(File, std::uint64_t(1) << 30);
    const std::uint64_t Before = PeakKiB(true);
    TPicture Loaded;
    try {
      Loaded.LoadFromFile(File);
      EXPECT_EQ(Case.Fault, nullptr) << "accepted";
      EXPECT_EQ(Loaded.Width(), 16);
    } catch (const EInvalidGraphic& E) {
      EXPECT_EQ(E.what(), File + ": " + (Case.Fault ? Case.Fault : "(accepted)"));
    }
    EXPECT_LT(PeakKiB(false) - Before, 64u << 10) << "KiB taken in";
    std::filesystem::remove(File);
  }
}

TEST(PictureFiles, FormatForFileNameGoesByExtensionOnly) {
  const struct { const char* Name; TFileFormat Format; } Known[] = {
      {"a.bmp", TFileFormat::Bmp}, {"A.BMP", TFileFormat::Bmp}, {"dir.x/b.Png", TFileFormat::Png},
      {"c.jpg", TFileFormat::Jpeg}, {"d.JPEG", TFileFormat::Jpeg}, {"e.tar.png", TFileFormat::Png}};
  for (const auto& Case : Known) EXPECT_EQ(FormatForFileName(Case.Name), Case.Format) << Case.Name;
  const struct { const char* Name; const char* Message; } Unknown[] = {
      {"x.GIF", "x.GIF: unknown picture file extension '.GIF' (use .bmp, .png, .jpg or .jpeg)"},
      {"x.png.txt", "x.png.txt: unknown picture file extension '.txt' (use .bmp, .png, .jpg or .jpeg)"},
      {"dir.png/x", "dir.png/x: no picture file extension (use .bmp, .png, .jpg or .jpeg)"}};
  for (const auto& Case : Unknown) {
    try {
      FormatForFileName(Case.Name);
      ADD_FAILURE() << Case.Name << " accepted";
    } catch (const EInvalidGraphic& E) {
      EXPECT_STREQ(E.what(), Case.Message);
    }
  }
}

TEST(PictureFiles, MalformedInputIsRefusedNamingTheFile) {
  const TBytes Png = WritePng(RandomDib(pf24bit, 16, 16, 2));
  const TBytes Jpeg = WriteJpeg(RandomDib(pf24bit, 32, 32, 3));
  const TBytes Progressive = EncodeJpeg(32, 32, 3, JCS_RGB, RandomDib(pf24bit, 32, 32, 4).Bits, LibjpegProgression);
  // 128 valid scans of one grey block: DC, then each AC coefficient alone,
  // each first at half precision and then refined.
  TScans ManyScans{{1, {0}, 0, 0, 0, 1}, {1, {0}, 0, 0, 1, 0}};
  for (int Al : {1, 0})
    for (int K = 1; K < 64; ++K) ManyScans.push_back({1, {0}, K, K, 1 - Al, Al});
  const auto Cut = [](const TBytes& Data, std::size_t Size) { return TBytes(Data.begin(), Data.begin() + Size); };
  // Each changes one field of the PNG's IHDR (at 8) or the JPEG's SOF and
  // keeps the chunk's CRC right, so the field is what gets refused.
  const auto Ihdr = [&](std::size_t At, std::uint32_t V, int Bytes = 4) {
    TBytes Data = Png;
    for (int I = 0; I < Bytes; ++I) Data[At + I] = std::uint8_t(V >> (8 * (Bytes - 1 - I)));
    FixCrc(Data, 8);
    return Data;
  };
  const auto Sof = [&](std::uint16_t Height, std::uint16_t Width) {
    TBytes Data = Jpeg;
    const std::uint8_t Marker[] = {0xFF, 0xC0};  // SOF0: length, precision, height, width
    const std::size_t At = std::search(Data.begin(), Data.end(), Marker, Marker + 2) - Data.begin() + 5;
    Data[At] = Height >> 8, Data[At + 1] = std::uint8_t(Height), Data[At + 2] = Width >> 8, Data[At + 3] = std::uint8_t(Width);
    return Data;
  };
  const auto Flip = [](TBytes Data, std::size_t At) { return Data[At] ^= 0x55, Data; };
  TBytes BadZlib = Png;
  std::fill_n(&BadZlib[41], 6, 0xFF);
  FixCrc(BadZlib, 33);
  TBytes Garbage = Cut(Jpeg, 3);
  for (int I = 0; I < 300; ++I) Garbage.push_back(std::uint8_t(I * 73));
  const struct { std::string Name; TBytes Data; const char* Fault; } Cases[] = {
      {"empty.png", {}, "not a BMP, PNG or JPEG picture"},
      {"signature.png", Cut(Png, 7), "not a BMP, PNG or JPEG picture"},
      {"cut8.png", Cut(Png, 8), "truncated PNG data"},
      {"cut20.png", Cut(Png, 20), "truncated PNG data"},
      {"cut33.png", Cut(Png, 33), "truncated PNG data"},
      {"cut-idat.png", Cut(Png, Png.size() / 2), "truncated PNG data"},
      {"no-iend.png", Cut(Png, Png.size() - 12), "truncated PNG data"},
      {"cut-iend.png", Cut(Png, Png.size() - 1), "truncated PNG data"},
      {"ihdr-crc.png", Flip(Png, 29), "CRC error"},
      {"idat-crc.png", Flip(Png, Png.size() - 13), "CRC error"},
      {"zlib.png", BadZlib, "PNG decoding failed"},
      {"wide.png", Ihdr(16, 100000), "larger than the limit"},
      {"huge.png", Ihdr(20, 0x80000000u), "larger than the limit"},
      {"many.png", [&] { TBytes D = Ihdr(16, 12000); PutU32(D, 20, 12000); FixCrc(D, 8); return D; }(), "more than the limit"},
      // Within the limits, but far more than its data could inflate to: refused before the rows are made.
      {"bomb.png", [&] { TBytes D = Ihdr(16, 16384); PutU32(D, 20, 8192); FixCrc(D, 8); return D; }(),
       "bytes of image data cannot hold 16384 x 8192 pixels"},
      {"zero.png", Ihdr(16, 0), "PNG decoding failed"},
      {"depth.png", Ihdr(24, 4, 1), "PNG decoding failed"},
      {"tall.png", Ihdr(20, 32), "Not enough image data"},
      {"soi.jpg", Cut(Jpeg, 2), "not a BMP, PNG or JPEG picture"},
      {"cut3.jpg", Cut(Jpeg, 3), "truncated JPEG data"},
      {"cut20.jpg", Cut(Jpeg, 20), "truncated JPEG data"},
      {"half.jpg", Cut(Jpeg, Jpeg.size() / 2), "truncated JPEG data"},
      {"no-eoi.jpg", Cut(Jpeg, Jpeg.size() - 2), "truncated JPEG data"},
      {"progressive.jpg", Cut(Progressive, Progressive.size() * 2 / 3), "truncated JPEG data"},
      {"garbage.jpg", Garbage, ""},
      {"wide.jpg", Sof(16, 60000), "larger than the limit"},
      {"zero.jpg", Sof(0, 16), "JPEG decoding failed"},
      {"scans.jpg", EncodeJpeg(8, 8, 1, JCS_GRAYSCALE, TBytes(64, 99), ManyScans), "too many scans"},
      {"two-channel.jpg", EncodeJpeg(4, 4, 2, JCS_UNKNOWN, TBytes(32, 9)), "unsupported colour space"},
  };
  for (const auto& Case : Cases) {
    try {
      ReadImage(Case.Data, Case.Name);
      ADD_FAILURE() << Case.Name << " accepted";
    } catch (const EInvalidGraphic& E) {
      const std::string Message = E.what();
      EXPECT_EQ(Message.rfind(Case.Name + ": ", 0), 0u) << Message;
      EXPECT_NE(Message.find(Case.Fault), std::string::npos) << Message;
    }
  }
}

TEST(PictureFiles, ConfiguredLimitsApplyToPngAndJpeg) {
  const TDib Image = RandomDib(pf24bit, 16, 16, 5);
  const TLimitsGuard Guard;
  SetImageLimits({15, 1 << 20});
  EXPECT_THROW(ReadPng(WritePng(Image), "big.png"), EInvalidGraphic);
  EXPECT_THROW(ReadJpeg(WriteJpeg(Image), "big.jpg"), EInvalidGraphic);
}

// The one difference the readers keep: a deflate block whose Huffman code
// leaves codes unassigned, which the data never uses. zlib refuses it; ISA-L
// reads the data, whose Adler-32 is right. No encoder writes such a code.
TEST(Png, AnIncompleteHuffmanCodeReadsWhereLibpngRefusesIt) {
  std::ifstream In(TESSORIN_SOURCE_DIR "/fuzz/PngReader/incomplete-huffman-code.png", std::ios::binary);
  const TBytes Data{std::istreambuf_iterator<char>(In), {}};
  TDib Fast, Plain;
  EXPECT_EQ(PngOutcome(ReadPng, Data, Fast), "");
  EXPECT_EQ(Fast.Width, 4);
  EXPECT_NE(PngOutcome(ReadPngThroughLibpng, Data, Plain).find("invalid literal/lengths set"), std::string::npos);
}

TEST(PictureFiles, FuzzTargetsSurviveEverySeedAndReproducer) {
  const struct { const char* Folder; int (*Body)(const std::uint8_t*, std::size_t); } Targets[] = {
      {"PictureLoader", Fuzz::PictureLoader}, {"PngReader", Fuzz::PngReader}};
  for (const auto& Target : Targets) Seeds::RunAll(Target.Body, Target.Folder, 8);
  EXPECT_EQ(GetImageLimits().MaxSide, TImageLimits{}.MaxSide);
}
