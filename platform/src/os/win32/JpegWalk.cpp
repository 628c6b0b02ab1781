// The JPEG walk in front of the system's codec: markers, and the Huffman
// codes of sequential scans.
#include "os/win32/JpegWalk.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>
#include <optional>
#include <vector>

#include "SysUtils.hpp"

namespace Os::Win32 {

namespace {

// libjpeg's words for the faults, as Linux reports them.
constexpr const char* PrematureEnd = "Corrupt JPEG data: premature end of data segment";
constexpr const char* BadCode = "Corrupt JPEG data: bad Huffman code";
constexpr const char* NoRestart = "Corrupt JPEG data: a restart marker is missing";

bool IsRestart(std::uint8_t Marker) { return Marker >= 0xD0 && Marker <= 0xD7; }

// The start of the marker that ends a scan's entropy-coded data: a 0xFF
// there is followed by 0x00 (a stuffed byte), a restart marker, or more
// 0xFF fill before a marker.
std::size_t EndOfScan(std::span<const std::uint8_t> Data, std::size_t Position) {
  while (Position < Data.size()) {
    const void* Found = std::memchr(Data.data() + Position, 0xFF, Data.size() - Position);
    if (!Found) return Data.size();
    const std::size_t Start = std::size_t(static_cast<const std::uint8_t*>(Found) - Data.data());
    std::size_t Next = Start + 1;
    while (Next < Data.size() && Data[Next] == 0xFF) ++Next;
    if (Next == Data.size()) return Data.size();
    if (Data[Next] != 0x00 && !IsRestart(Data[Next])) return Start;
    Position = Next + 1;
  }
  return Data.size();
}

// A Huffman table as the standard's decoding procedure reads it: for each
// code length, the first and last code and where its symbols start; and
// for the codes of up to FastBits bits, their length and symbol by the
// next FastBits bits of the data.
constexpr int FastBits = 9;
struct THuffman {
  bool Defined = false;
  std::array<std::int32_t, 17> MinCode{}, MaxCode{}, First{};
  std::array<std::uint8_t, 256> Values{};
  std::array<std::uint16_t, 1 << FastBits> Fast{};  // length << 8 | symbol; 0 for a longer code
};
using TTables = std::array<THuffman, 8>;  // DC 0-3, then AC 0-3

// A DHT segment's tables, each replaced only once it is read whole; false
// where one is malformed, which leaves the picture to the codec.
bool ReadTables(std::span<const std::uint8_t> Segment, TTables& Tables) {
  for (std::size_t Position = 0; Position < Segment.size();) {
    if (Segment.size() - Position < 17) return false;
    const std::uint8_t Class = Segment[Position] >> 4, Id = Segment[Position] & 15;
    if (Class > 1 || Id > 3) return false;
    THuffman Table;
    std::int32_t Code = 0, Count = 0;
    for (int Length = 1; Length <= 16; ++Length) {
      const int Codes = Segment[Position + Length];
      if (Code + Codes >= 1 << Length) return false;  // more codes than the length has, as libjpeg counts
      Table.First[Length] = Count, Table.MinCode[Length] = Code;
      Table.MaxCode[Length] = Codes ? Code + Codes - 1 : -1;
      Code = (Code + Codes) << 1, Count += Codes;
    }
    if (Count > 256 || Segment.size() - Position - 17 < std::size_t(Count)) return false;
    std::copy_n(Segment.begin() + std::ptrdiff_t(Position + 17), Count, Table.Values.begin());
    // A DC difference has at most 15 bits, as libjpeg checks.
    if (Class == 0 && std::any_of(Table.Values.begin(), Table.Values.begin() + Count, [](std::uint8_t V) { return V > 15; }))
      return false;
    for (int Length = 1; Length <= FastBits; ++Length)
      for (std::int32_t C = Table.MinCode[Length]; C <= Table.MaxCode[Length]; ++C) {
        const std::uint8_t Symbol = Table.Values[std::size_t(Table.First[Length] + C - Table.MinCode[Length])];
        const int Spare = FastBits - Length;
        for (std::int32_t Tail = 0; Tail < 1 << Spare; ++Tail)
          Table.Fast[std::size_t(C << Spare | Tail)] = std::uint16_t(Length << 8 | Symbol);
      }
    Table.Defined = true;
    Tables[Class * 4 + Id] = Table;
    Position += 17 + std::size_t(Count);
  }
  return true;
}

// The bits of a scan's coded data, stuffed bytes taken out, read ahead a
// few bytes at a time; they end at a marker (a restart marker or the end
// of the scan), which reading never passes.
class TBits {
public:
  explicit TBits(std::span<const std::uint8_t> Data) : FData(Data) {}
  // The next bit, or -1 at a marker.
  int Bit() {
    if (FCount == 0 && (Fill(), FCount == 0)) return -1;
    --FCount;
    return int(FBits >> FCount & 1);
  }
  bool Skip(int Count) {
    for (; Count > 16; Count -= 16)
      if (Value(16) < 0) return false;
    return Value(Count) >= 0;
  }
  // The next Count bits (up to 16) as a number, or -1 at a marker.
  long Value(int Count) {
    if (FCount < Count) Fill();
    if (FCount < Count) return -1;
    FCount -= Count;
    return long(FBits >> FCount & ((std::uint64_t(1) << Count) - 1));
  }
  // The next symbol of the table: -1 at a marker, -2 for a code it lacks.
  int Decode(const THuffman& Table) {
    if (FCount < FastBits) Fill();
    const std::uint64_t Ahead = FCount >= FastBits ? FBits >> (FCount - FastBits) : FBits << (FastBits - FCount);
    const std::uint16_t Known = Table.Fast[Ahead & ((1u << FastBits) - 1)];
    if (Known && (Known >> 8) <= FCount) {
      FCount -= Known >> 8;
      return Known & 0xFF;
    }
    std::int32_t Code = 0;
    for (int Length = 1; Length <= 16; ++Length) {
      const int Next = Bit();
      if (Next < 0) return -1;
      Code = Code << 1 | Next;
      if (Code <= Table.MaxCode[Length]) return Table.Values[std::size_t(Table.First[Length] + Code - Table.MinCode[Length])];
    }
    return -2;
  }
  // Drops the bits read ahead and passes over the restart marker that must
  // follow, after any stray bytes; false where there is none.
  bool Restart() {
    FCount = 0;
    while (FPosition < FData.size()) {
      if (FData[FPosition++] != 0xFF) continue;
      while (FPosition < FData.size() && FData[FPosition] == 0xFF) ++FPosition;
      if (FPosition < FData.size() && IsRestart(FData[FPosition])) {
        ++FPosition;
        return true;
      }
      ++FPosition;  // a stuffed byte
    }
    return false;
  }

private:
  // Reads ahead to at least 57 bits, or up to the marker.
  void Fill() {
    while (FCount <= 56 && FPosition < FData.size()) {
      const std::uint8_t Byte = FData[FPosition];
      if (Byte == 0xFF && (FPosition + 1 >= FData.size() || FData[FPosition + 1] != 0x00)) return;
      FPosition += Byte == 0xFF ? 2 : 1;
      FBits = FBits << 8 | Byte;
      FCount += 8;
    }
  }
  std::span<const std::uint8_t> FData;
  std::size_t FPosition = 0;
  std::uint64_t FBits = 0;  // the low FCount bits are the next ones
  int FCount = 0;
};

struct TComponent {
  std::uint8_t Id = 0, H = 1, V = 1;
};
struct TFrame {
  std::uint32_t Width = 0, Height = 0;
  int HMax = 1, VMax = 1;
  std::vector<TComponent> Components;
  // Blocks across and down of a component coded on its own.
  std::uint64_t Across(const TComponent& C) const { return (std::uint64_t(Width) * C.H + 8 * HMax - 1) / (8 * HMax); }
  std::uint64_t Down(const TComponent& C) const { return (std::uint64_t(Height) * C.V + 8 * VMax - 1) / (8 * VMax); }
};

// A frame's header, when its sampling factors are ones a decoder takes.
bool ReadFrame(std::span<const std::uint8_t> Segment, TFrame& Frame) {
  if (Segment.size() < 6) return false;
  Frame.Height = SysUtils::Be16(&Segment[1]), Frame.Width = SysUtils::Be16(&Segment[3]);
  const std::size_t Count = Segment[5];
  if (Count == 0 || Segment.size() < 6 + 3 * Count) return false;
  for (std::size_t I = 0; I < Count; ++I) {
    const TComponent C{Segment[6 + 3 * I], std::uint8_t(Segment[7 + 3 * I] >> 4), std::uint8_t(Segment[7 + 3 * I] & 15)};
    if (C.H < 1 || C.H > 4 || C.V < 1 || C.V > 4) return false;
    Frame.HMax = std::max<int>(Frame.HMax, C.H), Frame.VMax = std::max<int>(Frame.VMax, C.V);
    Frame.Components.push_back(C);
  }
  return true;
}

// The coded data of a frame's scans, decoded as far as their Huffman codes
// and the bits those codes announce, which counts the blocks of each scan
// without computing one pixel. A progressive picture's refining scans
// depend on which coefficients earlier scans made nonzero, which it keeps:
// eight bytes a block, for a picture already within the limits.
class TCodedData {
public:
  TCodedData(const TFrame& Frame, bool Progressive)
      : FFrame(Frame), FProgressive(Progressive), FNonZero(Frame.Components.size()) {}

