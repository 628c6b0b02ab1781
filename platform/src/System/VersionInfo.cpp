// The version block: a tree of nodes, each
//   u16 wLength; u16 wValueLength; u16 wType (0 binary, 1 text);
//   key in UTF-16LE with its NUL; padding to 4; value; padding to 4; children.
// wLength covers the node from its first byte to the end of its value or of
// its last child, without the padding that may follow. Padding is counted
// from the start of the block. wValueLength counts bytes for a binary value
// and UTF-16 units, the NUL included, for text.
//
// The tree has a fixed shape: VS_VERSION_INFO with the 52-byte fixed part,
// then StringFileInfo > one string table > String nodes, and VarFileInfo >
// Translation. The reader walks exactly that shape, one level per function,
// so a hostile block cannot nest deeper than four levels.
#include <algorithm>
#include <cctype>
#include <iterator>
#include <string_view>

#include "SysUtils.hpp"
#include "os/Os.hpp"

namespace SysUtils {
namespace {

constexpr std::uint16_t BinaryValue = 0, TextValue = 1;
constexpr std::size_t HeaderSize = 6;
constexpr std::size_t MaxNodeLength = 0xFFFF;
constexpr std::uint32_t FixedSignature = 0xFEEF04BD;

constexpr std::uint32_t TFixedFileInfo::*FixedFields[] = {
    &TFixedFileInfo::Signature,        &TFixedFileInfo::StrucVersion,    &TFixedFileInfo::FileVersionMS,
    &TFixedFileInfo::FileVersionLS,    &TFixedFileInfo::ProductVersionMS, &TFixedFileInfo::ProductVersionLS,
    &TFixedFileInfo::FileFlagsMask,    &TFixedFileInfo::FileFlags,       &TFixedFileInfo::FileOS,
    &TFixedFileInfo::FileType,         &TFixedFileInfo::FileSubtype,     &TFixedFileInfo::FileDateMS,
    &TFixedFileInfo::FileDateLS};
constexpr std::size_t FixedSize = 4 * std::size(FixedFields);

std::size_t Align4(std::size_t Offset) { return (Offset + 3) & ~std::size_t(3); }

// A string table's key is the translation it holds, language and code
// page, as eight hexadecimal digits.
bool IsTranslationKey(const std::string& Key) {
  return Key.size() == 8 &&
         std::all_of(Key.begin(), Key.end(), [](char C) { return std::isxdigit(std::uint8_t(C)) != 0; });
}

std::uint16_t Le16(const std::uint8_t* P) { return std::uint16_t(P[0] | P[1] << 8); }
std::uint32_t Le32(const std::uint8_t* P) { return Le16(P) | std::uint32_t(Le16(P + 2)) << 16; }

[[noreturn]] void EncodeFault(const std::string& Fault) { throw EPackageError("version block: " + Fault); }

// One code point of UTF-8 at Pos, which it moves past; U+FFFFFFFF when the
// bytes are not well-formed (overlong forms and surrogates included).
char32_t NextCodePoint(std::string_view Text, std::size_t& Pos) {
  constexpr char32_t Bad = 0xFFFFFFFF;
  constexpr std::uint8_t LeadMask[] = {0x7F, 0x1F, 0x0F, 0x07};
  constexpr char32_t Smallest[] = {0, 0x80, 0x800, 0x10000};
  const auto Lead = std::uint8_t(Text[Pos++]);
  const int Extra = Lead < 0x80 ? 0 : Lead < 0xC0 ? -1 : Lead < 0xE0 ? 1 : Lead < 0xF0 ? 2 : Lead < 0xF8 ? 3 : -1;
  if (Extra < 0 || std::size_t(Extra) > Text.size() - Pos) return Bad;
  char32_t Code = Lead & LeadMask[Extra];
  for (int I = 0; I < Extra; ++I) {
    const auto Next = std::uint8_t(Text[Pos++]);
    if ((Next & 0xC0) != 0x80) return Bad;
    Code = Code << 6 | (Next & 0x3F);
  }
  if (Code < Smallest[Extra] || (Code >= 0xD800 && Code < 0xE000) || Code > 0x10FFFF) return Bad;
  return Code;
}

// Text as UTF-16LE units followed by the terminating NUL.
std::vector<std::uint8_t> Utf16Z(std::string_view Text, const std::string& What) {
  std::vector<std::uint8_t> Bytes;
  const auto Unit = [&](char32_t U) { Bytes.insert(Bytes.end(), {std::uint8_t(U), std::uint8_t(U >> 8)}); };
  for (std::size_t Pos = 0; Pos < Text.size();) {
    const char32_t Code = NextCodePoint(Text, Pos);
    if (Code == 0xFFFFFFFF) EncodeFault(What + " is not valid UTF-8");
    if (Code == 0) EncodeFault(What + " contains NUL");
    if (Code < 0x10000) {
      Unit(Code);
    } else {
      Unit(0xD800 + ((Code - 0x10000) >> 10));
      Unit(0xDC00 + ((Code - 0x10000) & 0x3FF));
    }
  }
  Unit(0);
  return Bytes;
}

void AppendUtf8(std::string& Out, char32_t Code) {
  if (Code < 0x80) {
    Out += char(Code);
  } else if (Code < 0x800) {
    Out += {char(0xC0 | Code >> 6), char(0x80 | (Code & 0x3F))};
  } else if (Code < 0x10000) {
    Out += {char(0xE0 | Code >> 12), char(0x80 | (Code >> 6 & 0x3F)), char(0x80 | (Code & 0x3F))};
  } else {
    Out += {char(0xF0 | Code >> 18), char(0x80 | (Code >> 12 & 0x3F)), char(0x80 | (Code >> 6 & 0x3F)),
            char(0x80 | (Code & 0x3F))};
  }
}

class TBlockWriter {
public:
  // Starts a node at the next 4-byte boundary and answers where it starts;
  // the value, if any, follows through Value, children through Begin.
  std::size_t Begin(const std::string& Key, std::uint16_t Type, std::uint16_t ValueLength) {
    Align();
    const std::size_t Start = FBytes.size();
    for (const std::uint16_t Field : {std::uint16_t(0), ValueLength, Type}) U16(Field);
    const auto KeyBytes = Utf16Z(Key, "key \"" + PrintableText(Key) + "\"");
    FBytes.insert(FBytes.end(), KeyBytes.begin(), KeyBytes.end());
    return Start;
  }
  void Value(std::span<const std::uint8_t> Bytes) {
    Align();
    FBytes.insert(FBytes.end(), Bytes.begin(), Bytes.end());
  }
  // Lengths are 16-bit: a node that outgrows them is refused here, which also
  // catches a value whose wValueLength was cut short when it was written.
  void End(std::size_t Start, const std::string& Key) {
    const std::size_t Length = FBytes.size() - Start;
    if (Length > MaxNodeLength)
      EncodeFault("node \"" + PrintableText(Key) + "\" needs " + std::to_string(Length) + " bytes, more than 65535");
    FBytes[Start] = std::uint8_t(Length);
    FBytes[Start + 1] = std::uint8_t(Length >> 8);
  }
  std::vector<std::uint8_t> Take() { return std::move(FBytes); }

private:
  void U16(std::uint16_t V) { FBytes.insert(FBytes.end(), {std::uint8_t(V), std::uint8_t(V >> 8)}); }
  void Align() { FBytes.resize(Align4(FBytes.size())); }
  std::vector<std::uint8_t> FBytes;
};

// A leaf node with a value and no children.
void WriteLeaf(TBlockWriter& Out, const std::string& Key, std::uint16_t Type, std::uint16_t ValueLength,
               std::span<const std::uint8_t> Value) {
  const std::size_t Node = Out.Begin(Key, Type, ValueLength);
  Out.Value(Value);
  Out.End(Node, Key);
}

void WriteStringFileInfo(TBlockWriter& Out, const TVersionInfo& Info) {
  const std::size_t FileInfo = Out.Begin("StringFileInfo", TextValue, 0);
  const std::size_t Table = Out.Begin(Info.StringTableKey, TextValue, 0);
  for (const TVersionString& String : Info.Strings) {
    // An empty value is still stored as its NUL: one unit long.
    const auto Value = Utf16Z(String.Value, "value of \"" + PrintableText(String.Key) + "\"");
    WriteLeaf(Out, String.Key, TextValue, std::uint16_t(Value.size() / 2), Value);
  }
  Out.End(Table, Info.StringTableKey);
  Out.End(FileInfo, "StringFileInfo");
}

void WriteVarFileInfo(TBlockWriter& Out, const std::vector<std::uint32_t>& Translations) {
  std::vector<std::uint8_t> Value;
  for (const std::uint32_t T : Translations)
    Value.insert(Value.end(), {std::uint8_t(T), std::uint8_t(T >> 8), std::uint8_t(T >> 16), std::uint8_t(T >> 24)});
  const std::size_t FileInfo = Out.Begin("VarFileInfo", TextValue, 0);
  WriteLeaf(Out, "Translation", BinaryValue, std::uint16_t(Value.size()), Value);
  Out.End(FileInfo, "VarFileInfo");
}

// A node as read: its key, its value's bytes, and the extent of its children,
// all as offsets into the block.
struct TNode {
  std::string Key;
  std::uint16_t Type = 0;
  std::uint16_t ValueLength = 0;
  std::span<const std::uint8_t> Value;
  std::size_t Start = 0, ChildrenBegin = 0, End = 0;
  bool HasChildren() const { return ChildrenBegin < End; }
};

class TBlockReader {
public:
  TBlockReader(std::span<const std::uint8_t> Data, const std::string& Where) : FData(Data), FWhere(Where) {}

