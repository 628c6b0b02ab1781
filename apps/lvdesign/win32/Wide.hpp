// The window's own calls to the system take UTF-16; everything behind them
// (the model, files, the command line) is UTF-8. These convert at that edge.
#pragma once

#include <string>
#include <string_view>

namespace Lvdesign {

std::wstring Widen(std::string_view Utf8);
std::string Narrow(std::wstring_view Utf16);
// Line breaks as edit controls and the clipboard want them (\r\n), and back.
std::wstring WithCrLf(std::wstring_view Text);
std::string WithoutCr(std::string_view Text);

}  // namespace Lvdesign
