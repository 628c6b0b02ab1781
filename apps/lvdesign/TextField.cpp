#include "TextField.hpp"

#include <cctype>
#include <cstdint>

namespace Lvdesign {

namespace {

int Resize(ImGuiInputTextCallbackData* Data) {
  if (Data->EventFlag == ImGuiInputTextFlags_CallbackResize) {
    auto* Text = static_cast<std::string*>(Data->UserData);
    Text->resize(std::size_t(Data->BufTextLen));
    Data->Buf = Text->data();
  }
  return 0;
}

void PutUtf8(std::string& Out, std::uint32_t C) {
  if (C < 0x80) {
    Out += char(C);
  } else if (C < 0x800) {
    Out += char(0xC0 | (C >> 6)), Out += char(0x80 | (C & 0x3F));
  } else if (C < 0x10000) {
    Out += char(0xE0 | (C >> 12)), Out += char(0x80 | ((C >> 6) & 0x3F)), Out += char(0x80 | (C & 0x3F));
  } else {
    Out += char(0xF0 | (C >> 18)), Out += char(0x80 | ((C >> 12) & 0x3F)), Out += char(0x80 | ((C >> 6) & 0x3F)),
        Out += char(0x80 | (C & 0x3F));
  }
}

// The code point at At, moving past it; a byte that starts no valid
// sequence stands for itself.
std::uint32_t NextCodePoint(std::string_view Text, std::size_t& At) {
  const auto Byte = [&](std::size_t I) { return static_cast<std::uint8_t>(Text[I]); };
  const std::uint8_t Lead = Byte(At);
  const int Length = Lead < 0x80 ? 1 : (Lead >> 5) == 6 ? 2 : (Lead >> 4) == 14 ? 3 : (Lead >> 3) == 30 ? 4 : 0;
  if (Length <= 1 || At + Length > Text.size()) return Byte(At++);
  std::uint32_t C = Lead & (0x7F >> Length);
  for (int I = 1; I < Length; ++I) {
    if ((Byte(At + I) & 0xC0) != 0x80) return Byte(At++);
    C = (C << 6) | (Byte(At + I) & 0x3F);
  }
  At += std::size_t(Length);
  return C;
}

}  // namespace

bool InputString(const char* Label, std::string& Text, ImGuiInputTextFlags Flags) {
  return ImGui::InputText(Label, Text.data(), Text.capacity() + 1, Flags | ImGuiInputTextFlags_CallbackResize, Resize,
                          &Text);
}

bool InputStringMultiline(const char* Label, std::string& Text, const ImVec2& Size, ImGuiInputTextFlags Flags) {
  return ImGui::InputTextMultiline(Label, Text.data(), Text.capacity() + 1, Size,
                                   Flags | ImGuiInputTextFlags_CallbackResize, Resize, &Text);
}

std::optional<std::string> DecodeStringLiteral(std::string_view Literal) {
  std::string Out;
  std::size_t At = 0;
  std::uint32_t High = 0;  // a high surrogate waiting for its low half
  const auto SkipBlanks = [&] {
    while (At < Literal.size() && std::isspace(static_cast<unsigned char>(Literal[At]))) ++At;
  };
  SkipBlanks();
  if (At == Literal.size()) return std::nullopt;
  while (At < Literal.size()) {
    if (Literal[At] == '\'') {
      if (High) return std::nullopt;
      for (++At;; ++At) {
        if (At >= Literal.size()) return std::nullopt;
        if (Literal[At] != '\'') {
          Out += Literal[At];
        } else if (At + 1 < Literal.size() && Literal[At + 1] == '\'') {
          Out += '\'', ++At;
        } else {
          ++At;
          break;
        }
      }
    } else if (Literal[At] == '#') {
      ++At;
      const bool Hex = At < Literal.size() && Literal[At] == '$';
      if (Hex) ++At;
      std::uint32_t Code = 0;
      const std::size_t Start = At;
      for (; At < Literal.size() && (Hex ? std::isxdigit(static_cast<unsigned char>(Literal[At]))
                                         : std::isdigit(static_cast<unsigned char>(Literal[At])));
           ++At) {
        const char C = char(std::tolower(static_cast<unsigned char>(Literal[At])));
        Code = Code * (Hex ? 16 : 10) + std::uint32_t(C <= '9' ? C - '0' : C - 'a' + 10);
        if (Code > 0x10FFFF) return std::nullopt;
      }
      if (At == Start) return std::nullopt;
      if (High && Code >= 0xDC00 && Code < 0xE000) {
        PutUtf8(Out, 0x10000 + ((High - 0xD800) << 10) + (Code - 0xDC00));
        High = 0;
      } else if (High || (Code >= 0xDC00 && Code < 0xE000)) {
        return std::nullopt;
      } else if (Code >= 0xD800 && Code < 0xDC00) {
        High = Code;
      } else {
        PutUtf8(Out, Code);
      }
    } else {
      // Pieces of a long string are joined with + across lines.
      SkipBlanks();
      if (At == Literal.size()) break;
      if (Literal[At] != '+') return std::nullopt;
      ++At;
      SkipBlanks();
      if (At >= Literal.size()) return std::nullopt;
    }
  }
  if (High) return std::nullopt;
  return Out;
}

std::string EncodeStringLiteral(std::string_view Text) {
  if (Text.empty()) return "''";
  std::string Out;
  bool Quoted = false;
  for (std::size_t At = 0; At < Text.size();) {
    const std::uint32_t C = NextCodePoint(Text, At);
    const bool Printable = C >= 0x20 && C < 0x7F;
    if (Printable != Quoted) Out += '\'';
    Quoted = Printable;
    if (Printable) {
      Out += C == '\'' ? "''" : std::string(1, char(C));
    } else if (C >= 0x10000) {
      Out += '#' + std::to_string(0xD800 + ((C - 0x10000) >> 10)) + '#' + std::to_string(0xDC00 + ((C - 0x10000) & 0x3FF));
    } else {
      Out += '#' + std::to_string(C);
    }
  }
  if (Quoted) Out += '\'';
  return Out;
}

}  // namespace Lvdesign