  [[noreturn]] void Fail(const std::string& Fault) const { throw EPackageError(FWhere + ": " + Fault); }

  // The node at Offset, which must end by Limit, the end of its parent.
  TNode Node(std::size_t Offset, std::size_t Limit, const std::string& Parent) const {
    const std::string What = "node at offset " + std::to_string(Offset) + " in " + Parent;
    if (Limit - Offset < HeaderSize) Fail(What + ": header truncated");
    TNode N;
    N.Start = Offset;
    const std::size_t Length = Le16(&FData[Offset]);
    N.ValueLength = Le16(&FData[Offset + 2]);
    N.Type = Le16(&FData[Offset + 4]);
    if (Length < HeaderSize + 2 || Length % 2 != 0) Fail(What + ": bad length " + std::to_string(Length));
    if (Length > Limit - Offset)
      Fail(What + ": length " + std::to_string(Length) + " runs past its parent, which has " +
           Os::ByteCount(Limit - Offset) + " left");
    if (N.Type != BinaryValue && N.Type != TextValue) Fail(What + ": unknown value type " + std::to_string(N.Type));
    N.End = Offset + Length;

    std::size_t KeyEnd = Offset + HeaderSize;
    while (KeyEnd < N.End && Le16(&FData[KeyEnd]) != 0) KeyEnd += 2;
    if (KeyEnd == N.End) Fail(What + ": key not terminated");
    N.Key = Text(FData.subspan(Offset + HeaderSize, KeyEnd - Offset - HeaderSize), What + ": key");

    const std::size_t ValueStart = Align4(KeyEnd + 2);
    const std::size_t ValueBytes = std::size_t(N.ValueLength) * (N.Type == TextValue ? 2 : 1);
    if (ValueBytes > 0 && (ValueStart > N.End || ValueBytes > N.End - ValueStart))
      Fail(What + " \"" + PrintableText(N.Key) + "\": value of " + Os::ByteCount(ValueBytes) + " runs past the node");
    if (ValueBytes > 0) N.Value = FData.subspan(ValueStart, ValueBytes);
    N.ChildrenBegin = std::min(Align4(ValueStart + ValueBytes), N.End);
    return N;
  }

