// The bounded byte reader that every reader of outside bytes goes through,
// and the writer beside it.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "Classes.hpp"
#include "SysUtils.hpp"

using SysUtils::TByteReader;

namespace {

const std::vector<std::uint8_t> Six = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
constexpr std::uint64_t Huge = std::numeric_limits<std::uint64_t>::max();

}  // namespace

// Reads at and past the end, counts larger than what is left, and sub-ranges,
// which tell offsets in the whole source and name what they hold.
TEST(ByteReader, ReadsWithinItsBoundsAndTellsWhereItRanOut) {
  struct TCase {
    const char* What;
    std::function<std::uint64_t(TByteReader&)> Read;  // answers the last value read
    std::string Answer;                               // that value, or the fault
  } const Cases[] = {
      {"each width, little-endian", [](TByteReader& In) { return In.U8() + In.U16() + In.U16(); }, "2055"},
      {"32 bits little-endian", [](TByteReader& In) { return In.U32(); }, "67305985"},
      {"32 bits big-endian", [](TByteReader& In) { return In.U32Be(); }, "16909060"},
      {"everything, to the end", [](TByteReader& In) { return In.Bytes(6).size() + In.Left(); }, "6"},
      {"one byte past the end", [](TByteReader& In) { return In.Skip(6), In.U8("tail"); }, "src: offset 6: truncated tail"},
      {"a value cut by the end", [](TByteReader& In) { return In.Skip(4), In.U32("field"); }, "src: offset 4: truncated field"},
      {"64 bits from six bytes", [](TByteReader& In) { return In.U64("word"); }, "src: offset 0: truncated word"},
      {"a count larger than all", [](TByteReader& In) { return In.Bytes(7, "run").size(); }, "src: offset 0: truncated run"},
      {"a count that would wrap", [](TByteReader& In) { return In.Skip(1), In.Bytes(Huge, "run").size(); },
       "src: offset 1: truncated run"},
      {"an unnamed read", [](TByteReader& In) { return In.Skip(5), In.U16(); }, "src: offset 5: truncated data"},
      {"a peek leaves the position", [](TByteReader& In) { return In.Peek(6).size() + In.Position(); }, "6"},
      {"seeking to the end", [](TByteReader& In) { return In.Seek(6), In.Left(); }, "0"},
      {"seeking past the end", [](TByteReader& In) { return In.Seek(7, "table"), In.Left(); }, "src: offset 7: truncated table"},
      {"a sub-range holds its bytes", [](TByteReader& In) { return In.Skip(1), In.Sub(4, "part").U32(); }, "84148994"},
      {"a sub-range moves past them", [](TByteReader& In) { return In.Sub(4, "part"), In.U16(); }, "1541"},
      {"a sub-range ends where it was cut",
       [](TByteReader& In) {
         In.Skip(2);
         TByteReader Part = In.Sub(3, "part");
         return Part.U16(), Part.U16();
       },
       "src: offset 4: truncated part"},
      {"a read in a sub-range may name itself",
       [](TByteReader& In) { return In.Skip(2), In.Sub(3, "part").U32("length"); }, "src: offset 2: truncated length"},
      {"a sub-range longer than what is left", [](TByteReader& In) { return In.Skip(3), In.Sub(4, "part").Size(); },
       "src: offset 3: truncated part"},
      {"a range inside a range",
       [](TByteReader& In) { return In.Skip(1), In.Sub(4, "part").Range(1, 3, "inner").U16(); }, "1027"},
      {"a range past its range's end",
       [](TByteReader& In) { return In.Skip(1), In.Sub(4, "part").Range(2, 3, "inner").Size(); },
       "src: offset 3: truncated inner"},
      {"a range far past the end", [](TByteReader& In) { return In.Range(Huge, 1, "far").Size(); },
       "src: offset 18446744073709551615: truncated far"},
      {"a fault of the whole", [](TByteReader& In) { return In.Fail("not a record"), 0; }, "src: not a record"},
      {"a fault at a place", [](TByteReader& In) { return In.Skip(2), In.Sub(2, "part").FailAt(1, "bad byte"), 0; },
       "src: offset 3: bad byte"},
  };
  const std::string Source = "src";
  for (const TCase& C : Cases) {
    TByteReader In(Six, Source, SysUtils::RaiseFault<SysUtils::EPackageError>);
    std::string Answer;
    try {
      Answer = std::to_string(C.Read(In));
    } catch (const SysUtils::EPackageError& E) {
      Answer = E.Message();
    }
    EXPECT_EQ(Answer, C.Answer) << C.What;
  }
}

// Each reader raises the exception its owner chose; a stream reader keeps
// the fault's parts apart, as its hosts show them.
TEST(ByteReader, RaisesTheOwnersException) {
  const std::string Source = "form.dfm";
  const SysUtils::TRaiseFault AsReadError = [](const SysUtils::TByteFault& Fault) {
    throw Classes::EReadError(Fault.Source, Fault.Where, Fault.Fault);
  };
  TByteReader In(Six, Source, AsReadError);
  In.Skip(5);
  try {
    In.U16("integer");
    ADD_FAILURE() << "read past the end";
  } catch (const Classes::EReadError& E) {
    EXPECT_EQ(E.Message(), "form.dfm: offset 5: truncated integer");
    EXPECT_EQ(E.Source(), "form.dfm");
    EXPECT_EQ(E.Where(), "offset 5");
    EXPECT_EQ(E.Fault(), "truncated integer");
  }
}

TEST(ByteWriter, WritesWhatTheReaderReads) {
  SysUtils::TByteWriter Out;
  Out.U8(1).U16(0x0302).U32Be(0x04050607).Align(8).U64(0x0F0E0D0C0B0A0908).U16Be(0x1011).U32(0);
  Out.PutU32(Out.Size() - 4, 0x15141312);
  const std::vector<std::uint8_t> Expected = {1, 2, 3, 4, 5, 6, 7, 0, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21};
  EXPECT_EQ(Out.Data(), Expected);
  const std::string Source = "round trip";
  TByteReader In(Out.Data(), Source, SysUtils::RaiseFault<SysUtils::EPackageError>);
  EXPECT_EQ(In.U8(), 1);
  EXPECT_EQ(In.U16(), 0x0302);
  EXPECT_EQ(In.U32Be(), 0x04050607u);
  In.Skip(1);
  EXPECT_EQ(In.U64(), 0x0F0E0D0C0B0A0908u);
  EXPECT_EQ(In.U16Be(), 0x1011);
  EXPECT_EQ(In.U32(), 0x15141312u);
  EXPECT_TRUE(In.AtEnd());
}
