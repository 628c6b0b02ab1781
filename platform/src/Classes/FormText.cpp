// The text form of a form file, as the design host shows it:
//
//   object Form1: TForm
//     Caption = 'Filter demo'
//     object LvFilterImage1: TLvFilterImage
//       Picture.Data = {
//         07544269746D6170...}
//     end
//   end
//
// Two spaces of indent per level; strings quoted with '' for a quote and #n
// for other characters; binary data in hex, 32 bytes to a line.
#include <algorithm>
#include <cctype>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "Classes.hpp"
#include "Classes/FormFile.hpp"
#include "SysUtils.hpp"

namespace Classes::Form {

using SysUtils::PrintableText;

namespace {

// The value of a hex digit, which the caller has checked it is.
int HexDigit(char C) { return C <= '9' ? C - '0' : SysUtils::LowerChar(C) - 'a' + 10; }

constexpr std::size_t BytesPerLine = 32;
constexpr std::size_t StringChunk = 64;

class TTextWriter {
public:
  explicit TTextWriter(const TSink* Sink = nullptr) : FSink(Sink) {}
  std::string Take() {
    Flush(true);
    return std::move(FOut);
  }

  // One value alone, as it stands after "Name = ".
  std::string ValueAlone(const TValue& V) {
    Value(V, 0);
    return Take();
  }

  void Object(const TObject& O, int Level) {
    Indent(Level);
    FOut += O.Flags & ffInline ? "inline " : O.Flags & ffInherited ? "inherited " : "object ";
    if (!O.Name.empty()) FOut += O.Name + ": ";
    FOut += O.ClassName;
    if (O.Flags & ffChildPos) Index(O.Position);
    FOut += "\n";
    Properties(O.Properties, Level + 1);
    for (const TObject& Child : O.Children) Object(Child, Level + 1);
    Indent(Level);
    FOut += "end\n";
  }

private:
  // Hands what is written on to the sink once there is enough of it; a
  // long value is flushed line by line.
  void Flush(bool All = false) {
    if (FSink && (All || FOut.size() >= FlushSize)) {
      (*FSink)(FOut);
      FOut.clear();
    }
  }
  void Indent(int Level) {
    Flush();
    FOut.append(std::size_t(2 * Level), ' ');
  }
  void Index(std::int64_t Value) { FOut.append(" [").append(std::to_string(Value)).append("]"); }

  void Properties(const std::vector<TProperty>& List, int Level) {
    for (const TProperty& P : List) {
      Indent(Level);
      FOut += P.Name + " = ";
      Value(P.Value, Level);
      FOut += "\n";
    }
  }

  void Value(const TValue& V, int Level) {
    char Text[64];
    switch (V.Type) {
      case vaList:
        FOut += "(";
        for (const TValue& Item : V.List) {
          FOut += "\n";
          Indent(Level + 1);
          Value(Item, Level + 1);
        }
        FOut += ")";
        break;
      case vaInt8:
      case vaInt16:
      case vaInt32:
      case vaInt64: FOut += std::to_string(V.Int); break;
      case vaExtended: {
        long double X = 0;
        std::memcpy(&X, V.Extended.data(), 10);
        Float(X, "");
        break;
      }
      case vaSingle: Float(V.Float, "s"); break;
      case vaDate: Float(V.Float, "d"); break;
      case vaCurrency: {
        const std::uint64_t Magnitude = V.Int < 0 ? 0 - std::uint64_t(V.Int) : std::uint64_t(V.Int);
        std::snprintf(Text, sizeof Text, "%s%llu.%04llu", V.Int < 0 ? "-" : "",
                      static_cast<unsigned long long>(Magnitude / 10000), static_cast<unsigned long long>(Magnitude % 10000));
        FOut += Text;
        FOut += "c";
        break;
      }
      case vaString:
      case vaLString:
      case vaWString: String(V.Text, Level); break;
      case vaIdent: FOut += V.Text; break;
      case vaFalse: FOut += "False"; break;
      case vaTrue: FOut += "True"; break;
      case vaNil: FOut += "nil"; break;
      case vaBinary:
        FOut += "{";
        for (std::size_t I = 0; I < V.Bytes.size(); ++I) {
          if (I % BytesPerLine == 0) {
            FOut += "\n";
            Indent(Level + 1);
          }
          std::snprintf(Text, sizeof Text, "%02X", V.Bytes[I]);
          FOut += Text;
        }
        FOut += "}";
        break;
      case vaSet:
        FOut += "[";
        for (std::size_t I = 0; I < V.Set.size(); ++I) FOut += (I ? ", " : "") + V.Set[I];
        FOut += "]";
        break;
      case vaCollection:
        FOut += "<";
        for (const TItem& Item : V.Items) {
          FOut += "\n";
          Indent(Level + 1);
          FOut += "item";
          if (Item.Index) Index(*Item.Index);
          FOut += "\n";
          Properties(Item.Properties, Level + 2);
          Indent(Level + 1);
          FOut += "end";
        }
        FOut += ">";
        break;
      default: break;
    }
  }

