// Text fields over std::string, and strings in the notation of the text
// form ('it''s', #13#10), which the inspector shows without the notation.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "imgui.h"

namespace Lvdesign {

// ImGui's text fields over a string that grows as the user types.
bool InputString(const char* Label, std::string& Text, ImGuiInputTextFlags Flags = 0);
bool InputStringMultiline(const char* Label, std::string& Text, const ImVec2& Size, ImGuiInputTextFlags Flags = 0);

// A string as the text form writes it ('a''b'#13#10 + 'c') read as UTF-8
// text, by the form reader itself; nothing when it is no such string.
std::optional<std::string> DecodeStringLiteral(std::string_view Literal);
// UTF-8 text written back in that notation, as the form writer writes it.
std::string EncodeStringLiteral(std::string_view Text);

}  // namespace Lvdesign