  // Children start on 4-byte boundaries; each is at least one header long,
  // so the walk always moves on.
  std::vector<TNode> Children(const TNode& Parent) const {
    std::vector<TNode> Result;
    for (std::size_t Pos = Parent.ChildrenBegin; Pos < Parent.End; Pos = Align4(Result.back().End))
      Result.push_back(Node(Pos, Parent.End, PrintableText(Parent.Key)));
    return Result;
  }

  // UTF-16LE to UTF-8; an unpaired surrogate has no UTF-8 form.
  std::string Text(std::span<const std::uint8_t> Bytes, const std::string& What) const {
    std::string Result;
    for (std::size_t I = 0; I + 1 < Bytes.size(); I += 2) {
      char32_t Code = Le16(&Bytes[I]);
      if (Code >= 0xD800 && Code < 0xE000) {
        const char32_t Low = I + 3 < Bytes.size() ? Le16(&Bytes[I + 2]) : 0;
        if (Code >= 0xDC00 || Low < 0xDC00 || Low >= 0xE000) Fail(What + " has an unpaired surrogate");
        Code = 0x10000 + ((Code - 0xD800) << 10) + (Low - 0xDC00);
        I += 2;
      }
      AppendUtf8(Result, Code);
    }
    return Result;
  }

  void Expect(const TNode& N, std::uint16_t Type, bool Leaf) const {
    if (N.Type != Type) Fail("\"" + PrintableText(N.Key) + "\" has value type " + std::to_string(N.Type));
    if (Leaf && N.HasChildren())
      Fail("\"" + PrintableText(N.Key) + "\" has " + Os::ByteCount(N.End - N.ChildrenBegin) + " after its value");
    if (!Leaf && N.ValueLength != 0) Fail("\"" + PrintableText(N.Key) + "\" has a value where none belongs");
  }

private:
  std::span<const std::uint8_t> FData;
  const std::string& FWhere;
};

TFixedFileInfo ReadFixed(const TBlockReader& In, const TNode& Root) {
  if (Root.Key != "VS_VERSION_INFO") In.Fail("not a version block: the root is \"" + PrintableText(Root.Key) + "\"");
  if (Root.Type != BinaryValue || Root.Value.size() != FixedSize)
    In.Fail("fixed part of " + Os::ByteCount(Root.Value.size()) + ", not " + std::to_string(FixedSize));
  TFixedFileInfo Fixed;
  for (std::size_t I = 0; I < std::size(FixedFields); ++I) Fixed.*FixedFields[I] = Le32(&Root.Value[4 * I]);
  if (Fixed.Signature != FixedSignature) In.Fail("fixed part has a bad signature");
  return Fixed;
}

void ReadStringFileInfo(const TBlockReader& In, const TNode& FileInfo, TVersionInfo& Info) {
  In.Expect(FileInfo, TextValue, false);
  const std::vector<TNode> Tables = In.Children(FileInfo);
  if (Tables.size() > 1) In.Fail("more than one string table");
  if (Tables.empty()) return;
  const TNode& Table = Tables.front();
  In.Expect(Table, TextValue, false);
  if (!IsTranslationKey(Table.Key))
    In.Fail("string table key \"" + PrintableText(Table.Key) + "\" is not eight hexadecimal digits");
  Info.StringTableKey = Table.Key;
  for (const TNode& String : In.Children(Table)) {
    In.Expect(String, TextValue, true);
    // The value ends in its NUL; an empty value may also be stored as nothing.
    std::string Value = In.Text(String.Value, "value of \"" + PrintableText(String.Key) + "\"");
    if (!Value.empty() && Value.back() == '\0') Value.pop_back();
    else if (!Value.empty()) In.Fail("value of \"" + String.Key + "\" is not NUL-terminated");
    if (Value.find('\0') != std::string::npos) In.Fail("value of \"" + String.Key + "\" contains NUL");
    Info.Strings.push_back({String.Key, std::move(Value)});
  }
}

void ReadVarFileInfo(const TBlockReader& In, const TNode& FileInfo, TVersionInfo& Info) {
  In.Expect(FileInfo, TextValue, false);
  const std::vector<TNode> Vars = In.Children(FileInfo);
  if (Vars.size() > 1) In.Fail("more than one entry under VarFileInfo");
  if (Vars.empty()) return;
  const TNode& Var = Vars.front();
  if (Var.Key != "Translation") In.Fail("unknown entry \"" + PrintableText(Var.Key) + "\" under VarFileInfo");
  In.Expect(Var, BinaryValue, true);
  if (Var.Value.size() % 4 != 0)
    In.Fail("translations of " + Os::ByteCount(Var.Value.size()) + " are not whole DWORDs");
  for (std::size_t I = 0; I < Var.Value.size(); I += 4) Info.Translations.push_back(Le32(&Var.Value[I]));
}

}  // namespace

std::vector<std::uint8_t> EncodeVersionInfo(const TVersionInfo& Info) {
  // Anything the reader would refuse is refused here, so a block always
  // reads back as it was given.
  if (Info.Fixed.Signature != FixedSignature) EncodeFault("the fixed part's signature must be 0xFEEF04BD");
  if (Info.StringTableKey.empty() && !Info.Strings.empty()) EncodeFault("strings without a string table key");
  if (!Info.StringTableKey.empty() && !IsTranslationKey(Info.StringTableKey))
    EncodeFault("string table key \"" + PrintableText(Info.StringTableKey) + "\" is not eight hexadecimal digits");
  std::vector<std::uint8_t> Fixed;
  for (const auto Field : FixedFields) {
    const std::uint32_t V = Info.Fixed.*Field;
    Fixed.insert(Fixed.end(), {std::uint8_t(V), std::uint8_t(V >> 8), std::uint8_t(V >> 16), std::uint8_t(V >> 24)});
  }
  TBlockWriter Out;
  const std::size_t Root = Out.Begin("VS_VERSION_INFO", BinaryValue, FixedSize);
  Out.Value(Fixed);
  if (!Info.StringTableKey.empty()) WriteStringFileInfo(Out, Info);
  if (!Info.Translations.empty()) WriteVarFileInfo(Out, Info.Translations);
  Out.End(Root, "VS_VERSION_INFO");
  return Out.Take();
}

TVersionInfo DecodeVersionInfo(std::span<const std::uint8_t> Data, const std::string& Where) {
  const TBlockReader In(Data, Where);
  const TNode Root = In.Node(0, Data.size(), "the resource");
  if (Root.End != Data.size()) In.Fail(Os::ByteCount(Data.size() - Root.End) + " after the version block");
  TVersionInfo Info;
  Info.Fixed = ReadFixed(In, Root);
  bool SeenStrings = false, SeenVars = false;
  for (const TNode& Child : In.Children(Root)) {
    if (Child.Key == "StringFileInfo" && !SeenStrings) {
      SeenStrings = true;
      ReadStringFileInfo(In, Child, Info);
    } else if (Child.Key == "VarFileInfo" && !SeenVars) {
      SeenVars = true;
      ReadVarFileInfo(In, Child, Info);
    } else {
      In.Fail("unknown or repeated entry \"" + PrintableText(Child.Key) + "\" in the version block");
    }
  }
  return Info;
}

}  // namespace SysUtils