  // The fewest digits that read back as the same value of the type (a
  // single, a date's double or an extended), always with a point or an
  // exponent so that it reads back as a float.
  void Float(long double X, const char* Suffix) {
    char Text[64];
    if (std::isnan(X)) {
      FOut += std::string("NAN") + Suffix;
      return;
    }
    if (std::isinf(X)) {
      FOut += std::string(X < 0 ? "-INF" : "INF") + Suffix;
      return;
    }
    const int Most = *Suffix == 's' ? 9 : *Suffix == 'd' ? 17 : 21;
    const auto Same = [&](const char* Digits) {
      const long double Back = std::strtold(Digits, nullptr);
      if (*Suffix == 's') return float(Back) == float(X);
      if (*Suffix == 'd') return double(Back) == double(X);
      return Back == X;
    };
    const auto Shortest = [&] {
      for (int Precision = 1; Precision < Most; ++Precision) {
        std::snprintf(Text, sizeof Text, "%.*Lg", Precision, X);
        if (Same(Text)) return true;
      }
      std::snprintf(Text, sizeof Text, "%.*Lg", Most, X);
      return Same(Text);
    };
    // Bytes no value is written as (an extended of a bad encoding) are
    // written as the value that the most digits read back as.
    if (!Shortest()) {
      X = std::strtold(Text, nullptr);
      Shortest();
    }
    std::string Number = Text;
    if (Number.find_first_of(".e") == std::string::npos) Number += ".0";
    FOut += Number + Suffix;
  }

  // Printable ASCII quoted, everything else as #n; long strings split with
  // + at line ends.
  void String(const std::string& Text, int Level) {
    if (Text.empty()) {
      FOut += "''";
      return;
    }
    bool Quoted = false;
    for (std::size_t At = 0, I = 0; At < Text.size(); ++I) {
      if (I > 0 && I % StringChunk == 0) {
        if (Quoted) FOut += "'";
        Quoted = false;
        FOut += " +\n";
        Indent(Level + 1);
      }
      const std::uint32_t C = NextCodePoint(Text, At);
      const bool Printable = C >= 0x20 && C < 0x7F;
      if (Printable != Quoted) FOut += "'";
      Quoted = Printable;
      // Past the first 65536 as a surrogate pair, as wide strings hold it.
      if (!Printable && C >= 0x10000)
        FOut.append(1, '#').append(std::to_string(0xD800 + ((C - 0x10000) >> 10)))
            .append(1, '#').append(std::to_string(0xDC00 + ((C - 0x10000) & 0x3FF)));
      else if (!Printable) FOut.append(1, '#').append(std::to_string(C));
      else FOut += C == '\'' ? std::string("''") : std::string(1, char(C));
    }
    if (Quoted) FOut += "'";
  }

  static constexpr std::size_t FlushSize = std::size_t(1) << 20;
  const TSink* FSink;
  std::string FOut;
};

class TTextReader {
public:
  TTextReader(std::string_view Text, const std::string& Where, int CodePage) : FText(Text), FWhere(Where) {
    if (FText.rfind("\xEF\xBB\xBF", 0) == 0) {
      FPos = 3;  // a UTF-8 byte-order mark
    } else if (!SysUtils::IsUtf8(FText)) {
      // Written before UTF-8: text in the code page of the system it was written on.
      if (!SysUtils::IsSingleByteCodePage(CodePage))
        throw EReadError(FWhere, "", "no single-byte code page " + std::to_string(CodePage));
      FConverted = SysUtils::CodePageToUtf8(FText, CodePage);
      FText = FConverted;
    }
  }

