// The JPEG walk in front of the system's codec: markers, and the Huffman
// codes of sequential scans.
#include "os/win32/JpegWalk.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
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
// code length, the first and last code and where its symbols start.
struct THuffman {
  bool Defined = false;
  std::array<std::int32_t, 17> MinCode{}, MaxCode{}, First{};
  std::array<std::uint8_t, 256> Values{};
};
using TTables = std::array<THuffman, 8>;  // DC 0-3, then AC 0-3

// A DHT segment's tables; false where it is malformed (left to the codec).
bool ReadTables(std::span<const std::uint8_t> Segment, TTables& Tables) {
  for (std::size_t Position = 0; Position < Segment.size();) {
    if (Segment.size() - Position < 17) return false;
    const std::uint8_t Class = Segment[Position] >> 4, Id = Segment[Position] & 15;
    if (Class > 1 || Id > 3) return false;
    THuffman& Table = Tables[Class * 4 + Id];
    std::int32_t Code = 0, Count = 0;
    for (int Length = 1; Length <= 16; ++Length) {
      const int Codes = Segment[Position + Length];
      Table.First[Length] = Count, Table.MinCode[Length] = Code;
      Table.MaxCode[Length] = Codes ? Code + Codes - 1 : -1;
      Code = (Code + Codes) << 1, Count += Codes;
    }
    if (Count > 256 || Segment.size() - Position - 17 < std::size_t(Count)) return false;
    std::copy_n(Segment.begin() + std::ptrdiff_t(Position + 17), Count, Table.Values.begin());
    Table.Defined = true;
    Position += 17 + std::size_t(Count);
  }
  return true;
}

// The bits of a scan's coded data, stuffed bytes taken out; they end at a
// marker (a restart marker or the end of the scan).
class TBits {
public:
  explicit TBits(std::span<const std::uint8_t> Data) : FData(Data) {}
  // The next bit, or -1 at a marker.
  int Bit() {
    if (FCount == 0 && !Fill()) return -1;
    --FCount;
    return (FByte >> FCount) & 1;
  }
  bool Skip(int Count) {
    while (Count-- > 0)
      if (Bit() < 0) return false;
    return true;
  }
  // The next symbol of the table: -1 at a marker, -2 for a code it lacks.
  int Decode(const THuffman& Table) {
    std::int32_t Code = 0;
    for (int Length = 1; Length <= 16; ++Length) {
      const int Next = Bit();
      if (Next < 0) return -1;
      Code = Code << 1 | Next;
      if (Code <= Table.MaxCode[Length]) return Table.Values[std::size_t(Table.First[Length] + Code - Table.MinCode[Length])];
    }
    return -2;
  }
  // Drops the bits left in the byte and passes over the restart marker that
  // must follow, after any stray bytes; false where there is none.
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
  bool Fill() {
    if (FPosition >= FData.size()) return false;
    FByte = FData[FPosition++];
    if (FByte == 0xFF) {
      if (FPosition >= FData.size() || FData[FPosition] != 0x00) {
        --FPosition;
        return false;
      }
      ++FPosition;
    }
    FCount = 8;
    return true;
  }
  std::span<const std::uint8_t> FData;
  std::size_t FPosition = 0;
  std::uint32_t FByte = 0;
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

// Decodes the codes of a sequential scan: its header Segment, its coded
// Data. Answers the fault, or nothing; a header the codec would refuse is
// left to it.
std::string DecodeScan(std::span<const std::uint8_t> Segment, std::span<const std::uint8_t> Data, const TFrame& Frame,
                       const TTables& Tables, unsigned RestartInterval) {
  struct TCoded {
    const TComponent* Component;
    const THuffman *Dc, *Ac;
  };
  std::vector<TCoded> Coded;
  const std::size_t Count = Segment.empty() ? 0 : Segment[0];
  if (Count == 0 || Segment.size() < 1 + 2 * Count + 3) return {};
  for (std::size_t I = 0; I < Count; ++I) {
    const std::uint8_t Id = Segment[1 + 2 * I], Dc = Segment[2 + 2 * I] >> 4, Ac = Segment[2 + 2 * I] & 15;
    const auto Found = std::find_if(Frame.Components.begin(), Frame.Components.end(),
                                    [Id](const TComponent& C) { return C.Id == Id; });
    if (Found == Frame.Components.end() || Dc > 3 || Ac > 3) return {};
    for (const int Table : {int(Dc), 4 + Ac})
      if (!Tables[std::size_t(Table)].Defined) {
        char Fault[64];
        std::snprintf(Fault, sizeof Fault, "Huffman table 0x%02x was not defined", Table < 4 ? Table : 0x10 + Table - 4);
        return Fault;
      }
    Coded.push_back({&*Found, &Tables[Dc], &Tables[4 + Ac]});
  }
  // One block of a component coded alone is a unit; otherwise each unit
  // holds every component's H x V blocks.
  const bool Alone = Coded.size() == 1;
  const std::uint64_t Units = Alone ? Frame.Across(*Coded[0].Component) * Frame.Down(*Coded[0].Component)
                                    : ((Frame.Width + 8 * Frame.HMax - 1) / (8 * Frame.HMax)) *
                                          std::uint64_t((Frame.Height + 8 * Frame.VMax - 1) / (8 * Frame.VMax));
  TBits Bits(Data);
  for (std::uint64_t Unit = 0; Unit < Units; ++Unit) {
    if (RestartInterval && Unit && Unit % RestartInterval == 0 && !Bits.Restart()) return NoRestart;
    for (const TCoded& C : Coded)
      for (int Block = 0; Block < (Alone ? 1 : C.Component->H * C.Component->V); ++Block) {
        int Symbol = Bits.Decode(*C.Dc);
        if (Symbol >= 0 && !Bits.Skip(Symbol)) Symbol = -1;
        for (int K = 1; K < 64 && Symbol >= 0;) {
          Symbol = Bits.Decode(*C.Ac);
          if (Symbol < 0) break;
          const int Run = Symbol >> 4, Size = Symbol & 15;
          if (Size == 0 && Run != 15) break;  // end of block
          K += Run + 1;
          if (!Bits.Skip(Size)) Symbol = -1;
        }
        if (Symbol == -1) return PrematureEnd;
        if (Symbol == -2) return BadCode;
      }
  }
  return {};
}

}  // namespace

