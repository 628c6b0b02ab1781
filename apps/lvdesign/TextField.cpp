#include "TextField.hpp"

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

}  // namespace

bool InputString(const char* Label, std::string& Text, ImGuiInputTextFlags Flags) {
  return ImGui::InputText(Label, Text.data(), Text.capacity() + 1, Flags | ImGuiInputTextFlags_CallbackResize, Resize,
                          &Text);
}

bool InputStringMultiline(const char* Label, std::string& Text, const ImVec2& Size, ImGuiInputTextFlags Flags) {
  return ImGui::InputTextMultiline(Label, Text.data(), Text.capacity() + 1, Size,
                                   Flags | ImGuiInputTextFlags_CallbackResize, Resize, &Text);
}

}  // namespace Lvdesign