  TObject Root() {
    TObject O = Object(0);
    if (!AtEnd()) Fail("text after the last end");
    return O;
  }

  std::vector<TObject> Objects() {
    std::vector<TObject> All;
    while (!AtEnd()) All.push_back(Object(0));
    if (All.empty()) Fail("no object");
    return All;
  }

  TValue ValueAlone() {
    TValue V = Value(0);
    SkipBlanks();
    if (FPos != FText.size()) Fail("text after the value");
    return V;
  }

private:
  [[noreturn]] void Fail(const std::string& Fault) const {
    throw EReadError(FWhere, "line " + std::to_string(FLine), Fault);
  }
  std::string Here() const { return std::string("line ").append(std::to_string(FLine)); }

  // Lines end in LF, CR LF or CR alone.
  bool LineEnd(std::size_t At) const {
    return FText[At] == '\n' || (FText[At] == '\r' && (At + 1 >= FText.size() || FText[At + 1] != '\n'));
  }
  // Whether only blanks are left, and an end-of-file character (Ctrl-Z)
  // with blanks after it, as editors of the time ended a file.
  bool AtEnd() {
    SkipBlanks();
    if (FPos < FText.size() && FText[FPos] == '\x1A') {
      const std::size_t Mark = FPos, MarkLine = FLine;
      ++FPos;
      SkipBlanks();
      if (FPos == FText.size()) return true;
      FPos = Mark, FLine = MarkLine;
    }
    return FPos == FText.size();
  }
  void SkipBlanks() {
    while (FPos < FText.size() && std::isspace(static_cast<unsigned char>(FText[FPos]))) {
      if (LineEnd(FPos)) ++FLine;
      ++FPos;
    }
  }
  char Peek() {
    SkipBlanks();
    return FPos < FText.size() ? FText[FPos] : '\0';
  }
  // Fails naming Line when the next token is on a later line.
  void SameLine(std::size_t Line, const std::string& Fault) {
    SkipBlanks();
    if (FLine == Line) return;
    FLine = Line;
    Fail(Fault);
  }
  void Expect(char C) {
    if (Peek() != C) Fail(std::string("expected '") + C + "'" + Found());
    ++FPos;
  }
  std::string Found() {
    if (FPos >= FText.size()) return ", found the end of the text";
    return ", found '" + PrintableText(std::string_view(FText).substr(FPos, 1), MaxQuoted) + "'";
  }
  static bool Is(const std::string& Word, const char* Keyword) { return SysUtils::SameText(Word, Keyword); }
  static bool IsObjectKeyword(const std::string& Word) {
    return Is(Word, "object") || Is(Word, "inherited") || Is(Word, "inline");
  }
  static bool IdentChar(char C) { return std::isalnum(static_cast<unsigned char>(C)) || C == '_'; }
  // An identifier, with dots inside when Dotted.
  std::string Ident(const char* What, bool Dotted = false) {
    SkipBlanks();
    const std::size_t Start = FPos;
    while (FPos < FText.size() && (IdentChar(FText[FPos]) || (Dotted && FText[FPos] == '.' && FPos > Start))) ++FPos;
    if (FPos == Start || std::isdigit(static_cast<unsigned char>(FText[Start]))) Fail(std::string("expected ") + What + Found());
    if (FPos - Start > 255) Fail(std::string(What) + " longer than 255 characters");
    std::string Word(FText.substr(Start, FPos - Start));
    if (Dotted && !IsName(Word, true) && !Is(Word, "end") && !IsObjectKeyword(Word))
      Fail(std::string(What) + ": " + Word + " is no name");
    return Word;
  }

