// PNG pictures through libpng.
//
// libpng reports errors by longjmp. Every call into it therefore happens in a
// small function that sets the jump point and holds only trivial locals, so a
// jump skips nothing that needs destroying; the C++ objects it fills belong
// to the caller, which raises the exception after libpng has returned.
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

#include "Codecs.hpp"
#include "Graphics/PngDeflate.hpp"
#include "Graphics/PngFormat.hpp"
#include "Graphics/PngInflate.hpp"
#include "SysUtils.hpp"

namespace Graphics::Detail {

namespace {

// What the callbacks share with the code that set them up.
struct TPngSession {
  std::span<const std::uint8_t> Input;
  std::size_t Position = 0;
  std::vector<std::uint8_t>* Output = nullptr;
  bool Truncated = false;
  char Message[200] = {};
};

[[noreturn]] void OnPngError(png_structp Png, png_const_charp Message) {
  auto* Session = static_cast<TPngSession*>(png_get_error_ptr(Png));
  std::snprintf(Session->Message, sizeof Session->Message, "%s", Message);
  png_longjmp(Png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

void ReadFromSession(png_structp Png, png_bytep Out, std::size_t Count) {
  auto* Session = static_cast<TPngSession*>(png_get_io_ptr(Png));
  if (Count > Session->Input.size() - Session->Position) {
    Session->Truncated = true;
    png_error(Png, "truncated PNG data");
  }
  std::memcpy(Out, Session->Input.data() + Session->Position, Count);
  Session->Position += Count;
}

void AppendToSession(png_structp Png, png_bytep Bytes, std::size_t Count) {
  auto* Session = static_cast<TPngSession*>(png_get_io_ptr(Png));
  bool Failed = false;
  try {
    Session->Output->insert(Session->Output->end(), Bytes, Bytes + Count);
  } catch (const std::bad_alloc&) {
    Failed = true;
  }
  // Raised outside the handler: jumping out of a catch block would leak
  // the exception.
  if (Failed) png_error(Png, "out of memory");
}

void FlushSession(png_structp) {}

[[noreturn]] void RaiseReadFault(const TPngSession& Session, const std::string& Name) {
  if (Session.Truncated) throw EInvalidGraphic(Name + ": truncated PNG data");
  throw EInvalidGraphic(Name + ": PNG decoding failed: " + Session.Message);
}

class TPngReader {
public:
  explicit TPngReader(TPngSession& Session)
      : Png(png_create_read_struct(PNG_LIBPNG_VER_STRING, &Session, OnPngError, OnPngWarning)),
        Info(Png ? png_create_info_struct(Png) : nullptr) {
    if (!Info) {
      png_destroy_read_struct(&Png, nullptr, nullptr);
      throw EOutOfResources("out of memory for a PNG reader");
    }
  }
  ~TPngReader() { png_destroy_read_struct(&Png, &Info, nullptr); }
  TPngReader(const TPngReader&) = delete;
  TPngReader& operator=(const TPngReader&) = delete;

  png_structp Png;
  png_infop Info;
};

class TPngWriter {
public:
  explicit TPngWriter(TPngSession& Session)
      : Png(png_create_write_struct(PNG_LIBPNG_VER_STRING, &Session, OnPngError, OnPngWarning)),
        Info(Png ? png_create_info_struct(Png) : nullptr) {
    if (!Info) {
      png_destroy_write_struct(&Png, nullptr);
      throw EOutOfResources("out of memory for a PNG writer");
    }
  }
  ~TPngWriter() { png_destroy_write_struct(&Png, &Info); }
  TPngWriter(const TPngWriter&) = delete;
  TPngWriter& operator=(const TPngWriter&) = delete;

  png_structp Png;
  png_infop Info;
};

// The IHDR is the first chunk of every PNG libpng accepts. Checking its
// sides here, before libpng has seen anything, gives the same message for
// an oversized PNG as for any other oversized picture.
void CheckHeaderSize(std::span<const std::uint8_t> Data, const std::string& Name) {
  if (const auto Sides = PngFormat::Sides(Data)) CheckImageSize(Sides->first, Sides->second, Name);
}

// A palette PNG keeps its palette unless its tRNS makes an entry see-through:
// the bitmap's palette has no alpha, so such a picture reads as 32 bits.
bool HasAlpha(png_structp Png, png_infop Info) {
  const int ColourType = png_get_color_type(Png, Info);
  if (ColourType & PNG_COLOR_MASK_ALPHA) return true;
  png_bytep Alpha = nullptr;
  int Count = 0;
  if (!png_get_tRNS(Png, Info, &Alpha, &Count, nullptr)) return false;
  if (ColourType != PNG_COLOR_TYPE_PALETTE) return true;
  return std::any_of(Alpha, Alpha + Count, [](png_byte A) { return A != 255; });
}

struct TPngHeader {
  png_uint_32 Width = 0, Height = 0;
  int BitDepth = 0;
  int Channels = 0;  // as stored, before any transform
  TPixelFormat Format = pfDevice;
  std::size_t RowBytes = 0;
};

// Chooses the bitmap format for the PNG's kind and sets the libpng
// transforms that turn its rows into that format's bytes. 16-bit channels
// are scaled with rounding rather than cut; gamma and colour chunks are not
// applied, as a bitmap holds the stored values.
TPixelFormat SetReadTransforms(png_structp Png, png_infop Info) {
  const int ColourType = png_get_color_type(Png, Info);
  const int BitDepth = png_get_bit_depth(Png, Info);
  png_set_scale_16(Png);
  png_set_interlace_handling(Png);
  if (HasAlpha(Png, Info)) {
    png_set_tRNS_to_alpha(Png);
    png_set_gray_to_rgb(Png);
    png_set_bgr(Png);
    return pf32bit;
  }
  switch (ColourType) {
    case PNG_COLOR_TYPE_PALETTE:
      // 2-bit rows are read as they are and widened to 4 bits afterwards.
      return BitDepth == 1 ? pf1bit : BitDepth == 8 ? pf8bit : pf4bit;
    case PNG_COLOR_TYPE_GRAY:
      png_set_expand_gray_1_2_4_to_8(Png);
      return pf8bit;
    default:
      png_set_bgr(Png);
      return pf24bit;
  }
}

bool ReadPngHeader(png_structp Png, png_infop Info, TPngHeader& Header) {
  if (setjmp(png_jmpbuf(Png))) return false;
  png_read_info(Png, Info);
  Header.Width = png_get_image_width(Png, Info);
  Header.Height = png_get_image_height(Png, Info);
  Header.BitDepth = png_get_bit_depth(Png, Info);
  Header.Channels = png_get_channels(Png, Info);
  Header.Format = SetReadTransforms(Png, Info);
  png_read_update_info(Png, Info);
  Header.RowBytes = png_get_rowbytes(Png, Info);
  return true;
}

// Deflate packs at most about 1032 bytes into one (a run of 258 bytes in two
// bits). A file whose image data could not fill its declared size even at
// that ratio is refused before its rows are allocated, however large the
// size it declares; a file cut before its image data ends is truncated.
void CheckCompressedSize(std::span<const std::uint8_t> Data, const TPngHeader& Header, const std::string& Name) {
  constexpr std::uint64_t MaxDeflateRatio = 1032;
  std::uint64_t Compressed = 0;
  bool Complete = false;
  PngFormat::WalkChunks(Data, [&](const PngFormat::TChunk& Chunk) {
    if (Chunk.Is("IDAT")) Compressed += Chunk.Data.size();  // what is there of it
    Complete = Chunk.Is("IEND");
    return !Complete;
  });
  // The most bytes that data could inflate to, against whole bytes of
  // pixels per row: rows add filter bytes and interlacing more, never less.
  const std::uint64_t Capacity = Compressed * MaxDeflateRatio + MaxDeflateRatio - 1;
  const std::uint64_t RowBytes = std::uint64_t(Header.Width) * unsigned(Header.BitDepth * Header.Channels) / 8;
  if (RowBytes == 0 || Header.Height <= Capacity / RowBytes) return;
  if (!Complete) throw EInvalidGraphic(Name + ": truncated PNG data");
  throw EInvalidGraphic(Name + ": " + SysUtils::ByteCount(Compressed) + " of image data cannot hold " +
                        std::to_string(Header.Width) + " x " + std::to_string(Header.Height) + " pixels");
}

bool ReadPngRows(png_structp Png, png_bytepp Rows) {
  if (setjmp(png_jmpbuf(Png))) return false;
  png_read_image(Png, Rows);
  // Reads on to IEND, so a file cut after its pixels is refused as well.
  png_read_end(Png, nullptr);
  return true;
}

std::vector<TRGBQuad> PngPalette(png_structp Png, png_infop Info, TPixelFormat Format) {
  const int ColourType = png_get_color_type(Png, Info);
  if (ColourType == PNG_COLOR_TYPE_GRAY) return GreyPalette();
  png_colorp Entries = nullptr;
  int Count = 0;
  png_get_PLTE(Png, Info, &Entries, &Count);
  Count = std::min(Count, 1 << BitsPerPixel(Format));
  std::vector<TRGBQuad> Palette(std::size_t(std::max(Count, 0)));
  for (std::size_t I = 0; I < Palette.size(); ++I)
    Palette[I] = {Entries[I].blue, Entries[I].green, Entries[I].red, 0};
  return Palette;
}

// Spreads each row of 2-bit indices to 4 bits, in place: working from the
// right end, every input byte is read before its two output bytes land on it.
void WidenTwoBitRows(TDib& Image) {
  const std::size_t InBytes = (std::size_t(Image.Width) + 3) / 4;
  for (int Y = 0; Y < Image.Height; ++Y) {
    std::uint8_t* Row = Image.Row(Y);
    for (std::size_t I = InBytes; I-- > 0;) {
      const unsigned B = Row[I];
      Row[2 * I] = std::uint8_t((B >> 6) << 4 | ((B >> 4) & 3));
      Row[2 * I + 1] = std::uint8_t(((B >> 2) & 3) << 4 | (B & 3));
    }
  }
}

struct TPngLayout {
  int ColourType;
  int BitDepth;
  bool Decoded;  // rows go through DecodeRow into 32-bit pixels first
};

TPngLayout LayoutFor(TPixelFormat Format) {
  switch (Format) {
    case pf1bit:
    case pf4bit:
    case pf8bit:
      return {PNG_COLOR_TYPE_PALETTE, BitsPerPixel(Format), false};
    case pf24bit:
      return {PNG_COLOR_TYPE_RGB, 8, false};
    case pf32bit:
      return {PNG_COLOR_TYPE_RGB_ALPHA, 8, false};
    default:
      // The device surface's fourth byte is not treated as transparency.
      return {PNG_COLOR_TYPE_RGB, 8, true};
  }
}

// The bitmap's palette as libpng takes it, padded to every index in use:
// libpng refuses to write a pixel beyond the palette.
std::vector<png_color> PaletteToWrite(const TDib& Image) {
  std::vector<png_color> Palette;
  for (const TRGBQuad& C : PaddedPalette(Image)) Palette.push_back({C.rgbRed, C.rgbGreen, C.rgbBlue});
  return Palette;
}

bool WritePngRows(png_structp Png, png_infop Info, const TDib& Image, TPngLayout Layout,
                  const std::vector<png_color>& Palette, TRGBQuad* Line, int Level) {
  if (setjmp(png_jmpbuf(Png))) return false;
  png_set_compression_level(Png, Level);
  png_set_IHDR(Png, Info, png_uint_32(Image.Width), png_uint_32(Image.Height), Layout.BitDepth,
               Layout.ColourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!Palette.empty()) png_set_PLTE(Png, Info, Palette.data(), int(Palette.size()));
  png_write_info(Png, Info);
  if (Layout.ColourType != PNG_COLOR_TYPE_PALETTE) png_set_bgr(Png);
  if (Layout.Decoded) png_set_filler(Png, 0, PNG_FILLER_AFTER);
  for (int Y = 0; Y < Image.Height; ++Y) {
    if (Layout.Decoded) {
      DecodeRow(Image, Y, Line);
      png_write_row(Png, reinterpret_cast<png_const_bytep>(Line));
    } else {
      png_write_row(Png, Image.Row(Y));
    }
  }
  png_write_end(Png, nullptr);
  return true;
}

// The chunks around image data deflated beforehand: libpng writes the
// header, the IDAT chunks and the end, with their checksums.
bool WritePngChunks(png_structp Png, png_infop Info, const TDib& Image, TPngLayout Layout,
                    const std::vector<std::uint8_t>& ImageData) {
  if (setjmp(png_jmpbuf(Png))) return false;
  png_set_IHDR(Png, Info, png_uint_32(Image.Width), png_uint_32(Image.Height), 8, Layout.ColourType,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(Png, Info);
  constexpr std::size_t ChunkBytes = 1u << 20;
  for (std::size_t Done = 0; Done < ImageData.size(); Done += ChunkBytes)
    png_write_chunk(Png, reinterpret_cast<png_const_bytep>("IDAT"), ImageData.data() + Done,
                    std::min(ChunkBytes, ImageData.size() - Done));
  png_write_chunk(Png, reinterpret_cast<png_const_bytep>("IEND"), nullptr, 0);
  return true;
}

// The colour rows as the PNG holds them: red, green, blue (and alpha).
TFilterInput ColourRows(const TDib& Image, TPngLayout Layout) {
  TFilterInput In;
  In.Height = Image.Height;
  In.BytesPerPixel = Layout.ColourType == PNG_COLOR_TYPE_RGB_ALPHA ? 4 : 3;
  In.RowBytes = std::size_t(Image.Width) * In.BytesPerPixel;
  In.Row = [&Image, Layout, Bpp = In.BytesPerPixel](int Y, std::uint8_t* Out) {
    const std::size_t Width = std::size_t(Image.Width);
    if (Layout.Decoded) {
      std::vector<TRGBQuad> Line(Width);
      DecodeRow(Image, Y, Line.data());
      for (std::size_t X = 0; X < Width; ++X)
        Out[3 * X] = Line[X].rgbRed, Out[3 * X + 1] = Line[X].rgbGreen, Out[3 * X + 2] = Line[X].rgbBlue;
      return;
    }
    const std::uint8_t* In = Image.Row(Y);
    for (std::size_t I = 0; I < Width * Bpp; I += Bpp) {
      Out[I] = In[I + 2], Out[I + 1] = In[I + 1], Out[I + 2] = In[I];
      if (Bpp == 4) Out[I + 3] = In[I + 3];
    }
  };
  return In;
}

// Files of the common kind are decoded here and the rest by libpng. Both
// ways check the sizes, charge the budget and make the image at the same
// points; a file whose image data turns out damaged goes to libpng from
// its start, into the image already made, so that libpng names the fault.
TDib ReadPngFrom(std::span<const std::uint8_t> Data, const std::string& Name, bool Plain) {
  if (SniffFormat(Data) != TFileFormat::Png) throw EInvalidGraphic(Name + ": not a PNG picture");
  CheckHeaderSize(Data, Name);
  const TImageLimits Limits = GetImageLimits();
  TPlainPng PlainPng;
  Plain = Plain && FindPlainPng(Data, std::uint32_t(Limits.MaxSide), PlainPng);
  TPngSession Session{Data};
  TPngReader Reader(Session);
  png_set_read_fn(Reader.Png, &Session, ReadFromSession);
  png_set_user_limits(Reader.Png, png_uint_32(Limits.MaxSide), png_uint_32(Limits.MaxSide));
  // Ancillary chunks are skipped, so the only large allocations libpng makes
  // on its own are rows; this caps any chunk it still buffers.
  png_set_chunk_malloc_max(Reader.Png, PngFormat::MaxChunkBytes);
  png_set_keep_unknown_chunks(Reader.Png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);

  TPngHeader Header;
  if (Plain) {
    Header.Width = PlainPng.Width, Header.Height = PlainPng.Height, Header.BitDepth = 8;
    Header.Channels = PlainPng.Channels;
    Header.Format = PlainPng.Format;
    Header.RowBytes = std::size_t(PlainPng.Width) * unsigned(PlainPng.Channels);
  } else if (!ReadPngHeader(Reader.Png, Reader.Info, Header)) {
    RaiseReadFault(Session, Name);
  }
  CheckCompressedSize(Data, Header, Name);
  ChargeFormPixels(Header.Width, Header.Height, Name);
  // The plain decoder writes every byte of its rows; libpng leaves the padding.
  TDib Image = (Plain ? MakeUnfilledDib : MakeDib)(int(Header.Width), int(Header.Height), Header.Format, Name);
  if (Header.RowBytes > Image.Stride) throw EInvalidGraphic(Name + ": unsupported PNG row layout");
  if (Plain) {
    if (DecodePlainPng(PlainPng, Image)) {
      if (IsIndexed(Image.Format)) Image.Palette = GreyPalette();
      return Image;
    }
    // Zeros, as libpng leaves a row's padding; it writes every pixel byte.
    std::fill(Image.Bits.begin(), Image.Bits.end(), 0);
    if (!ReadPngHeader(Reader.Png, Reader.Info, Header)) RaiseReadFault(Session, Name);
  }
  if (IsIndexed(Header.Format)) Image.Palette = PngPalette(Reader.Png, Reader.Info, Header.Format);

  std::vector<png_bytep> Rows(Header.Height);
  for (int Y = 0; Y < Image.Height; ++Y) Rows[Y] = Image.Row(Y);
  if (!ReadPngRows(Reader.Png, Rows.data())) RaiseReadFault(Session, Name);
  if (Header.Format == pf4bit && Header.BitDepth == 2) WidenTwoBitRows(Image);
  return Image;
}

}  // namespace

TDib ReadPng(std::span<const std::uint8_t> Data, const std::string& Name) { return ReadPngFrom(Data, Name, true); }

TDib ReadPngThroughLibpng(std::span<const std::uint8_t> Data, const std::string& Name) {
  return ReadPngFrom(Data, Name, false);
}

std::vector<std::uint8_t> WritePng(const TDib& Image, TPngCompression Compression) {
  if (Image.Empty()) throw EInvalidGraphic("an empty picture cannot be saved as PNG");
  std::vector<std::uint8_t> Output;
  TPngSession Session;
  Session.Output = &Output;
  TPngWriter Writer(Session);
  png_set_write_fn(Writer.Png, &Session, AppendToSession, FlushSession);

  const TPngLayout Layout = LayoutFor(Image.Format);
  // Colour rows, the bulk of what is written, go through the fast deflater;
  // the smallest file, and indexed rows, through libpng's zlib.
  if (Compression != TPngCompression::Best && Layout.ColourType != PNG_COLOR_TYPE_PALETTE) {
    const std::vector<std::uint8_t> ImageData = DeflateImageData(
        ColourRows(Image, Layout), Compression == TPngCompression::Fast ? TPngSpeed::Fast : TPngSpeed::Balanced);
    if (!WritePngChunks(Writer.Png, Writer.Info, Image, Layout, ImageData))
      throw EInvalidGraphic(std::string("PNG encoding failed: ") + Session.Message);
    return Output;
  }
  const std::vector<png_color> Palette =
      Layout.ColourType == PNG_COLOR_TYPE_PALETTE ? PaletteToWrite(Image) : std::vector<png_color>{};
  std::vector<TRGBQuad> Line(Layout.Decoded ? std::size_t(Image.Width) : 0);
  if (!WritePngRows(Writer.Png, Writer.Info, Image, Layout, Palette, Line.data(),
                    Compression == TPngCompression::Best ? 9 : 6))
    throw EInvalidGraphic(std::string("PNG encoding failed: ") + Session.Message);
  return Output;
}

}  // namespace Graphics::Detail
