// The binary form file: "TPF0", then one object: an optional prefix byte,
// class name and name as short strings, properties (a short-string name and
// a value each) up to a zero byte, child objects up to a zero byte. All
// numbers little-endian.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "Classes.hpp"
#include "Classes/FormFile.hpp"
#include "SysUtils.hpp"

namespace Classes::Form {

using SysUtils::PrintableText;

namespace {

constexpr char Signature[] = {'T', 'P', 'F', '0'};

// Faults keep their parts: the form's name, the offset, the fault.
[[noreturn]] void RaiseReadError(const SysUtils::TByteFault& Fault) {
  throw EReadError(Fault.Source, Fault.Where, Fault.Fault);
}

class TBinaryReader {
public:
  TBinaryReader(std::span<const std::uint8_t> Data, const std::string& Where) : FIn(Data, Where, RaiseReadError) {}

  [[noreturn]] void Fail(const std::string& Fault, std::size_t At) const { FIn.FailAt(At, Fault); }
  [[noreturn]] void Fail(const std::string& Fault) const { Fail(Fault, FIn.Position()); }
  std::string Here() const { return "offset " + std::to_string(FIn.Position()); }

  std::uint8_t U8(const char* What) { return FIn.U8(What); }
  std::uint8_t Peek(const char* What) const { return FIn.Peek(1, What)[0]; }
  std::string ShortString(const char* What) {
    const std::size_t Length = U8(What);
    const auto Bytes = FIn.Bytes(Length, What);
    return {reinterpret_cast<const char*>(Bytes.data()), Length};
  }
  // A name as the text form writes it: an identifier, or for a property
  // identifiers joined by dots.
  std::string Name(const char* What, bool Dotted = false, bool MayBeEmpty = false) {
    const std::size_t At = FIn.Position();
    std::string Text = ShortString(What);
    if (Text.empty() && !MayBeEmpty) Fail(std::string("empty ") + What, At);
    if (!Text.empty() && !IsName(Text, Dotted)) Fail(std::string(What) + " is no identifier", At);
    return Text;
  }
  // A run whose 32-bit length comes first, of Length units of Unit bytes.
  std::span<const std::uint8_t> Counted(std::size_t Unit, const char* What, std::size_t At, std::uint32_t& Length) {
    Length = FIn.U32("length");
    if (Length > FIn.Left() / Unit) Fail("length " + std::to_string(Length) + " past the end of the data", At);
    return FIn.Bytes(std::uint64_t(Length) * Unit, What);
  }

  void Count() {
    if (++FValues > MaxValues) Fail("more than " + std::to_string(MaxValues) + " values");
  }