  TObject Object(int Depth) {
    if (Depth > MaxDepth) Fail("objects nested more than " + std::to_string(MaxDepth) + " deep");
    if (++FObjects > MaxObjects) Fail("more than " + std::to_string(MaxObjects) + " objects");
    TObject O;
    SkipBlanks();
    O.Where = Here();
    const std::string Keyword = Ident("object");
    if (Is(Keyword, "inherited")) O.Flags = ffInherited;
    else if (Is(Keyword, "inline")) O.Flags = ffInline;
    else if (!Is(Keyword, "object")) Fail("expected object, inherited or inline, found " + Keyword);
    // The first word is the component's name when a colon follows it.
    SkipBlanks();
    std::size_t After = FPos;
    while (After < FText.size() && IdentChar(FText[After])) ++After;
    while (After < FText.size() && std::isspace(static_cast<unsigned char>(FText[After]))) ++After;
    const bool Named = After < FText.size() && FText[After] == ':';
    const std::string First = Ident(Named ? "a component name" : "a class name");
    // The class name is checked before anything after it is looked at, so
    // that a fault in it is told on its own line.
    if (Named) {
      Expect(':');
      O.Name = First;
      if (!IsName(O.Name, false)) Fail("the component name " + O.Name + " is a reserved word");
      O.ClassName = Ident("a class name");
    } else {
      O.ClassName = First;
    }
    // A length byte of 0xF0 and up would read as the binary form's prefix.
    if (O.ClassName.size() >= 0xF0) Fail("a class name of 240 bytes or more");
    if (!IsName(O.ClassName, false)) Fail("the class name " + O.ClassName + " is a reserved word");
    if (Peek() == '[') {
      ++FPos;
      O.Flags |= ffChildPos;
      O.Position = Integer();
      Expect(']');
    }
    for (;;) {
      const std::size_t Mark = FPos, MarkLine = FLine;
      const std::string Word = Ident("a property, an object or end", true);
      if (Is(Word, "end")) break;
      if (IsObjectKeyword(Word)) {
        FPos = Mark, FLine = MarkLine;
        O.Children.push_back(Object(Depth + 1));
      } else {
        O.Properties.push_back(Property(Word, Depth));
      }
    }
    return O;
  }

  void Count() {
    if (++FValues > MaxValues) Fail("more than " + std::to_string(MaxValues) + " values");
  }

  TProperty Property(const std::string& Name, int Depth) {
    Count();
    TProperty P;
    P.Where = Here();
    P.Name = Name;
    Expect('=');
    // A value starts on the line of its name: a fault is told where it is.
    SameLine(FLine, Name + ": expected a value after '='");
    P.Value = Value(Depth);
    return P;
  }

  std::int64_t Integer() {
    const TValue V = Number();
    if (!V.IsInteger()) Fail("expected an integer");
    return V.Int;
  }

  TValue Value(int Depth) {
    if (Depth > MaxDepth) Fail("values nested more than " + std::to_string(MaxDepth) + " deep");
    Count();
    const char C = Peek();
    TValue V;
    if (C == '(') {
      ++FPos;
      V.Type = vaList;
      while (Peek() != ')') V.List.push_back(Value(Depth + 1));
      ++FPos;
    } else if (C == '[') {
      ++FPos;
      V.Type = vaSet;
      // A set is written on one line.
      const std::size_t Line = FLine;
      SameLine(Line, "expected a set element or ']'");
      if (Peek() != ']') {
        V.Set.push_back(Ident("a set element"));
        while (SameLine(Line, "expected ',' or ']'"), Peek() == ',') {
          ++FPos;
          SameLine(Line, "expected a set element");
          V.Set.push_back(Ident("a set element"));
        }
      }
      Expect(']');
    } else if (C == '{') {
      ++FPos;
      V.Type = vaBinary;
      Binary(V.Bytes);
    } else if (C == '<') {
      ++FPos;
      V.Type = vaCollection;
      while (Peek() != '>') {
        if (!Is(Ident("item"), "item")) Fail("expected item or '>'");
        TItem Item;
        if (Peek() == '[') {
          ++FPos;
          Item.Index = Integer();
          Expect(']');
        }
        for (std::string Word = Ident("a property or end", true); !Is(Word, "end"); Word = Ident("a property or end", true))
          Item.Properties.push_back(Property(Word, Depth + 1));
        V.Items.push_back(std::move(Item));
      }
      ++FPos;
    } else if (C == '\'' || C == '#') {
      String(V);
    } else if (C == '-' || C == '+' || C == '$' || std::isdigit(static_cast<unsigned char>(C))) {
      V = Number();
    } else {
      std::string Word = Ident("a value");
      // A component of another module: DataModule1.DataSource1.
      while (FPos + 1 < FText.size() && FText[FPos] == '.' && IdentChar(FText[FPos + 1]) &&
             !std::isdigit(static_cast<unsigned char>(FText[FPos + 1]))) {
        ++FPos;
        Word += "." + Ident("a value");
        if (Word.size() > 255) Fail("a value longer than 255 characters");
      }
      if (Is(Word, "True")) V.Type = vaTrue;
      else if (Is(Word, "False")) V.Type = vaFalse;
      else if (Is(Word, "nil")) V.Type = vaNil;
      else if (Word.size() <= 4 && (Word.rfind("NAN", 0) == 0 || Word.rfind("INF", 0) == 0) &&
               (Word.size() == 3 || Word[3] == 's' || Word[3] == 'd'))
        V = Special(Word, "");
      else V.Type = vaIdent, V.Text = Word;
    }
    return V;
  }

