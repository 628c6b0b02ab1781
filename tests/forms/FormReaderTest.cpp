// Form files built by hand, a field at a time: every value type, and every
// fault refused with its offset or line, leaving nothing behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>

#include "Classes.hpp"
#include "FormHelpers.hpp"
#include "Forms.hpp"
#include "LvFltImg.hpp"
#include "../fuzz/FuzzTargets.hpp"
#include "common/Seeds.hpp"

using namespace FormHelpers;

namespace {

// A TStored named F with one property P holding the value bytes given.
Bytes WithValue(const Bytes& Value) {
  return TStored().Str("TForm").Str("F").Str("P").Raw(Value).U8(0).U8(0).Data;
}

}  // namespace

TEST(FormFile, EveryValueTypeConvertsToTextAndBack) {
  // Value bytes (type byte first), the text form.
  const std::pair<Bytes, std::string> Cases[] = {
      {{2, 0xF6}, "-10"},                                    // vaInt8
      {{3, 0x00, 0x80}, "-32768"},                           // vaInt16
      {{4, 0x00, 0x00, 0x00, 0x80}, "-2147483648"},          // vaInt32
      {{19, 0, 0, 0, 0, 1, 0, 0, 0}, "4294967296"},          // vaInt64
      {{5, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0x3F}, "1.5"},   // vaExtended: 1.5 in 80 bits
      {{15, 0, 0, 0xC0, 0x3F}, "1.5s"},                      // vaSingle
      {{17, 0, 0, 0, 0, 0, 0, 0xF8, 0x3F}, "1.5d"},          // vaDate
      {{16, 0x98, 0x3A, 0, 0, 0, 0, 0, 0}, "1.5000c"},       // vaCurrency: 15000 ten-thousandths
      {{16, 0, 0, 0, 0, 0, 0, 0, 0x80}, "-922337203685477.5808c"},  // the smallest, exact through text
      {{16, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}, "922337203685477.5807c"},
      {{6, 3, 'a', '\'', 'b'}, "'a''b'"},                    // vaString
      {{6, 2, 'a', 10}, "'a'#10"},                           // a control character
      {{12, 2, 0, 0, 0, 'h', 'i'}, "'hi'"},                  // vaLString (short: comes back as vaString)
      {{18, 2, 0, 0, 0, 'h', 0, 0xAC, 0x20}, "'h'#8364"},    // vaWString: h and the euro sign
      {{18, 1, 0, 0, 0, 0xE9, 0}, "#233"},                  // an e acute stays that character
      {{7, 5, 'a', 'l', 'T', 'o', 'p'}, "alTop"},            // vaIdent
      {{8}, "False"},
      {{9}, "True"},
      {{13}, "nil"},
      {{10, 3, 0, 0, 0, 0xDE, 0xAD, 0x01}, "{\n    DEAD01}"},  // vaBinary
      {{11, 6, 'a', 'k', 'L', 'e', 'f', 't', 0}, "[akLeft]"},    // vaSet
      {{1, 2, 1, 2, 2, 0}, "(\n    1\n    2)"},                  // vaList
      {{1, 6, 1, 'a', 6, 1, 'b', 0}, "(\n    'a'\n    'b')"},  // strings on their own lines stay two
      {{14, 1, 5, 'C', 'o', 'l', 'o', 'r', 2, 5, 0, 0}, "<\n    item\n      Color = 5\n    end>"},  // vaCollection
  };
  for (const auto& [Value, Expected] : Cases) {
    SCOPED_TRACE(Expected);
    const Bytes Form = WithValue(Value);
    const std::string Converted = AsText(Form);
    EXPECT_EQ(Converted, "object F: TForm\n  P = " + Expected + "\nend\n") << Expected;
    EXPECT_EQ(AsText(AsBinary(Converted)), Converted) << Expected;
  }
  // The prefix byte is kept through text: inherited, inline, a child position.
  const Bytes Flags = TStored().U8(0xF3).U8(2).U8(4).Str("TForm").Str("F").U8(0).U8(0).Data;
  EXPECT_EQ(AsText(Flags), "inherited F: TForm [4]\nend\n");
  EXPECT_EQ(AsBinary(AsText(Flags)), Flags);
}