  TValue Value(int Depth) {
    if (Depth > MaxDepth) Fail("values nested more than " + std::to_string(MaxDepth) + " deep");
    Count();
    const std::size_t At = FIn.Position();
    TValue V;
    V.Type = TValueType(U8("value type"));
    switch (V.Type) {
      case vaNull: Fail("a value where a property was expected", At);
      case vaList:
        while (Peek("list") != vaNull) V.List.push_back(Value(Depth + 1));
        FIn.Skip(1);
        break;
      case vaInt8: V.Int = std::int8_t(U8("integer")); break;
      case vaInt16: V.Int = std::int16_t(FIn.U16("integer")); break;
      case vaInt32: V.Int = std::int32_t(FIn.U32("integer")); break;
      case vaInt64: V.Int = std::int64_t(FIn.U64("integer")); break;
      case vaCurrency: V.Int = std::int64_t(FIn.U64("currency")); break;
      case vaExtended: std::memcpy(V.Extended.data(), FIn.Bytes(10, "extended float").data(), 10); break;
      case vaSingle: {
        const std::uint32_t Bits = FIn.U32("single float");
        float F;
        std::memcpy(&F, &Bits, 4);
        V.Float = F;
        break;
      }
      case vaDate: {
        const std::uint64_t Bits = FIn.U64("date");
        std::memcpy(&V.Float, &Bits, 8);
        break;
      }
      case vaString: V.Text = Latin1ToUtf8(ShortString("string")); break;
      // Dotted where it names a component of another module.
      case vaIdent: V.Text = Name("identifier value", true); break;
      case vaFalse:
      case vaTrue:
      case vaNil: break;
      case vaLString:
      case vaBinary: {
        std::uint32_t Length;
        const auto Bytes = Counted(1, "data", At, Length);
        if (V.Type == vaBinary) V.Bytes.assign(Bytes.begin(), Bytes.end());
        else V.Text = Latin1ToUtf8({reinterpret_cast<const char*>(Bytes.data()), Bytes.size()});
        break;
      }
      case vaWString: {
        std::uint32_t Count;
        const auto Units = Counted(2, "wide string", At, Count);
        V.Text = Utf8(Units.data(), Count, At);
        break;
      }
      case vaSet:
        for (std::string Element = Name("set element", false, true); !Element.empty();
             Element = Name("set element", false, true))
          V.Set.push_back(Element);
        break;
      case vaCollection:
        while (Peek("collection") != vaNull) {
          TItem Item;
          if (Peek("collection") != vaList) {
            const TValue Index = Value(Depth + 1);
            if (!Index.IsInteger()) Fail("a collection item's index is not an integer", At);
            Item.Index = Index.Int;
          }
          if (U8("collection") != vaList) Fail("a collection item does not begin with a list", At);
          Item.Properties = Properties(Depth + 1);
          V.Items.push_back(std::move(Item));
        }
        FIn.Skip(1);
        break;
      case vaUTF8String: {
        std::uint32_t Length;
        const auto Bytes = Counted(1, "UTF-8 string", At, Length);
        V = StringValue(std::string(reinterpret_cast<const char*>(Bytes.data()), Bytes.size()));
        break;
      }
      default: Fail((FProperty.empty() ? "" : FProperty + ": ") + "unknown value type " + std::to_string(V.Type), At);
    }
    return V;
  }

  std::vector<TProperty> Properties(int Depth) {
    std::vector<TProperty> List;
    while (Peek("property list") != 0) {
      TProperty P;
      Count();
      P.Where = Here();
      P.Name = Name("property name", true);
      FProperty = P.Name;
      P.Value = Value(Depth);
      List.push_back(std::move(P));
    }
    FIn.Skip(1);
    return List;
  }

  TObject Object(int Depth) {
    if (Depth > MaxDepth) Fail("objects nested more than " + std::to_string(MaxDepth) + " deep");
    if (++FObjects > MaxObjects) Fail("more than " + std::to_string(MaxObjects) + " objects");
    TObject O;
    O.Where = Here();
    FProperty.clear();
    if ((Peek("object") & 0xF0) == 0xF0) {
      O.Flags = U8("object") & 0x0F;
      if (O.Flags & ffChildPos) {
        const TValue Position = Value(Depth + 1);
        if (!Position.IsInteger()) Fail("a child position that is not an integer");
        O.Position = Position.Int;
      }
    }
    O.ClassName = Name("class name");
    O.Name = Name("component name", false, true);
    O.Properties = Properties(Depth);
    while (Peek("child list") != 0) O.Children.push_back(Object(Depth + 1));
    FIn.Skip(1);
    return O;
  }

  TObject Root() {
    if (std::memcmp(FIn.Bytes(4, "signature").data(), Signature, 4) != 0) Fail("not a binary form: no TPF0 signature", 0);
    TObject O = Object(0);
    if (!FIn.AtEnd()) Fail(SysUtils::ByteCount(FIn.Left()) + " after the form");
    return O;
  }

private:
  static std::string Latin1ToUtf8(std::string_view Bytes) {
    std::string Out;
    Out.reserve(Bytes.size());
    for (const unsigned char C : Bytes) AppendUtf8(Out, C);
    return Out;
  }

  // UTF-16LE to UTF-8; an unpaired surrogate is a fault.
  std::string Utf8(const std::uint8_t* Units, std::size_t Count, std::size_t At) const {
    std::string Out;
    for (std::size_t I = 0; I < Count; ++I) {
      std::uint32_t C = Units[2 * I] | Units[2 * I + 1] << 8;
      if (C >= 0xD800 && C < 0xDC00 && I + 1 < Count) {
        const std::uint32_t Low = Units[2 * I + 2] | Units[2 * I + 3] << 8;
        if (Low >= 0xDC00 && Low < 0xE000) {
          C = 0x10000 + ((C - 0xD800) << 10) + (Low - 0xDC00);
          ++I;
        }
      }
      if (C >= 0xD800 && C < 0xE000) Fail("an unpaired surrogate in a wide string", At);
      AppendUtf8(Out, C);
    }
    return Out;
  }