  // INF and NAN with their suffix: INFs is a single, NANd a date.
  TValue Special(const std::string& Word, const std::string& Sign) {
    if (Word.rfind("NAN", 0) != 0 && Word.rfind("INF", 0) != 0) Fail("not a number: " + Sign + Word);
    long double X = Word.rfind("NAN", 0) == 0 ? NAN : INFINITY;
    if (Sign == "-") X = -X;
    const char Suffix = Word.size() > 3 ? Word[3] : '\0';
    if (Word.size() > 4 || (Suffix && Suffix != 's' && Suffix != 'd')) Fail("not a value: " + Sign + Word);
    return FloatValue(X, Suffix);
  }

  // A float as the suffix says: single (s), date (d) or extended (none).
  static TValue FloatValue(long double X, char Suffix) {
    TValue V;
    if (Suffix == 's' || Suffix == 'd') {
      V.Type = Suffix == 's' ? vaSingle : vaDate;
      V.Float = double(X);
    } else {
      V.Type = vaExtended;
      std::memcpy(V.Extended.data(), &X, 10);
    }
    return V;
  }

  TValue Number() {
    SkipBlanks();
    const std::size_t Start = FPos;
    if (FPos < FText.size() && (FText[FPos] == '-' || FText[FPos] == '+')) ++FPos;
    if (FPos < FText.size() && std::isalpha(static_cast<unsigned char>(FText[FPos])))
      return Special(Ident("a number"), std::string(FText.substr(Start, 1)));
    if (FPos < FText.size() && FText[FPos] == '$') {
      ++FPos;
      const std::uint64_t Magnitude = Hex();
      return IntegerValue(FText[Start] == '-' ? std::int64_t(0 - Magnitude) : std::int64_t(Magnitude));
    }
    bool Float = false;
    while (FPos < FText.size()) {
      const char C = FText[FPos];
      if (std::isdigit(static_cast<unsigned char>(C))) {
        ++FPos;
      } else if (C == '.' || C == 'e' || C == 'E') {
        Float = true;
        ++FPos;
        if (FPos < FText.size() && (C == 'e' || C == 'E') && (FText[FPos] == '-' || FText[FPos] == '+')) ++FPos;
      } else {
        break;
      }
    }
    std::string Digits(FText.substr(Start, FPos - Start));
    if (!Digits.empty() && Digits[0] == '+') Digits.erase(0, 1);
    const char Suffix = FPos < FText.size() && FText[FPos] && std::strchr("scd", FText[FPos]) ? FText[FPos++] : '\0';
    if (FPos < FText.size() && IdentChar(FText[FPos]))
      Fail("not a number: " + PrintableText(std::string_view(FText).substr(Start, FPos - Start + 1), MaxQuoted));
    TValue V;
    if (!Float && !Suffix) {
      std::int64_t Value = 0;
      const auto [End, Error] = std::from_chars(Digits.data(), Digits.data() + Digits.size(), Value);
      if (Error != std::errc() || End != Digits.data() + Digits.size())
        Fail("not an integer: " + PrintableText(Digits, MaxQuoted));
      return IntegerValue(Value);
    }
    char* End = nullptr;
    const long double X = std::strtold(Digits.c_str(), &End);
    if (Digits.empty() || End != Digits.c_str() + Digits.size())
      Fail("not a number: " + PrintableText(Digits, MaxQuoted));
    if (Suffix == 'c') {
      V.Type = vaCurrency;
      V.Int = Currency(Digits);
      return V;
    }
    // A finite value too large for the type is refused, not made infinite.
    const long double Max = Suffix == 's' ? FLT_MAX : Suffix == 'd' ? DBL_MAX : LDBL_MAX;
    if (X > Max || X < -Max)
      Fail("out of range for " + std::string(Suffix == 's' ? "a single" : Suffix == 'd' ? "a date" : "an extended") +
           ": " + PrintableText(Digits, MaxQuoted));
    return FloatValue(X, Suffix);
  }

