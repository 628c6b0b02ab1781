// ImGui's text fields over std::string.
#pragma once

#include <string>

#include "imgui.h"

namespace Lvdesign {

// ImGui's text fields over a string that grows as the user types.
bool InputString(const char* Label, std::string& Text, ImGuiInputTextFlags Flags = 0);
bool InputStringMultiline(const char* Label, std::string& Text, const ImVec2& Size, ImGuiInputTextFlags Flags = 0);

}  // namespace Lvdesign