TEST(FormFile, MalformedFormsAreRefusedWithTheirOffsetOrLine) {
  // Bytes, the fault and where it is said to be.
  const std::pair<Bytes, std::string> Binaries[] = {
      {{'T', 'P', 'F', '1'}, "offset 0: not a binary form"},
      {TStored().Data, "offset 4: truncated object"},
      {TStored().Str("TForm").Str("F").Str("P").U8(21).Data, "offset 14: P: unknown value type 21"},
      {TStored().Str("TForm").Str("F").Str("P").U8(12).U32(1000).Data, "offset 14: length 1000 past the end"},
      {TStored().Str("TForm").Str("F").Str("P").U8(18).U32(0x80000000).Data, "past the end"},
      {TStored().Str("TForm").Str("F").Str("P").U8(18).U32(1).U16(0xD800).U8(0).U8(0).Data, "unpaired surrogate"},
      {TStored().Str("TForm").Str("F").Str("P").U8(6).U8(9).Data, "truncated string"},
      {TStored().Str("TForm").Str("F").U8(0).U8(0).U8(0).Data, "1 byte after the form"},
      {TStored().Str("").Data, "offset 4: empty class name"},
      // Names the text form could not write back: not identifiers.
      {TStored().Str("TForm").Str("F").Str("On\nClick").U8(8).U8(0).U8(0).Data, "offset 12: property name is no identifier"},
      {TStored().Str("TForm").Str("F 1").Data, "offset 10: component name is no identifier"},
      {TStored().Str("TForm").Str("F").Str("P").U8(7).Str("1st").Data, "offset 15: identifier value is no identifier"},
      {TStored().Str("TForm").Str("F").Str("end").U8(8).U8(0).U8(0).Data, "offset 12: property name is no identifier"},
  };
  for (const auto& [Data, Fault] : Binaries) {
    try {
      AsText(Data);
      ADD_FAILURE() << "accepted; expected " << Fault;
    } catch (const Classes::EReadError& E) {
      EXPECT_NE(E.Message().find(Fault), std::string::npos) << E.Message();
    }
  }
  // More values than a form may hold, however small each.
  TStored Many;
  Many.Str("TForm").Str("F").Str("P").U8(1);
  for (int I = 0; I < 300000; ++I) Many.U8(8);
  try {
    AsText(Many.Data);
    ADD_FAILURE() << "accepted 300000 values";
  } catch (const Classes::EReadError& E) {
    EXPECT_NE(E.Message().find("more than 250000 values"), std::string::npos) << E.Message();
  }
  // Lists nested deeper than the reader goes.
  TStored Deep;
  Deep.Str("TForm").Str("F").Str("P");
  for (int I = 0; I < 100; ++I) Deep.U8(1);
  EXPECT_THROW(AsText(Deep.Data), Classes::EReadError);

  const std::pair<std::string, std::string> Texts[] = {
      {"object " + std::string(256, 'F') + ": TForm\nend\n", "line 1: a component name longer than 255 characters"},
      {"object F: T" + std::string(255, 'F') + "\nend\n", "line 1: a class name longer than 255 characters"},
      {"object F: TForm\n  P = 'open\nend\n", "line 2: unterminated string"},
      {"object F: TForm\n  P = {ABC}\nend\n", "line 2: an odd number of hex digits"},
      {"object F: TForm\n  P = 12x\nend\n", "line 2: not a number"},
      {"object F: TForm\n  P = #55296\nend\n", "line 2: an unpaired surrogate"},
      {"object F: TForm\n\n  P 5\nend\n", "line 3: expected '='"},
      // A fault is told on its own line, not where the reader noticed it.
      {"object F: TForm\n  P =\n  Q = 3\nend\n", "line 2: P: expected a value after '='"},
      {"object F: TForm\n  P = [fsBold\n  Q = 3\nend\n", "line 2: expected ',' or ']'"},
      {"thing F: TStored\nend\n", "line 1: expected object, inherited or inline"},
      {"object F: TForm\nend\nend\n", "line 3: text after the last end"},
      {"object F: TForm\n  P = 99999999999999999999\nend\n", "not an integer"},
      {"object F: TForm\n  P = 1.23456c\nend\n", "line 2: a currency value has digits, a point and at most four decimals"},
      {"object F: TForm\n  P = -abc\nend\n", "line 2: not a number: -abc"},
      {"object F: TForm\n  a. = 1\nend\n", "line 2: a property, an object or end: a. is no name"},
      {"object F: TForm\n  P = 1e300s\nend\n", "line 2: out of range for a single"},
      {"object F: TForm\n  P = 922337203685477.5808c\nend\n", "line 2: currency value out of range"},
      {"object F: TForm\n  P = 1e99999\nend\n", "line 2: out of range for an extended: 1e99999"},
      {"object F: " + std::string(240, 'T') + "\nend\n", "line 1: a class name of 240 bytes or more"},
      {"object F: TForm\n  P = \x1b\nend\n", "line 2: expected a value, found '\\x1B'"},
      {std::string("object F: TForm\n  P = \0\nend\n", 23), "line 2: expected a value, found '\\x00'"},
      {"object F: TForm\n  P = 1" + std::string(1 << 20, '0') + "x\nend\n", "not a number: 1000"},
  };
  for (const auto& [Source, Fault] : Texts) {
    try {
      AsBinary(Source);
      ADD_FAILURE() << "accepted; expected " << Fault;
    } catch (const Classes::EReadError& E) {
      EXPECT_NE(E.Message().find(Fault), std::string::npos) << E.Message();
      // One short line of printable text, whatever the file held.
      EXPECT_LT(E.Message().size(), 200u) << E.Message();
      EXPECT_TRUE(std::all_of(E.Message().begin(), E.Message().end(), [](char C) { return C >= 0x20 && C < 0x7F; }))
          << E.Message();
    }
  }
}

