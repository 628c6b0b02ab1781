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

[[noreturn]] void EncodeFault(const std::string& Fault) { throw EPackageError("version block: " + Fault); }

// Text as UTF-16LE units followed by the terminating NUL.
std::vector<std::uint8_t> Utf16Z(std::string_view Text, const std::string& What) {
  TByteWriter Out;
  for (std::size_t Pos = 0; Pos < Text.size();) {
    const char32_t Code = NextCodePoint(Text, Pos);
    if (Code == NoCodePoint) EncodeFault(What + " is not valid UTF-8");
    if (Code == 0) EncodeFault(What + " contains NUL");
    if (Code < 0x10000) {
      Out.U16(std::uint16_t(Code));
    } else {
      Out.U16(std::uint16_t(0xD800 + ((Code - 0x10000) >> 10))).U16(std::uint16_t(0xDC00 + ((Code - 0x10000) & 0x3FF)));
    }
  }
  return Out.U16(0).Take();
}

class TBlockWriter {
public:
  // Starts a node at the next 4-byte boundary and answers where it starts;
  // the value, if any, follows through Value, children through Begin.
  std::size_t Begin(const std::string& Key, std::uint16_t Type, std::uint16_t ValueLength) {
    FOut.Align(4);
    const std::size_t Start = FOut.Size();
    FOut.U16(0)  // wLength, put by End
        .U16(ValueLength)
        .U16(Type)
        .Bytes(Utf16Z(Key, "key \"" + PrintableText(Key) + "\""));
    return Start;
  }
  void Value(std::span<const std::uint8_t> Bytes) { FOut.Align(4).Bytes(Bytes); }
  // Lengths are 16-bit: a node that outgrows them is refused here, which also
  // catches a value whose wValueLength was cut short when it was written.
  void End(std::size_t Start, const std::string& Key) {
    const std::size_t Length = FOut.Size() - Start;
    if (Length > MaxNodeLength)
      EncodeFault("node \"" + PrintableText(Key) + "\" needs " + std::to_string(Length) + " bytes, more than 65535");
    FOut.PutU16(Start, std::uint16_t(Length));
  }
  std::vector<std::uint8_t> Take() { return FOut.Take(); }

private:
  TByteWriter FOut;
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
  TByteWriter Value;
  for (const std::uint32_t T : Translations) Value.U32(T);
  const std::size_t FileInfo = Out.Begin("VarFileInfo", TextValue, 0);
  WriteLeaf(Out, "Translation", BinaryValue, std::uint16_t(Value.Size()), Value.Data());
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
  TBlockReader(std::span<const std::uint8_t> Data, const std::string& Where)
      : FIn(Data, Where, RaiseFault<EPackageError>) {}

  [[noreturn]] void Fail(const std::string& Fault) const { FIn.Fail(Fault); }

  // The node at Offset, which must end by Limit, the end of its parent.
  TNode Node(std::size_t Offset, std::size_t Limit, const std::string& Parent) const {
    const std::string What = "node at offset " + std::to_string(Offset) + " in " + Parent;
    TByteReader Room = FIn.Range(Offset, Limit - Offset, Parent);
    TByteReader Header = Room.Sub(HeaderSize, "node header in " + Parent);
    TNode N;
    N.Start = Offset;
    const std::size_t Length = Header.U16();
    N.ValueLength = Header.U16();
    N.Type = Header.U16();
    if (Length < HeaderSize + 2 || Length % 2 != 0) Fail(What + ": bad length " + std::to_string(Length));
    if (Length > Limit - Offset)
      Fail(What + ": length " + std::to_string(Length) + " runs past its parent, which has " +
           ByteCount(Limit - Offset) + " left");
    if (N.Type != BinaryValue && N.Type != TextValue) Fail(What + ": unknown value type " + std::to_string(N.Type));
    N.End = Offset + Length;

    std::size_t KeyEnd = Offset + HeaderSize;
    const std::span<const std::uint8_t> Data = FIn.Data();
    while (KeyEnd < N.End && Le16(&Data[KeyEnd]) != 0) KeyEnd += 2;
    if (KeyEnd == N.End) Fail(What + ": key not terminated");
    N.Key = Text(Data.subspan(Offset + HeaderSize, KeyEnd - Offset - HeaderSize), What + ": key");

    const std::size_t ValueStart = Align4(KeyEnd + 2);
    const std::size_t ValueBytes = std::size_t(N.ValueLength) * (N.Type == TextValue ? 2 : 1);
    if (ValueBytes > 0 && (ValueStart > N.End || ValueBytes > N.End - ValueStart))
      Fail(What + " \"" + PrintableText(N.Key) + "\": value of " + ByteCount(ValueBytes) + " runs past the node");
    if (ValueBytes > 0) N.Value = Data.subspan(ValueStart, ValueBytes);
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
      Fail("\"" + PrintableText(N.Key) + "\" has " + ByteCount(N.End - N.ChildrenBegin) + " after its value");
    if (!Leaf && N.ValueLength != 0) Fail("\"" + PrintableText(N.Key) + "\" has a value where none belongs");
  }

private:
  TByteReader FIn;
};

TFixedFileInfo ReadFixed(const TBlockReader& In, const TNode& Root) {
  if (Root.Key != "VS_VERSION_INFO") In.Fail("not a version block: the root is \"" + PrintableText(Root.Key) + "\"");
  if (Root.Type != BinaryValue || Root.Value.size() != FixedSize)
    In.Fail("fixed part of " + ByteCount(Root.Value.size()) + ", not " + std::to_string(FixedSize));
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
    In.Fail("translations of " + ByteCount(Var.Value.size()) + " are not whole DWORDs");
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
  TByteWriter Fixed;
  for (const auto Field : FixedFields) Fixed.U32(Info.Fixed.*Field);
  TBlockWriter Out;
  const std::size_t Root = Out.Begin("VS_VERSION_INFO", BinaryValue, FixedSize);
  Out.Value(Fixed.Data());
  if (!Info.StringTableKey.empty()) WriteStringFileInfo(Out, Info);
  if (!Info.Translations.empty()) WriteVarFileInfo(Out, Info.Translations);
  Out.End(Root, "VS_VERSION_INFO");
  return Out.Take();
}

TVersionInfo DecodeVersionInfo(std::span<const std::uint8_t> Data, const std::string& Where) {
  const TBlockReader In(Data, Where);
  const TNode Root = In.Node(0, Data.size(), "the resource");
  if (Root.End != Data.size()) In.Fail(ByteCount(Data.size() - Root.End) + " after the version block");
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