  // A currency value counts ten-thousandths in 64 bits: read exactly, from
  // its digits, never through a float.
  std::int64_t Currency(const std::string& Digits) {
    const bool Negative = !Digits.empty() && Digits[0] == '-';
    const std::string Body = Digits.substr(Negative ? 1 : 0);
    const std::size_t Point = Body.find('.');
    const std::string Whole = Body.substr(0, Point);
    std::string Fraction = Point == std::string::npos ? "" : Body.substr(Point + 1);
    const auto IsDigits = [](const std::string& Part) {
      return std::all_of(Part.begin(), Part.end(), [](char C) { return C >= '0' && C <= '9'; });
    };
    if (Whole.empty() || Fraction.size() > 4 || !IsDigits(Whole) || !IsDigits(Fraction))
      Fail("a currency value has digits, a point and at most four decimals: " + PrintableText(Digits, MaxQuoted) + "c");
    Fraction.resize(4, '0');
    const std::uint64_t Limit = Negative ? std::uint64_t(INT64_MAX) + 1 : std::uint64_t(INT64_MAX);
    std::uint64_t Count = 0;
    for (const char C : Whole + Fraction) {
      const unsigned Digit = unsigned(C - '0');
      if (Count > (Limit - Digit) / 10) Fail("currency value out of range: " + PrintableText(Digits, MaxQuoted) + "c");
      Count = Count * 10 + Digit;
    }
    return Negative ? std::int64_t(0 - Count) : std::int64_t(Count);
  }

  // Up to 16 hex digits after a $, as an unsigned number.
  std::uint64_t Hex() {
    const std::size_t Start = FPos;
    std::uint64_t Value = 0;
    while (FPos < FText.size() && std::isxdigit(static_cast<unsigned char>(FText[FPos]))) {
      if (FPos - Start == 16) Fail("a hex number of more than 16 digits");
      const char C = FText[FPos++];
      Value = Value << 4 | std::uint64_t(HexDigit(C));
    }
    if (FPos == Start) Fail("expected hex digits after $" + Found());
    return Value;
  }

  // Quoted runs and #n characters (#$n in hex), directly adjacent or joined
  // by a + (across blanks and lines). Strings merely on consecutive lines,
  // as in a list, stay apart. The text is UTF-8; #n is the character U+n,
  // and a surrogate pair written as two codes is one character.
  // Sized first, then filled: a long string is held once, not doubled.
  void String(TValue& V) {
    const std::size_t Mark = FPos, MarkLine = FLine;
    std::size_t Size = 0;
    ScanString([&](std::uint32_t C) { Size += C < 0x80 ? 1 : C < 0x800 ? 2 : C < 0x10000 ? 3 : 4; });
    FPos = Mark, FLine = MarkLine;
    std::string Text;
    Text.reserve(Size);
    ScanString([&](std::uint32_t C) { AppendUtf8(Text, C); });
    V = StringValue(std::move(Text));
  }