TEST(FormFile, AFailedReadLeavesNothingBehindAndTheRootAsItWas) {
  TypInfo::RegisterClass(Forms::TForm::ClassInfo());
  TypInfo::RegisterClass(LvFltImg::TLvFilterImage::ClassInfo());
  auto Image = [](TStored& F, const std::string& Name) -> TStored& { return F.Str("TLvFilterImage").Str(Name); };
  // A form whose root property and first child are good, and whose second
  // child has the fault.
  auto Faulty = [&](const std::function<void(TStored&)>& Fault) {
    TStored F;
    F.Str("TForm").Str("Form1").Str("Tag").U8(2).U8(7).U8(0);
    Image(F, "Good").Str("Left").U8(2).U8(3).U8(0).U8(0);
    Fault(F);
    return F.U8(0).Data;
  };
  const std::pair<std::function<void(TStored&)>, std::string> Cases[] = {
      {[&](TStored& F) { Image(F, "Bad").Str("Bogus").U8(2).U8(1).U8(0).U8(0); }, "unknown property Bogus of TLvFilterImage"},
      {[&](TStored& F) { F.Str("TNoSuchClass").Str("X").U8(0).U8(0); }, "unknown class TNoSuchClass"},
      {[&](TStored& F) { Image(F, "Bad").Str("Stretch").U8(2).U8(1).U8(0).U8(0); }, "Stretch: expected True or False, found an integer"},
      {[&](TStored& F) { Image(F, "Good").U8(0).U8(0); }, "the name Good is used twice"},
      {[&](TStored& F) { Image(F, "Bad").Str("Align").U8(7).Str("alSideways").U8(0).U8(0); }, "alSideways is not a TAlign"},
      {[&](TStored& F) { Image(F, "Bad").Str("OnClick").U8(7).Str("Missing").U8(0).U8(0); }, "no event handler named Missing"},
      {[&](TStored& F) { Image(F, "Bad").Str("PopupMenu").U8(7).Str("Good").U8(0).U8(0); }, "Good is not a TPopupMenu"},
      {[&](TStored& F) { Image(F, "Bad").Str("Picture.Data").U8(10).U32(3).Raw({1, 'T', 0}).U8(0).U8(0); }, "Picture.Data"},
  };
  for (const auto& [Fault, Message] : Cases) {
    Forms::TForm Root(nullptr);
    Root.SetName("Form1");
    Root.SetTag(1);
    const Bytes Data = Faulty(Fault);
    try {
      Classes::TMemoryStream Stream(Data);
      Stream.ReadComponent(&Root);
      ADD_FAILURE() << "accepted; expected " << Message;
    } catch (const Classes::EReadError& E) {
      EXPECT_NE(E.Message().find(Message), std::string::npos) << E.Message();
      EXPECT_NE(E.Message().find("offset "), std::string::npos) << E.Message();
    }
    EXPECT_EQ(Root.ComponentCount(), 0) << Message;
    EXPECT_EQ(Root.Tag(), 1) << Message << ": the root keeps its properties";
  }
}

