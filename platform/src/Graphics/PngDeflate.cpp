// The image data of a PNG, filtered here and deflated by ISA-L in bands,
// one band to a core, joined into one zlib stream the way pigz joins its
// pieces: every band but the last ends on a full flush, so the next starts
// on a byte boundary with no history, and the streams' checksums combine.
#include <isa-l/igzip_lib.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <thread>

#include "Graphics/PngDeflate.hpp"
#include "Graphics/PngFormat.hpp"

namespace Graphics::Detail {

namespace {

using namespace PngFormat;

// One filtered row: Out gets the filter's bytes for Row over Up (zeros for
// the first row), Bpp bytes a pixel. Plain loops over locals: the
// compiler vectorises them.
void FilterRow(TRowFilter Filter, const std::uint8_t* Row, const std::uint8_t* Up, std::size_t Size, std::size_t Bpp,
               std::uint8_t* Out) {
  switch (Filter) {
    case ftNone: std::memcpy(Out, Row, Size); break;
    case ftSub:
      for (std::size_t I = 0; I < Bpp; ++I) Out[I] = Row[I];
      for (std::size_t I = Bpp; I < Size; ++I) Out[I] = std::uint8_t(Row[I] - Row[I - Bpp]);
      break;
    case ftUp:
      for (std::size_t I = 0; I < Size; ++I) Out[I] = std::uint8_t(Row[I] - Up[I]);
      break;
    case ftAverage:
      for (std::size_t I = 0; I < Bpp; ++I) Out[I] = std::uint8_t(Row[I] - (Up[I] >> 1));
      for (std::size_t I = Bpp; I < Size; ++I) Out[I] = std::uint8_t(Row[I] - ((Row[I - Bpp] + Up[I]) >> 1));
      break;
    case ftPaeth:
      for (std::size_t I = 0; I < Bpp; ++I) Out[I] = std::uint8_t(Row[I] - Up[I]);
      for (std::size_t I = Bpp; I < Size; ++I) Out[I] = std::uint8_t(Row[I] - Paeth(Row[I - Bpp], Up[I], Up[I - Bpp]));
      break;
  }
}

// How far a row filtered so would be from all zeros, as libpng weighs it
// (the sum of the bytes taken as signed), from every seventh byte.
std::uint64_t SampledCost(TRowFilter Filter, const std::uint8_t* Row, const std::uint8_t* Up, std::size_t Size,
                          std::size_t Bpp) {
  std::uint64_t Sum = 0;
  for (std::size_t I = Bpp; I < Size; I += 7) {
    const int A = Row[I - Bpp], B = Up[I], C = Up[I - Bpp];
    const int Predicted = Filter == ftNone ? 0 : Filter == ftSub ? A : Filter == ftUp ? B
                        : Filter == ftAverage ? (A + B) >> 1 : Paeth(A, B, C);
    const std::uint8_t Byte = std::uint8_t(Row[I] - Predicted);
    Sum += Byte < 128 ? Byte : 256 - Byte;
  }
  return Sum;
}

struct TBand {
  int First = 0, Last = 0;  // rows
  std::vector<std::uint8_t> Deflated;
  std::uint32_t Adler = 1;
  std::size_t Filtered = 0;  // bytes before deflating
  std::exception_ptr Failure;
};

// Filters one row into Out: its filter byte, then the filtered bytes.
void FilterInto(TPngSpeed Speed, const std::uint8_t* Row, const std::uint8_t* Up, std::size_t Size, std::size_t Bpp,
                std::uint8_t* Out) {
  TRowFilter Chosen = ftSub;
  if (Speed == TPngSpeed::Balanced) {
    // The filter whose row is nearest zero, as libpng chooses, weighed on a
    // sample of the row's bytes (every seventh, so that every channel
    // counts): the row is then filtered once, with the filter chosen.
    std::uint64_t Best = UINT64_MAX;
    for (const TRowFilter Filter : {ftNone, ftSub, ftUp, ftAverage, ftPaeth})
      if (const std::uint64_t C = SampledCost(Filter, Row, Up, Size, Bpp); C < Best) Best = C, Chosen = Filter;
  }
  Out[0] = Chosen;
  FilterRow(Chosen, Row, Up, Size, Bpp, Out + 1);
}

// Rows are filtered a piece at a time into a small buffer and deflated from
// there, so the filtered band is never held whole.
void DeflateBand(const TFilterInput& In, TPngSpeed Speed, bool LastBand, TBand& Band) {
  const std::size_t Size = In.RowBytes, Bpp = In.BytesPerPixel;
  const std::size_t RowsAPiece = std::max<std::size_t>(1, (std::size_t(256) << 10) / (Size + 1));
  std::vector<std::uint8_t> Piece(RowsAPiece * (Size + 1)), Row(Size), Up(Size);
  if (Band.First > 0) In.Row(Band.First - 1, Up.data());

  isal_zstream Stream;
  isal_deflate_init(&Stream);
  std::vector<std::uint8_t> LevelBuffer(ISAL_DEF_LVL1_DEFAULT);
  Stream.level = 1;
  Stream.level_buf = LevelBuffer.data();
  Stream.level_buf_size = std::uint32_t(LevelBuffer.size());
  // Room for rows that do not compress at all; more is made if need be.
  const std::size_t Filtered = std::size_t(Band.Last - Band.First) * (Size + 1);
  Band.Deflated.resize(Filtered + Filtered / 16 + 1024);
  Band.Filtered = Filtered;
  const auto Deflate = [&](const std::uint8_t* Data, std::size_t Count, bool Final) {
    Stream.next_in = const_cast<std::uint8_t*>(Data);
    Stream.avail_in = std::uint32_t(Count);
    Stream.end_of_stream = Final && LastBand ? 1 : 0;
    Stream.flush = Final && !LastBand ? FULL_FLUSH : NO_FLUSH;
    for (;;) {
      Stream.next_out = Band.Deflated.data() + Stream.total_out;
      Stream.avail_out = std::uint32_t(Band.Deflated.size() - Stream.total_out);
      if (isal_deflate(&Stream) != COMP_OK) throw EInvalidGraphic("PNG encoding failed: the image data did not deflate");
      const bool Done = Final && LastBand ? Stream.internal_state.state == ZSTATE_END
                                          : Stream.avail_in == 0 && Stream.avail_out > 0;
      if (Done) return;
      Band.Deflated.resize(Band.Deflated.size() * 2);
    }
  };
  for (int Y = Band.First; Y < Band.Last;) {
    const int Rows = int(std::min<std::size_t>(RowsAPiece, std::size_t(Band.Last - Y)));
    for (int R = 0; R < Rows; ++R, ++Y) {
      In.Row(Y, Row.data());
      FilterInto(Speed, Row.data(), Up.data(), Size, Bpp, Piece.data() + std::size_t(R) * (Size + 1));
      std::swap(Row, Up);
    }
    const std::size_t Count = std::size_t(Rows) * (Size + 1);
    Band.Adler = isal_adler32(Band.Adler, Piece.data(), Count);
    Deflate(Piece.data(), Count, Y == Band.Last);
  }
  Band.Deflated.resize(Stream.total_out);
}

}  // namespace

std::vector<std::uint8_t> DeflateImageData(const TFilterInput& In, TPngSpeed Speed) {
  // A band to a core, each of at least a megabyte of rows: a smaller
  // picture is not worth a thread. (The largest picture's rows stay well
  // below the 4 GiB that one deflate call takes.)
  const std::size_t Total = std::size_t(In.Height) * (In.RowBytes + 1);
  const std::size_t Cores = std::max(1u, std::thread::hardware_concurrency());
  std::vector<TBand> Band(std::clamp<std::size_t>(std::min(Cores, Total >> 20), 1, std::size_t(In.Height)));
  for (std::size_t I = 0; I < Band.size(); ++I) {
    Band[I].First = int(std::size_t(In.Height) * I / Band.size());
    Band[I].Last = int(std::size_t(In.Height) * (I + 1) / Band.size());
  }
  std::vector<std::thread> Workers;
  for (std::size_t I = 1; I < Band.size(); ++I)
    Workers.emplace_back([&, I] {
      try {
        DeflateBand(In, Speed, I + 1 == Band.size(), Band[I]);
      } catch (...) {
        Band[I].Failure = std::current_exception();
      }
    });
  try {
    DeflateBand(In, Speed, Band.size() == 1, Band[0]);
  } catch (...) {
    Band[0].Failure = std::current_exception();
  }
  for (std::thread& Worker : Workers) Worker.join();
  for (const TBand& B : Band)
    if (B.Failure) std::rethrow_exception(B.Failure);

  // The zlib stream: a header (deflate, 32 KiB window, no dictionary), the
  // bands, and the Adler-32 of everything filtered, combined band by band.
  std::vector<std::uint8_t> Out{0x78, 0x01};
  std::uint32_t Adler = Band[0].Adler;
  std::size_t Size = 2 + 4;
  for (const TBand& B : Band) Size += B.Deflated.size();
  Out.reserve(Size);
  for (std::size_t I = 0; I < Band.size(); ++I) {
    Out.insert(Out.end(), Band[I].Deflated.begin(), Band[I].Deflated.end());
    if (I > 0) Adler = std::uint32_t(adler32_combine(Adler, Band[I].Adler, z_off_t(Band[I].Filtered)));
  }
  for (int Shift = 24; Shift >= 0; Shift -= 8) Out.push_back(std::uint8_t(Adler >> Shift));
  return Out;
}

}  // namespace Graphics::Detail
