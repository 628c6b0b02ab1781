// The image data inflated by ISA-L a band of rows at a time, each band
// unfiltered straight into the bitmap's rows while it is still in cache.
//
// Whatever this accepts libpng must accept too and read to the same pixels,
// so the checks follow libpng's: it refuses a chunk name that is not four
// letters, a chunk longer than it would buffer, a bad CRC on a critical
// chunk, a zlib header zlib refuses, a bad filter byte, and too little
// data. Ancillary chunks other than tRNS are skipped by libpng as the
// reader sets it up; a bad CRC is refused here even on those.
//
// One difference is left: ISA-L reads a deflate block whose Huffman code
// leaves codes unassigned, as long as the data never uses them, where zlib
// refuses the block. No encoder writes such a code, and what ISA-L reads
// from one still has to pass the stream's checksum; telling it apart would
// take a second decoding of every block.
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "Graphics/PngFormat.hpp"
#include "Graphics/PngInflate.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Graphics::Detail {

namespace {

using namespace PngFormat;

bool IsLetter(std::uint8_t C) { return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z'); }

std::uint64_t FilteredBytes(const TPlainPng& Png) {
  return std::uint64_t(Png.Height) * (1 + std::uint64_t(Png.Width) * unsigned(Png.Channels));
}

// ---- Unfiltering --------------------------------------------------------------
//
// Rows are unfiltered in the bitmap's byte order: the filters predict each
// byte from the same channel of the pixel before and of the row above, so
// swapping red and blue before unfiltering gives the same bytes as after.

// The byte at a time: the plain form, used for grey rows and where SSE2 is missing.
void UnfilterBytes(std::uint8_t Filter, std::uint8_t* Row, const std::uint8_t* Up, std::size_t Size,
                   std::size_t Bpp) {
  switch (Filter) {
    case 1:
      for (std::size_t I = Bpp; I < Size; ++I) Row[I] = std::uint8_t(Row[I] + Row[I - Bpp]);
      break;
    case 2:
      for (std::size_t I = 0; I < Size; ++I) Row[I] = std::uint8_t(Row[I] + Up[I]);
      break;
    case 3:
      for (std::size_t I = 0; I < Bpp; ++I) Row[I] = std::uint8_t(Row[I] + (Up[I] >> 1));
      for (std::size_t I = Bpp; I < Size; ++I) Row[I] = std::uint8_t(Row[I] + ((Row[I - Bpp] + Up[I]) >> 1));
      break;
    case 4:
      for (std::size_t I = 0; I < Bpp; ++I) Row[I] = std::uint8_t(Row[I] + Up[I]);
      for (std::size_t I = Bpp; I < Size; ++I) Row[I] = std::uint8_t(Row[I] + Paeth(Row[I - Bpp], Up[I], Up[I - Bpp]));
      break;
  }
}

// One filtered row into its bitmap row, in the bitmap's order.
void CopySwapped(const std::uint8_t* In, std::uint8_t* Out, std::size_t Size, std::size_t Bpp) {
  if (Bpp == 1) {
    std::memcpy(Out, In, Size);
    return;
  }
  for (std::size_t I = 0; I < Size; I += Bpp) {
    Out[I] = In[I + 2], Out[I + 1] = In[I + 1], Out[I + 2] = In[I];
    if (Bpp == 4) Out[I + 3] = In[I + 3];
  }
}

#if defined(__SSE2__)
// Sub, Average and Paeth a pixel at a time in 16-bit lanes, for 3 and 4
// bytes a pixel: each pixel depends on the one before, so it is the pixel,
// not the row, that fills a register. Pixels are read and written as 4
// bytes: In and Up have a byte to spare after each row, and the fourth
// byte written to Out is the next pixel's, written again after it; only
// the last pixel of a 3-byte row, which may end the bitmap, is written as 3.
__m128i Load4(const std::uint8_t* P) {
  std::uint32_t V;
  std::memcpy(&V, P, 4);
  return _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(V)), _mm_setzero_si128());
}

// The PNG's red, green, blue (alpha) as the bitmap's blue, green, red (alpha).
__m128i LoadSwapped4(const std::uint8_t* P) { return _mm_shufflelo_epi16(Load4(P), _MM_SHUFFLE(3, 0, 1, 2)); }