  template <class F>
  void ScanString(F Emit) {
    std::size_t Count = 0;
    const auto Put = [&](std::uint32_t C) {
      if (++Count > (std::size_t(1) << 30)) Fail("a string longer than 1 GiB");
      Emit(C);
    };
    std::uint32_t High = 0;  // a high surrogate waiting for its low half
    SkipBlanks();
    for (;;) {
      if (FPos < FText.size() && FText[FPos] == '\'') {
        if (High) Fail("an unpaired surrogate in a string");
        ++FPos;
        for (;;) {
          if (FPos >= FText.size() || FText[FPos] == '\n' || FText[FPos] == '\r') Fail("unterminated string");
          if (FText[FPos] == '\'') {
            if (FPos + 1 < FText.size() && FText[FPos + 1] == '\'') {
              Put('\'');
              FPos += 2;
              continue;
            }
            ++FPos;
            break;
          }
          Put(NextCodePoint(FText, FPos));
        }
      } else if (FPos < FText.size() && FText[FPos] == '#') {
        ++FPos;
        std::uint64_t Code = 0;
        if (FPos < FText.size() && FText[FPos] == '$') {
          ++FPos;
          Code = Hex();
        } else {
          const std::size_t Start = FPos;
          while (FPos < FText.size() && std::isdigit(static_cast<unsigned char>(FText[FPos]))) ++FPos;
          const auto [End, Error] = std::from_chars(FText.data() + Start, FText.data() + FPos, Code);
          if (FPos == Start || Error != std::errc()) Fail("a bad character code after #");
        }
        if (Code > 0x10FFFF) Fail("a bad character code after #");
        if (High && Code >= 0xDC00 && Code < 0xE000) {
          Put(0x10000 + ((High - 0xD800) << 10) + (std::uint32_t(Code) - 0xDC00));
          High = 0;
        } else if (High || (Code >= 0xDC00 && Code < 0xE000)) {
          Fail("an unpaired surrogate in a string");
        } else if (Code >= 0xD800 && Code < 0xDC00) {
          High = std::uint32_t(Code);
        } else {
          Put(std::uint32_t(Code));
        }
      } else {
        Fail("expected a string" + Found());
      }
      if (FPos < FText.size() && (FText[FPos] == '\'' || FText[FPos] == '#')) continue;
      const std::size_t Mark = FPos, MarkLine = FLine;
      if (Peek() != '+') {
        FPos = Mark, FLine = MarkLine;
        break;
      }
      ++FPos;
      SkipBlanks();
    }
    if (High) Fail("an unpaired surrogate in a string");
  }

  void Binary(std::vector<std::uint8_t>& Bytes) {
    int High = -1;
    for (;;) {
      const char C = Peek();
      if (C == '}') {
        ++FPos;
        break;
      }
      if (!std::isxdigit(static_cast<unsigned char>(C))) Fail("expected a hex digit or '}'" + Found());
      const int Digit = HexDigit(C);
      ++FPos;
      if (High < 0) {
        High = Digit;
      } else {
        Bytes.push_back(std::uint8_t(High << 4 | Digit));
        High = -1;
      }
    }
    if (High >= 0) Fail("an odd number of hex digits");
  }

  std::string FConverted;  // the text in UTF-8, where it came in a code page
  std::string_view FText;
  const std::string& FWhere;
  std::size_t FPos = 0;
  std::size_t FLine = 1;
  std::size_t FObjects = 0;
  std::size_t FValues = 0;
};

}  // namespace

std::uint32_t NextCodePoint(std::string_view Text, std::size_t& I) {
  const std::size_t At = I;
  const char32_t C = SysUtils::NextCodePoint(Text, I);
  return C == SysUtils::NoCodePoint ? std::uint8_t(Text[At]) : std::uint32_t(C);
}

std::vector<std::uint32_t> CodePoints(const std::string& Text) {
  std::vector<std::uint32_t> Out;
  for (std::size_t I = 0; I < Text.size();) Out.push_back(NextCodePoint(Text, I));
  return Out;
}

TObject ReadText(std::string_view Text, const std::string& Where, int CodePage) {
  return TTextReader(Text, Where, CodePage).Root();
}

std::vector<TObject> ReadTextObjects(std::string_view Text, const std::string& Where, int CodePage) {
  return TTextReader(Text, Where, CodePage).Objects();
}

TValue ReadTextValue(std::string_view Text, const std::string& Where) {
  return TTextReader(Text, Where, DefaultCodePage).ValueAlone();
}

std::string ValueText(const TValue& Value) { return TTextWriter().ValueAlone(Value); }

std::string WriteText(const TObject& Root) {
  TTextWriter Out;
  Out.Object(Root, 0);
  return Out.Take();
}

void WriteText(const TObject& Root, const TSink& Sink) {
  TTextWriter Out(&Sink);
  Out.Object(Root, 0);
  Out.Take();
}

}  // namespace Classes::Form