  // One scan: its header Segment, its coded Data. Answers the fault, or
  // nothing; a header the codec would refuse is left to it.
  std::string Scan(std::span<const std::uint8_t> Segment, std::span<const std::uint8_t> Data, const TTables& Tables,
                   unsigned RestartInterval) {
    const std::size_t Count = Segment.empty() ? 0 : Segment[0];
    if (Count == 0 || Segment.size() < 1 + 2 * Count + 3) return {};
    const int First = Segment[1 + 2 * Count], Last = Segment[2 + 2 * Count];
    const int High = Segment[3 + 2 * Count] >> 4;
    const TKind Kind = !FProgressive ? TKind::Sequential
                       : First == 0  ? (High ? TKind::DcRefine : TKind::DcFirst)
                                     : (High ? TKind::AcRefine : TKind::AcFirst);
    if (FProgressive && (First == 0 ? Last != 0 : Last < First || Last > 63 || Count != 1)) return {};
    std::vector<TCoded> Coded;
    for (std::size_t I = 0; I < Count; ++I) {
      const std::uint8_t Id = Segment[1 + 2 * I], Dc = Segment[2 + 2 * I] >> 4, Ac = Segment[2 + 2 * I] & 15;
      const auto Found = std::find_if(FFrame.Components.begin(), FFrame.Components.end(),
                                      [Id](const TComponent& C) { return C.Id == Id; });
      if (Found == FFrame.Components.end() || Dc > 3 || Ac > 3) return {};
      const bool NeedsDc = Kind == TKind::Sequential || Kind == TKind::DcFirst;
      const bool NeedsAc = Kind == TKind::Sequential || Kind == TKind::AcFirst || Kind == TKind::AcRefine;
      for (const int Table : {NeedsDc ? int(Dc) : -1, NeedsAc ? 4 + Ac : -1})
        if (Table >= 0 && !Tables[std::size_t(Table)].Defined) {
          char Fault[64];
          std::snprintf(Fault, sizeof Fault, "Huffman table 0x%02x was not defined", Table < 4 ? Table : 0x10 + Table - 4);
          return Fault;
        }
      std::vector<std::uint64_t>* NonZero = nullptr;
      if (Kind == TKind::AcFirst || Kind == TKind::AcRefine) {
        NonZero = &FNonZero[std::size_t(Found - FFrame.Components.begin())];
        try {
          NonZero->resize(FFrame.Across(*Found) * FFrame.Down(*Found));
        } catch (const std::bad_alloc&) {
          return {};
        }
      }
      Coded.push_back({&*Found, &Tables[Dc], &Tables[4 + Ac], NonZero});
    }
    // One block of a component coded alone is a unit; otherwise each unit
    // holds every component's H x V blocks.
    const bool Alone = Coded.size() == 1;
    const std::uint64_t Units =
        Alone ? FFrame.Across(*Coded[0].Component) * FFrame.Down(*Coded[0].Component)
              : ((FFrame.Width + 8 * FFrame.HMax - 1) / (8 * FFrame.HMax)) *
                    std::uint64_t((FFrame.Height + 8 * FFrame.VMax - 1) / (8 * FFrame.VMax));
    TBits Bits(Data);
    FEndOfBands = 0;
    for (std::uint64_t Unit = 0; Unit < Units; ++Unit) {
      if (RestartInterval && Unit && Unit % RestartInterval == 0) {
        if (!Bits.Restart()) return NoRestart;
        FEndOfBands = 0;
      }
      for (const TCoded& C : Coded)
        for (int Block = 0; Block < (Alone ? 1 : C.Component->H * C.Component->V); ++Block) {
          std::uint64_t* NonZero = C.NonZero ? &(*C.NonZero)[Unit] : nullptr;
          const int Result = DecodeBlock(Kind, Bits, C, First, Last, NonZero);
          if (Result == -1) return PrematureEnd;
          if (Result == -2) return BadCode;
        }
    }
    return {};
  }

private:
  enum class TKind { Sequential, DcFirst, DcRefine, AcFirst, AcRefine };
  struct TCoded {
    const TComponent* Component;
    const THuffman *Dc, *Ac;
    std::vector<std::uint64_t>* NonZero;  // an AC scan's component's
  };