__m128i Abs16(__m128i V) { return _mm_max_epi16(V, _mm_sub_epi16(_mm_setzero_si128(), V)); }

template <std::size_t Bpp>
void UnfilterPixels(std::uint8_t Filter, const std::uint8_t* In, std::uint8_t* Out, const std::uint8_t* Up,
                    std::size_t Size) {
  const __m128i Mask = _mm_set1_epi16(0xFF);
  __m128i A = _mm_setzero_si128(), C = _mm_setzero_si128();
  for (std::size_t I = 0; I < Size; I += Bpp) {
    const __m128i B = Load4(Up + I);
    __m128i Predicted;
    if (Filter == 1) {
      Predicted = A;
    } else if (Filter == 3) {
      Predicted = _mm_srli_epi16(_mm_add_epi16(A, B), 1);
    } else {
      // p = a + b - c, so p - a = b - c, p - b = a - c and p - c = (b - c) + (a - c);
      // a where pa <= pb and pa <= pc, else b where pb <= pc, else c.
      const __m128i BC = _mm_sub_epi16(B, C), AC = _mm_sub_epi16(A, C);
      const __m128i PA = Abs16(BC), PB = Abs16(AC), PC = Abs16(_mm_add_epi16(BC, AC));
      const __m128i NotA = _mm_or_si128(_mm_cmpgt_epi16(PA, PB), _mm_cmpgt_epi16(PA, PC));
      const __m128i TakeC = _mm_cmpgt_epi16(PB, PC);
      const __m128i BorC = _mm_or_si128(_mm_andnot_si128(TakeC, B), _mm_and_si128(TakeC, C));
      Predicted = _mm_or_si128(_mm_andnot_si128(NotA, A), _mm_and_si128(NotA, BorC));
      C = B;
    }
    A = _mm_and_si128(_mm_add_epi16(Predicted, LoadSwapped4(In + I)), Mask);
    const std::uint32_t Bytes = std::uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(A, A)));
    if (Bpp == 4 || I + Bpp < Size) {
      std::memcpy(Out + I, &Bytes, 4);
    } else {
      const std::uint16_t Low = std::uint16_t(Bytes);
      std::memcpy(Out + I, &Low, 2);
      Out[I + 2] = std::uint8_t(Bytes >> 16);
    }
  }
}
#endif

// Row In, filtered as the PNG holds it, unfiltered into Out over Up, the
// bitmap's row above (zeros for the first row).
void UnfilterRow(std::uint8_t Filter, const std::uint8_t* In, std::uint8_t* Out, const std::uint8_t* Up,
                 std::size_t Size, std::size_t Bpp) {
#if defined(__SSE2__)
  if (Filter == 1 || Filter >= 3) {
    if (Bpp == 3) return UnfilterPixels<3>(Filter, In, Out, Up, Size);
    if (Bpp == 4) return UnfilterPixels<4>(Filter, In, Out, Up, Size);
  }
#endif
  CopySwapped(In, Out, Size, Bpp);
  UnfilterBytes(Filter, Out, Up, Size, Bpp);
}

// ---- The zlib stream ----------------------------------------------------------

// Feeds the IDAT chunks' data to the inflater one chunk after another.
class TImageData {
public:
  explicit TImageData(const TPlainPng& Png) : FChunks(Png.ImageChunks) {}

  // The next N bytes of the stream, wherever the chunks split them.
  bool Take(std::uint8_t* Out, std::size_t N) {
    for (std::size_t Done = 0; Done < N;) {
      if (!NextBytes()) return false;
      const std::size_t Part = std::min(N - Done, FLeft.size());
      std::memcpy(Out + Done, FLeft.data(), Part);
      Done += Part, FLeft = FLeft.subspan(Part);
    }
    return true;
  }

