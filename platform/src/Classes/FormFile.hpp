// A form file as a tree of objects, properties and values: what the binary
// and the text form both say, read and written without touching any
// component. Readers take outside data: they check every length and count
// against what is left, bound the nesting, and raise EReadError naming the
// byte offset (binary) or line (text) and the fault.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Classes.hpp"
#include "SysUtils.hpp"

namespace Classes::Form {

enum TValueType : std::uint8_t {
  vaNull, vaList, vaInt8, vaInt16, vaInt32, vaExtended, vaString, vaIdent, vaFalse, vaTrue, vaBinary,
  vaSet, vaLString, vaNil, vaCollection, vaSingle, vaCurrency, vaDate, vaWString, vaInt64,
  // UTF-8 text, as later writers store strings; read as the string type
  // that holds it, never written.
  vaUTF8String
};

// How much of a text from a file a message quotes (SysUtils::PrintableText).
constexpr std::size_t MaxQuoted = 64;

// Bounds on what a file may make the reader build.
constexpr int MaxDepth = 32;             // objects, lists and collections within each other
constexpr std::size_t MaxObjects = 10000;
constexpr std::size_t MaxValues = 250000;  // properties, values and collection items in all

// Whether Text is an identifier, or identifiers joined by dots when Dotted,
// and none of the words the text form reserves (in any case).
bool IsName(const std::string& Text, bool Dotted);

struct TProperty;

struct TItem {  // of a collection
  std::optional<std::int64_t> Index;
  std::vector<TProperty> Properties;
};

struct TValue {
  TValueType Type = vaNull;
  std::int64_t Int = 0;               // integers; currency as its raw count of ten-thousandths
  double Float = 0;                   // single and date
  std::array<std::uint8_t, 10> Extended{};
  // Strings as UTF-8, whatever their type; identifiers. A short or long
  // string holds single-byte text: byte N is the character U+N.
  std::string Text;
  std::vector<std::uint8_t> Bytes;    // binary
  std::vector<std::string> Set;
  std::vector<TValue> List;
  std::vector<TItem> Items;
  bool IsInteger() const { return Type == vaInt8 || Type == vaInt16 || Type == vaInt32 || Type == vaInt64; }
  bool IsString() const { return Type == vaString || Type == vaLString || Type == vaWString; }
};

struct TProperty {
  std::string Name;    // dotted for a persistent object's: "Picture.Data"
  TValue Value;
  std::string Where;   // "offset 123" or "line 7", for errors
};

// What a component keeps of its stored form that the host cannot take in:
// properties its class does not know or values it cannot hold, each with
// the name of the last property before it that the component took, so
// that it goes back where it was; for a placeholder of a class the host
// lacks, every property.
struct TKept {
  struct TEntry {
    std::string After;      // empty: none came before it
    std::size_t Index = 0;  // its place among the object's properties
    TProperty Property;
  };
  bool Whole = false;
  std::vector<TEntry> Properties;
  // The one named Name, or nullptr.
  TProperty* Find(const std::string& Name);
  void Erase(const std::string& Name);
  // Puts the entries into Written, a component's properties as the writer
  // makes them: each after the property it followed, in the order they were
  // stored (at the end where that one is not written now). An entry takes
  // the place of a property of its name the writer wrote.
  void MergeInto(std::vector<TProperty>& Written) const;
};

struct TObject {
  std::uint8_t Flags = 0;
  std::int64_t Position = 0;  // with ffChildPos
  std::string ClassName, Name;
  std::vector<TProperty> Properties;
  std::vector<TObject> Children;
  std::string Where;
};

// Strings are kept as UTF-8 in the tree. The character at I, moving I past
// it; a byte that begins no well-formed sequence is the character of its
// value, so that any bytes read back the same way every time.
std::uint32_t NextCodePoint(std::string_view Utf8, std::size_t& I);
std::vector<std::uint32_t> CodePoints(const std::string& Utf8);
using SysUtils::AppendUtf8;
// The string type that holds Text: a short string for up to 255 characters
// that each fit a byte, a long string for more, a wide string for any
// character past U+00FF.
TValue StringValue(std::string Utf8);

// The integer value type that holds Value in the fewest bytes.
TValue IntegerValue(std::int64_t Value);
std::string TypeName(TValueType Type);

// Where a writer puts what it makes, a piece at a time, so that a large form
// need not be held whole a second time.
using TSink = std::function<void(std::string_view Piece)>;

// "TPF0" and one object. Where names the source in errors.
TObject ReadBinary(std::span<const std::uint8_t> Data, const std::string& Where);
std::vector<std::uint8_t> WriteBinary(const TObject& Root);
void WriteBinary(const TObject& Root, const TSink& Sink);

// Text that is not UTF-8 (and has no byte-order mark) is read in CodePage,
// a single-byte code page (SysUtils::CodePageToUtf8).
constexpr int DefaultCodePage = 1252;
TObject ReadText(std::string_view Text, const std::string& Where, int CodePage = DefaultCodePage);

// What is left of a stream, from its position on: a copy, or in Unread the
// memory stream's own bytes (Storage holds the copy of any other stream).
// Either way the stream is read to its end.
std::vector<std::uint8_t> Remaining(TStream& Stream);
std::span<const std::uint8_t> Unread(TStream& Stream, std::vector<std::uint8_t>& Storage);
// A file's bytes as the text reader takes them.
inline std::string_view Chars(std::span<const std::uint8_t> Bytes) {
  return {reinterpret_cast<const char*>(Bytes.data()), Bytes.size()};
}
// Objects one after another, as a design host's clipboard holds them.
std::vector<TObject> ReadTextObjects(std::string_view Text, const std::string& Where, int CodePage = DefaultCodePage);
// One value as it stands after "Name = " in the text form, and back.
TValue ReadTextValue(std::string_view Text, const std::string& Where);
std::string ValueText(const TValue& Value);
std::string WriteText(const TObject& Root);
void WriteText(const TObject& Root, const TSink& Sink);

}  // namespace Classes::Form