namespace {

// A BMP of Width x Height 8-bit pixels in 64 bytes: run-length encoded,
// with only the end-of-bitmap escape, so that it declares much and holds
// nothing. Little-endian fields, as in the file.
Bytes RleBitmap(std::uint32_t Width, std::uint32_t Height) {
  TStored B;
  B.Data.clear();
  B.U8('B').U8('M').U32(64).U32(0).U32(62);             // file header: size, reserved, pixel offset
  B.U32(40).U32(Width).U32(Height).U16(1).U16(8).U32(1);  // info header: planes, 8 bits, RLE8
  B.U32(2).U32(0).U32(0).U32(2).U32(0);                 // data size, resolution, 2 colours
  B.U32(0).U32(0xFFFFFF);                                 // black, white
  return B.U8(0).U8(1).Data;                              // end of bitmap
}

std::string Hex(const Bytes& Data) {
  static const char Digits[] = "0123456789ABCDEF";
  std::string Text;
  for (const std::uint8_t B : Data) Text += {Digits[B >> 4], Digits[B & 15]};
  return Text;
}

}  // namespace

TEST(FormFile, ThePicturesOfOneFormShareOnePixelBudget) {
  TypInfo::RegisterClass(Forms::TForm::ClassInfo());
  TypInfo::RegisterClass(LvFltImg::TLvFilterImage::ClassInfo());
  struct TRestore {
    Graphics::TImageLimits Saved = Graphics::GetImageLimits();
    ~TRestore() { Graphics::SetImageLimits(Saved); }
  } Restore;
  Graphics::SetImageLimits({1024, 1 << 20, 1 << 20});  // a side, a picture, a form
  // The filters' sides, and which filter the form is refused at (-1: it reads).
  const std::pair<std::vector<std::pair<std::uint32_t, std::uint32_t>>, int> Cases[] = {
      {{{1024, 512}, {512, 1024}}, -1},        // the whole budget, read on a scratch root and then the real one
      {{{1024, 512}, {512, 1024}, {1, 1}}, 2},  // one pixel more
      {std::vector<std::pair<std::uint32_t, std::uint32_t>>(8, {1024, 1024}), 1},  // each at its own limit
  };
  for (const auto& [Filters, RefusedAt] : Cases) {
    std::string Text = "object Form1: TForm\n";
    std::vector<int> Lines;
    for (std::size_t I = 0; I < Filters.size(); ++I) {
      Lines.push_back(3 + 3 * int(I));
      const Bytes Bitmap = RleBitmap(Filters[I].first, Filters[I].second);
      Text += "  object Image" + std::to_string(I) + ": TLvFilterImage\n    FilterBitMap.Data = {" +
              Hex({std::uint8_t(Bitmap.size()), 0, 0, 0}) + Hex(Bitmap) + "}\n  end\n";
    }
    Text += "end\n";
    SCOPED_TRACE(Filters.size());
    Forms::TForm Root(nullptr);
    Classes::TMemoryStream Stream(Bytes(Text.begin(), Text.end()));
    try {
      Classes::ReadComponentText(Stream, &Root);
      EXPECT_EQ(RefusedAt, -1) << "read";
      EXPECT_EQ(Root.ComponentCount(), int(Filters.size()));
    } catch (const Classes::EReadError& E) {
      ASSERT_NE(RefusedAt, -1) << E.Message();
      const std::string Where = "form: line " + std::to_string(Lines[RefusedAt]) + ": FilterBitMap.Data: ";
      EXPECT_EQ(E.Message().rfind(Where, 0), 0u) << E.Message();
      EXPECT_NE(E.Message().find("past the limit of 1048576 pixels in all"), std::string::npos) << E.Message();
      EXPECT_EQ(Root.ComponentCount(), 0);
    }
  }
}

TEST(FormFile, FuzzSeedsRunCleanly) {
  // Target, its seed folder.
  const std::pair<int (*)(const std::uint8_t*, std::size_t), const char*> Targets[] = {
      {Fuzz::FormBinary, "FormBinary"}, {Fuzz::FormText, "FormText"}};
  for (const auto& [Target, Folder] : Targets) Seeds::RunAll(Target, Folder);
}
