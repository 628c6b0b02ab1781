// Text as every unit shows and compares it: ASCII case, UTF-8, sizes in
// messages, and text from outside made safe to show on one line.
#include <cstdio>

#include "SysUtils.hpp"
#include "os/Os.hpp"

namespace SysUtils {

std::string LowerCase(std::string_view Text) {
  std::string Result(Text);
  for (char& C : Result) C = LowerChar(C);
  return Result;
}

std::string UpperCase(std::string_view Text) {
  std::string Result(Text);
  for (char& C : Result) C = UpperChar(C);
  return Result;
}

char32_t NextCodePoint(std::string_view Text, std::size_t& Pos) {
  const auto Lead = std::uint8_t(Text[Pos++]);
  if (Lead < 0x80) return Lead;
  // Bytes after the lead: C0 and C1 could only begin overlong forms, and
  // F5 and up only code points past U+10FFFF.
  const std::size_t Extra = Lead >= 0xC2 && Lead < 0xE0 ? 1 : Lead >= 0xE0 && Lead < 0xF0 ? 2
                            : Lead >= 0xF0 && Lead < 0xF5 ? 3 : 0;
  if (Extra == 0 || Text.size() - Pos < Extra) return NoCodePoint;
  char32_t Code = Lead & (0x3F >> Extra);
  for (std::size_t K = 0; K < Extra; ++K) {
    const auto Next = std::uint8_t(Text[Pos + K]);
    if ((Next & 0xC0) != 0x80) return NoCodePoint;
    Code = Code << 6 | (Next & 0x3F);
  }
  constexpr char32_t Smallest[] = {0, 0x80, 0x800, 0x10000};
  if (Code < Smallest[Extra] || (Code >= 0xD800 && Code < 0xE000) || Code > 0x10FFFF) return NoCodePoint;
  Pos += Extra;
  return Code;
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

std::string ExtractFileName(std::string_view Path) {
  return std::string(Path.substr(Path.find_last_of(Os::PathSeparators) + 1));
}

std::string ByteCount(std::uint64_t Count) { return std::to_string(Count) + (Count == 1 ? " byte" : " bytes"); }

std::string SizeText(std::uint64_t Bytes) {
  static const char* const Units[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
  int Unit = 0;
  double Value = double(Bytes);
  while (Value >= 1024 && Unit < 4) Value /= 1024, ++Unit;
  if (Unit == 0) return ByteCount(Bytes);
  char Text[32];
  if (Value == double(std::uint64_t(Value)))
    std::snprintf(Text, sizeof Text, "%llu %s", static_cast<unsigned long long>(Value), Units[Unit]);
  else
    std::snprintf(Text, sizeof Text, "%.1f %s", Value, Units[Unit]);
  return Text;
}

namespace {

// Code points that change how a line reads without being seen.
bool Invisible(char32_t Code) {
  return Code < 0x20 || (Code >= 0x7F && Code < 0xA0) || Code == 0x2028 || Code == 0x2029 ||
         (Code >= 0x200B && Code <= 0x200F) || (Code >= 0x202A && Code <= 0x202E) ||
         (Code >= 0x2066 && Code <= 0x2069) || Code == 0xFEFF;
}

}  // namespace

std::string PrintableText(std::string_view Text) {
  static const char Hex[] = "0123456789ABCDEF";
  std::string Out;
  for (std::size_t I = 0; I < Text.size();) {
    const std::size_t Start = I;
    const char32_t Code = NextCodePoint(Text, I);
    if (Code == NoCodePoint) {
      const auto Byte = std::uint8_t(Text[Start]);
      Out += {'\\', 'x', Hex[Byte >> 4], Hex[Byte & 15]};
    } else if (Invisible(Code) && Code < 0x80) {
      Out += {'\\', 'x', Hex[Code >> 4], Hex[Code & 15]};
    } else if (Invisible(Code)) {
      Out += {'\\', 'u', Hex[Code >> 12], Hex[Code >> 8 & 15], Hex[Code >> 4 & 15], Hex[Code & 15]};
    } else {
      if (Code == '\\') Out += '\\';
      Out.append(Text.substr(Start, I - Start));
    }
  }
  return Out;
}

std::string PrintableText(std::string_view Text, std::size_t Max) {
  if (Text.size() <= Max) return PrintableText(Text);
  std::size_t Cut = 0;
  for (std::size_t Next = 0; Next <= Max; NextCodePoint(Text, Next)) Cut = Next;
  return PrintableText(Text.substr(0, Cut)) + "... (" + std::to_string(Text.size()) + " bytes)";
}

}  // namespace SysUtils