TJpegLayout WalkJpeg(std::span<const std::uint8_t> Data) {
  TJpegLayout Layout;
  TTables Tables;
  TFrame Frame;
  bool Sequential = false, Progressive = false;
  unsigned RestartInterval = 0;
  std::uint64_t CodedBytes = 0;
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
      // Huffman-coded frames: baseline and extended sequential, progressive.
      const bool Known = ReadFrame(Segment, Frame);
      Sequential = Known && (Marker == 0xC0 || Marker == 0xC1);
      Progressive = Known && Marker == 0xC2;
    }
    if (Marker == 0xC4 && !ReadTables(Segment, Tables)) Sequential = Progressive = false;
    if (Marker == 0xDD && Segment.size() >= 2) RestartInterval = SysUtils::Be16(Segment.data());
    Position += Length;
    if (Marker == 0xDA) {
      ++Layout.Scans;
      const std::size_t Start = Position;
      Position = EndOfScan(Data, Position);
      CodedBytes += Position - Start;
      if (Sequential && Layout.Corrupt.empty())
        Layout.Corrupt = DecodeScan(Segment, Data.subspan(Start, Position - Start), Frame, Tables, RestartInterval);
    }
  }
  Layout.CutShort = !Ended;
  // Every block of a progressive picture's first DC scan takes a code of at
  // least one bit: a file of a few kilobytes cannot hold millions of blocks.
  if (Progressive && Layout.Corrupt.empty()) {
    std::uint64_t Fewest = UINT64_MAX;
    for (const TComponent& C : Frame.Components) Fewest = std::min(Fewest, Frame.Across(C) * Frame.Down(C));
    if (CodedBytes * 8 < Fewest) Layout.Corrupt = PrematureEnd;
  }
  return Layout;
}

}  // namespace Os::Win32