  // Points the inflater at the next bytes when it has used what it had.
  bool Feed(inflate_state& State) {
    if (State.avail_in > 0) return true;
    if (!NextBytes()) return false;
    State.next_in = const_cast<std::uint8_t*>(FLeft.data());
    State.avail_in = std::uint32_t(FLeft.size());
    FLeft = {};
    return true;
  }

private:
  // Moves on to the next IDAT chunk with data when this one is used up;
  // false after the last. The chunks were checked by FindPlainPng.
  bool NextBytes() {
    while (FLeft.empty()) {
      if (FChunks.size() < 12 || std::memcmp(FChunks.data() + 4, "IDAT", 4) != 0) return false;
      const std::size_t Length = Be32(FChunks.data());
      FLeft = FChunks.subspan(8, Length);
      FChunks = FChunks.subspan(12 + Length);
    }
    return true;
  }

  std::span<const std::uint8_t> FChunks;  // from the next chunk on
  std::span<const std::uint8_t> FLeft;    // what is left of the current chunk's data
};

// The two-byte zlib header as zlib and libpng take it: deflate, a window of
// at most 32 KiB, a right check value, no preset dictionary. zlib also
// refuses a distance beyond a smaller window; ISA-L does not look, so a
// smaller window is taken only when the whole image fits in it.
bool AcceptedZlibHeader(const std::uint8_t* Header, std::uint64_t Inflated) {
  const unsigned Method = Header[0] & 15, WindowBits = (Header[0] >> 4) + 8;
  if (Method != 8 || WindowBits > 15 || (Header[0] * 256u + Header[1]) % 31 != 0 || (Header[1] & 0x20)) return false;
  return WindowBits == 15 || Inflated <= (std::uint64_t(1) << WindowBits);
}

// One step of the inflater, with the next bytes of input if it needs them;
// false on a fault, or when it moved no further (no input was left).
bool Step(inflate_state& State, TImageData& Input) {
  Input.Feed(State);
  const std::uint32_t In = State.avail_in, Out = State.avail_out;
  const int Block = State.block_state;
  if (isal_inflate(&State) != ISAL_DECOMP_OK) return false;
  return State.avail_in != In || State.avail_out != Out || State.block_state != Block;
}

// Inflates until Out is full; false on a fault or when the data ends first.
bool InflateInto(inflate_state& State, TImageData& Input, std::uint8_t* Out, std::size_t Size) {
  State.next_out = Out;
  State.avail_out = std::uint32_t(Size);
  while (State.avail_out > 0)
    if (State.block_state == ISAL_BLOCK_FINISH || !Step(State, Input)) return false;
  return true;
}

// After the last row: the stream must end here, checksum right, with no
// bytes left in any IDAT chunk.
bool InflateToEnd(inflate_state& State, TImageData& Input) {
  std::uint8_t Spill[64];
  while (State.block_state != ISAL_BLOCK_FINISH) {
    State.next_out = Spill;
    State.avail_out = sizeof Spill;
    if (!Step(State, Input) || State.avail_out != sizeof Spill) return false;
  }
  std::uint8_t Extra;
  return State.avail_in == 0 && !Input.Take(&Extra, 1);
}

// Unfilters bands of filtered rows, in order, into the bitmap's rows.
class TRowUnfilter {
public:
  TRowUnfilter(const TPlainPng& Png, TDib& Image)
      : Filtered(std::size_t(Png.Width) * unsigned(Png.Channels) + 1), FImage(Image),
        FBpp(std::size_t(Png.Channels)), FZeros(Filtered, 0), FUp(FZeros.data()) {}

  // Count rows from row First; false at a filter byte that names no filter.
  bool Rows(const std::uint8_t* In, std::size_t First, std::size_t Count) {
    const std::size_t RowBytes = Filtered - 1;
    for (std::size_t R = 0; R < Count; ++R, In += Filtered) {
      if (In[0] > 4) return false;
      std::uint8_t* Row = FImage.Row(int(First + R));
      UnfilterRow(In[0], In + 1, Row, FUp, RowBytes, FBpp);
      std::memset(Row + RowBytes, 0, FImage.Stride - RowBytes);
      FUp = Row;
    }
    return true;
  }

  const std::size_t Filtered;  // bytes of a row with its filter byte

private:
  TDib& FImage;
  const std::size_t FBpp;
  const std::vector<std::uint8_t> FZeros;  // the row above the first, with a byte to spare
  const std::uint8_t* FUp;
};

}  // namespace