  SysUtils::TByteReader FIn;
  std::string FProperty;  // whose value is being read, for faults
  std::size_t FObjects = 0;
  std::size_t FValues = 0;
};

class TBinaryWriter {
public:
  explicit TBinaryWriter(const TSink* Sink = nullptr) : FSink(Sink) {}
  void U8(std::uint8_t V) { FOut.U8(V); }
  void Raw(const void* Data, std::size_t Size) {
    const auto* P = static_cast<const std::uint8_t*>(Data);
    for (std::size_t Done = 0; Done < Size;) {
      const std::size_t Piece = FSink ? std::min(Size - Done, FlushSize) : Size - Done;
      FOut.Bytes({P + Done, Piece});
      Done += Piece;
      Flush();
    }
  }
  // Hands what is written on to the sink once there is enough of it.
  void Flush(bool All = false) {
    if (FSink && (All || FOut.Size() >= FlushSize)) {
      (*FSink)({reinterpret_cast<const char*>(FOut.Data().data()), FOut.Size()});
      FOut.Clear();
    }
  }
  void ShortString(const std::string& Text) {
    if (Text.size() > 255) throw EWriteError("a name of more than 255 bytes: " + PrintableText(Text, 40));
    U8(std::uint8_t(Text.size()));
    Raw(Text.data(), Text.size());
  }

  void Value(const TValue& V) {
    U8(V.Type);
    switch (V.Type) {
      case vaList:
        for (const TValue& Item : V.List) Value(Item);
        U8(vaNull);
        break;
      case vaInt8: FOut.U8(std::uint8_t(V.Int)); break;
      case vaInt16: FOut.U16(std::uint16_t(V.Int)); break;
      case vaInt32: FOut.U32(std::uint32_t(V.Int)); break;
      case vaInt64:
      case vaCurrency: FOut.U64(std::uint64_t(V.Int)); break;
      case vaExtended: Raw(V.Extended.data(), 10); break;
      case vaSingle: {
        const float F = float(V.Float);
        std::uint32_t Bits;
        std::memcpy(&Bits, &F, 4);
        FOut.U32(Bits);
        break;
      }
      case vaDate: {
        std::uint64_t Bits;
        std::memcpy(&Bits, &V.Float, 8);
        FOut.U64(Bits);
        break;
      }
      case vaIdent: ShortString(V.Text); break;
      case vaString: {
        std::string Bytes;
        Latin1(V.Text, [&](std::uint32_t C) { Bytes += char(C); });
        ShortString(Bytes);
        break;
      }
      case vaLString: {
        std::uint32_t Count = 0;
        Latin1(V.Text, [&](std::uint32_t) { ++Count; });
        FOut.U32(Count);
        Latin1(V.Text, [&](std::uint32_t C) { U8(std::uint8_t(C)), Flush(); });
        break;
      }
      case vaBinary:
        FOut.U32(std::uint32_t(V.Bytes.size()));
        Raw(V.Bytes.data(), V.Bytes.size());
        break;
      case vaWString: {
        std::uint32_t Count = 0;
        Utf16(V.Text, [&](char16_t) { ++Count; });
        FOut.U32(Count);
        Utf16(V.Text, [&](char16_t C) { FOut.U16(C), Flush(); });
        break;
      }
      case vaSet:
        for (const std::string& Element : V.Set) ShortString(Element);
        U8(0);
        break;
      case vaCollection:
        for (const TItem& Item : V.Items) {
          if (Item.Index) Value(IntegerValue(*Item.Index));
          U8(vaList);
          Properties(Item.Properties);
        }
        U8(vaNull);
        break;
      default: break;
    }
  }
  void Properties(const std::vector<TProperty>& List) {
    for (const TProperty& P : List) {
      ShortString(P.Name);
      Value(P.Value);
      Flush();
    }
    U8(0);
  }
  void Object(const TObject& O) {
    if (O.Flags) {
      U8(std::uint8_t(0xF0 | O.Flags));
      if (O.Flags & ffChildPos) Value(IntegerValue(O.Position));
    }
    // A length byte of 0xF0 and up would read as the prefix.
    if (O.ClassName.size() >= 0xF0)
      throw EWriteError("a class name of 240 bytes or more: " + PrintableText(O.ClassName, 40));
    ShortString(O.ClassName);
    ShortString(O.Name);
    Properties(O.Properties);
    for (const TObject& Child : O.Children) Object(Child);
    U8(0);
  }
  std::vector<std::uint8_t> Take() {
    Flush(true);
    return FOut.Take();
  }

private:
  // Single-byte text, a character at a time: a character past U+00FF
  // needs a wide string.
  template <class F>
  static void Latin1(const std::string& Text, F Emit) {
    for (std::size_t I = 0; I < Text.size();) {
      const std::uint32_t C = NextCodePoint(Text, I);
      if (C > 0xFF) throw EWriteError("a character past U+00FF in a single-byte string");
      Emit(C);
    }
  }