  // One block's codes, the way libjpeg's Huffman decoder reads them: 0, or
  // -1 where the data ends first, -2 for a code the table lacks.
  int DecodeBlock(TKind Kind, TBits& Bits, const TCoded& C, int First, int Last, std::uint64_t* NonZero) {
    const auto Mark = [NonZero](int K) {
      if (K < 64) *NonZero |= std::uint64_t(1) << K;
    };
    const auto IsNonZero = [NonZero](int K) { return (*NonZero >> K & 1) != 0; };
    switch (Kind) {
      case TKind::Sequential: {
        int Symbol = Bits.Decode(*C.Dc);
        if (Symbol < 0) return Symbol;
        if (!Bits.Skip(Symbol)) return -1;
        for (int K = 1; K < 64;) {
          Symbol = Bits.Decode(*C.Ac);
          if (Symbol < 0) return Symbol;
          const int Run = Symbol >> 4, Size = Symbol & 15;
          if (Size == 0 && Run != 15) break;  // end of block
          K += Run + 1;
          if (!Bits.Skip(Size)) return -1;
        }
        return 0;
      }
      case TKind::DcFirst: {
        const int Symbol = Bits.Decode(*C.Dc);
        if (Symbol < 0) return Symbol;
        return Bits.Skip(Symbol) ? 0 : -1;
      }
      case TKind::DcRefine:
        return Bits.Skip(1) ? 0 : -1;
      case TKind::AcFirst:
        if (FEndOfBands > 0) {
          --FEndOfBands;
          return 0;
        }
        for (int K = First; K <= Last; ++K) {
          const int Symbol = Bits.Decode(*C.Ac);
          if (Symbol < 0) return Symbol;
          const int Run = Symbol >> 4, Size = Symbol & 15;
          if (Size) {
            K += Run;
            if (!Bits.Skip(Size)) return -1;
            Mark(K);
          } else if (Run == 15) {
            K += 15;
          } else {
            const long More = Bits.Value(Run);
            if (More < 0) return -1;
            FEndOfBands = (1u << Run) + unsigned(More) - 1;
            break;
          }
        }
        return 0;
      case TKind::AcRefine: {
        int K = First;
        if (FEndOfBands == 0) {
          for (; K <= Last; ++K) {
            const int Symbol = Bits.Decode(*C.Ac);
            if (Symbol < 0) return Symbol;
            int Run = Symbol >> 4;
            const int Size = Symbol & 15;
            if (Size) {
              if (Size != 1) return -2;
              if (Bits.Bit() < 0) return -1;
            } else if (Run != 15) {
              const long More = Bits.Value(Run);
              if (More < 0) return -1;
              FEndOfBands = (1u << Run) + unsigned(More);
              break;
            }
            // Past the coefficients already nonzero, each with its
            // correction bit, and Run of those still zero.
            for (; K <= Last; ++K) {
              if (IsNonZero(K)) {
                if (Bits.Bit() < 0) return -1;
              } else if (--Run < 0) {
                break;
              }
            }
            if (Size) Mark(K);
          }
        }
        if (FEndOfBands > 0) {
          // A correction bit for each coefficient of the rest of the band
          // already nonzero.
          const std::uint64_t Rest = K > Last ? 0 : (~std::uint64_t(0) >> (63 - Last)) & (~std::uint64_t(0) << K);
          for (int Corrections = std::popcount(*NonZero & Rest); Corrections > 0; Corrections -= 16)
            if (!Bits.Skip(std::min(Corrections, 16))) return -1;
          --FEndOfBands;
        }
        return 0;
      }
    }
    return 0;
  }