bool FindPlainPng(std::span<const std::uint8_t> Data, std::uint32_t MaxSide, TPlainPng& Png) {
  // The signature, then the header chunk, its fields the standard ones.
  const auto Header = ReadHeader(Data);
  if (!Header || Be32(Data.data() + HeaderCrc) != crc32_gzip_refl(0, Data.data() + HeaderName, 17)) return false;
  if (Header->BitDepth != 8 || Header->Compression != 0 || Header->Filter != 0 || Header->Interlace != 0) return false;
  if (Header->Width == 0 || Header->Height == 0 || Header->Width > MaxSide || Header->Height > MaxSide) return false;
  switch (ColourTypeOf(Header->ColourType).value_or(TColourType::Palette)) {
    case TColourType::Grey: Png.Channels = 1, Png.Format = pf8bit; break;
    case TColourType::Rgb: Png.Channels = 3, Png.Format = pf24bit; break;
    case TColourType::RgbAlpha: Png.Channels = 4, Png.Format = pf32bit; break;
    default: return false;
  }
  Png.Width = Header->Width, Png.Height = Header->Height;
  Png.ImageChunks = {};
  // libpng refuses an IDAT chunk longer than the image's rows could fill,
  // and any chunk past 2^31 - 1 bytes.
  const std::uint64_t MaxImageChunk =
      std::min<std::uint64_t>(std::max<std::uint64_t>(MaxChunkBytes, FilteredBytes(Png)), MaxChunkLength);
  enum { BeforeData, InData, AfterData } Place = BeforeData;
  bool Plain = false;
  WalkChunks(Data, [&](const TChunk& Chunk) {
    if (Chunk.Position == 8) return true;  // the header, checked above
    if (!Chunk.Whole || !std::all_of(Chunk.Name, Chunk.Name + 4, IsLetter)) return false;
    if (Chunk.Crc() != crc32_gzip_refl(0, Chunk.Name, std::uint64_t(Chunk.Length) + 4)) return false;
    const bool ImageData = Chunk.Is("IDAT");
    if (Chunk.Length > (ImageData ? MaxImageChunk : MaxChunkBytes)) return false;
    if (ImageData) {
      if (Place == AfterData) return false;
      if (Place == BeforeData) Png.ImageChunks = Data.subspan(Chunk.Position);
      Place = InData;
      return true;
    }
    if (Place == InData) Place = AfterData;
    if (Chunk.Is("IEND")) {
      Plain = Place == AfterData && Chunk.Length == 0;
      return false;
    }
    // Of the critical chunks, PLTE changes the reading and the others
    // are refused (IHDR again, unknown ones); tRNS adds transparency.
    return (Chunk.Name[0] & 0x20) && !Chunk.Is("tRNS");
  });
  return Plain;
}

bool DecodePlainPng(const TPlainPng& Png, TDib& Image) {
  TImageData Input(Png);
  std::uint8_t ZlibHeader[2];
  if (!Input.Take(ZlibHeader, 2) || !AcceptedZlibHeader(ZlibHeader, FilteredBytes(Png))) return false;
  auto State = std::make_unique<inflate_state>();
  isal_inflate_init(State.get());
  State->crc_flag = ISAL_ZLIB_NO_HDR_VER;

  TRowUnfilter Unfilter(Png, Image);
  const std::size_t Filtered = Unfilter.Filtered;
  // Bands of about 128 KiB, unfiltered while they are still in cache. A
  // second thread unfiltering one band while this one inflates the next
  // measured slower on a busy machine: the unfiltering is a fifth of the work.
  const std::size_t BandRows = std::max<std::size_t>(1, (128u << 10) / Filtered);
  // A byte to spare after the last row, for the 4-byte reads of pixels.
  std::vector<std::uint8_t> Band(BandRows * Filtered + 1);
  for (std::size_t First = 0; First < Png.Height; First += BandRows) {
    const std::size_t Rows = std::min<std::size_t>(BandRows, Png.Height - First);
    if (!InflateInto(*State, Input, Band.data(), Rows * Filtered) || !Unfilter.Rows(Band.data(), First, Rows))
      return false;
  }
  return InflateToEnd(*State, Input);
}

}  // namespace Graphics::Detail