  // UTF-16 code units, a unit at a time.
  template <class F>
  static void Utf16(const std::string& Text, F Emit) {
    for (std::size_t I = 0; I < Text.size();) {
      const std::uint32_t C = NextCodePoint(Text, I);
      if (C >= 0x10000) {
        Emit(char16_t(0xD800 + ((C - 0x10000) >> 10)));
        Emit(char16_t(0xDC00 + ((C - 0x10000) & 0x3FF)));
      } else {
        Emit(char16_t(C));
      }
    }
  }

  static constexpr std::size_t FlushSize = std::size_t(1) << 20;
  const TSink* FSink;
  SysUtils::TByteWriter FOut;
};

}  // namespace

bool IsName(const std::string& Text, bool Dotted) {
  bool Start = true;
  for (const char C : Text) {
    const bool Letter = (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || C == '_';
    const bool Digit = C >= '0' && C <= '9';
    if (Dotted && C == '.' && !Start) {
      Start = true;
      continue;
    }
    if (!(Letter || (Digit && !Start))) return false;
    Start = false;
  }
  if (Start) return false;
  // Words the text form reads as its own, in any case.
  for (const char* Reserved : {"object", "inherited", "inline", "end", "item"})
    if (SysUtils::SameText(Text, Reserved)) return false;
  return true;
}

TValue StringValue(std::string Utf8) {
  std::size_t Count = 0;
  bool Wide = false;
  for (std::size_t I = 0; I < Utf8.size(); ++Count) Wide |= NextCodePoint(Utf8, I) > 0xFF;
  TValue V;
  V.Type = Wide ? vaWString : Count > 255 ? vaLString : vaString;
  V.Text = std::move(Utf8);
  return V;
}

TValue IntegerValue(std::int64_t Value) {
  TValue V;
  V.Int = Value;
  V.Type = Value >= INT8_MIN && Value <= INT8_MAX     ? vaInt8
           : Value >= INT16_MIN && Value <= INT16_MAX ? vaInt16
           : Value >= INT32_MIN && Value <= INT32_MAX ? vaInt32
                                                      : vaInt64;
  return V;
}

std::string TypeName(TValueType Type) {
  static const char* const Names[] = {"nothing", "a list",   "an integer", "an integer", "an integer",
                                      "a float", "a string", "an identifier", "False", "True",
                                      "binary data", "a set", "a string", "nil", "a collection",
                                      "a float", "a currency value", "a date", "a string", "an integer", "a string"};
  return Type < std::size(Names) ? Names[Type] : "an unknown value";
}

TObject ReadBinary(std::span<const std::uint8_t> Data, const std::string& Where) {
  return TBinaryReader(Data, Where).Root();
}

std::vector<std::uint8_t> WriteBinary(const TObject& Root) {
  TBinaryWriter Out;
  for (const char C : Signature) Out.U8(std::uint8_t(C));
  Out.Object(Root);
  return Out.Take();
}

void WriteBinary(const TObject& Root, const TSink& Sink) {
  TBinaryWriter Out(&Sink);
  for (const char C : Signature) Out.U8(std::uint8_t(C));
  Out.Object(Root);
  Out.Take();
}

}  // namespace Classes::Form