  const TFrame& FFrame;
  bool FProgressive;
  std::vector<std::vector<std::uint64_t>> FNonZero;  // by component, then block
  unsigned FEndOfBands = 0;  // blocks left whose band ends at once
};

}  // namespace

TJpegLayout WalkJpeg(std::span<const std::uint8_t> Data, const std::function<void(std::uint32_t, std::uint32_t)>& CheckSize) {
  TJpegLayout Layout;
  TTables Tables;
  TFrame Frame;
  std::optional<TCodedData> Coded;
  bool Malformed = false;  // a table the codec will refuse: no decoding from there on
  unsigned RestartInterval = 0;
  bool Ended = false;
  const std::size_t Size = Data.size();
  std::size_t Position = 2;
  for (;;) {
    while (Position < Size && Data[Position] != 0xFF) ++Position;
    while (Position < Size && Data[Position] == 0xFF) ++Position;
    if (Position >= Size) break;
    const std::uint8_t Marker = Data[Position++];
    if (Marker == 0xD9) {
      Ended = true;
      break;
    }
    if (Marker == 0x00 || Marker == 0x01 || IsRestart(Marker) || Marker == 0xD8) continue;
    if (Size - Position < 2) break;
    const std::size_t Length = SysUtils::Be16(&Data[Position]);
    if (Length < 2) return Layout;
    if (Size - Position < Length) break;
    const std::span<const std::uint8_t> Segment = Data.subspan(Position + 2, Length - 2);
    // Start of frame: every 0xCn but DHT (C4), JPG (C8) and DAC (CC).
    const bool StartOfFrame = (Marker & 0xF0) == 0xC0 && Marker != 0xC4 && Marker != 0xC8 && Marker != 0xCC;
    if (StartOfFrame && !Layout.HasFrame && Length >= 7) {
      Layout.Height = SysUtils::Be16(&Data[Position + 3]);
      Layout.Width = SysUtils::Be16(&Data[Position + 5]);
      Layout.HasFrame = true;
      CheckSize(Layout.Width, Layout.Height);
      // Huffman-coded frames: baseline and extended sequential, progressive.
      if (ReadFrame(Segment, Frame) && (Marker == 0xC0 || Marker == 0xC1 || Marker == 0xC2))
        Coded.emplace(Frame, Marker == 0xC2);
    }
    if (Marker == 0xC4 && !ReadTables(Segment, Tables)) Malformed = true;
    if (Malformed) Coded.reset();
    if (Marker == 0xDD && Segment.size() >= 2) RestartInterval = SysUtils::Be16(Segment.data());
    Position += Length;
    if (Marker == 0xDA) {
      ++Layout.Scans;
      const std::size_t Start = Position;
      Position = EndOfScan(Data, Position);
      if (Coded && Layout.Corrupt.empty())
        Layout.Corrupt = Coded->Scan(Segment, Data.subspan(Start, Position - Start), Tables, RestartInterval);
    }
  }
  Layout.CutShort = !Ended;
  return Layout;
}

}  // namespace Os::Win32
