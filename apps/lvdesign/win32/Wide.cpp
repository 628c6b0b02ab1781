#include "Wide.hpp"

#include "Win32.hpp"

namespace Lvdesign {

std::wstring Widen(std::string_view Utf8) {
  if (Utf8.empty()) return {};
  const int Size = ::MultiByteToWideChar(CP_UTF8, 0, Utf8.data(), int(Utf8.size()), nullptr, 0);
  std::wstring Out(std::size_t(std::max(Size, 0)), L'\0');
  if (Size > 0) ::MultiByteToWideChar(CP_UTF8, 0, Utf8.data(), int(Utf8.size()), Out.data(), Size);
  return Out;
}

std::string Narrow(std::wstring_view Utf16) {
  if (Utf16.empty()) return {};
  const int Size = ::WideCharToMultiByte(CP_UTF8, 0, Utf16.data(), int(Utf16.size()), nullptr, 0, nullptr, nullptr);
  std::string Out(std::size_t(std::max(Size, 0)), '\0');
  if (Size > 0) ::WideCharToMultiByte(CP_UTF8, 0, Utf16.data(), int(Utf16.size()), Out.data(), Size, nullptr, nullptr);
  return Out;
}

std::wstring WithCrLf(std::wstring_view Text) {
  std::wstring Out;
  Out.reserve(Text.size() + Text.size() / 16);
  for (std::size_t I = 0; I < Text.size(); ++I) {
    if (Text[I] == L'\n' && (I == 0 || Text[I - 1] != L'\r')) Out += L'\r';
    Out += Text[I];
  }
  return Out;
}

std::string WithoutCr(std::string_view Text) {
  std::string Out;
  Out.reserve(Text.size());
  for (std::size_t I = 0; I < Text.size(); ++I)
    if (!(Text[I] == '\r' && I + 1 < Text.size() && Text[I + 1] == '\n')) Out += Text[I];
  return Out;
}

}  // namespace Lvdesign
