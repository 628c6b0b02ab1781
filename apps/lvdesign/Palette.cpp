#include "Palette.hpp"

#include <algorithm>

#include "Presenting.hpp"


namespace Lvdesign {

namespace {

constexpr float ButtonSide = 34, GlyphSide = 24;

void DrawArrow(ImDrawList* Draw, ImVec2 At, ImU32 Colour) {
  const auto P = [&](float X, float Y) { return ImVec2(At.x + X, At.y + Y); };
  Draw->AddTriangleFilled(P(12, 6), P(12, 25), P(24, 19), Colour);
  Draw->AddLine(P(17, 19), P(21, 28), Colour, 3);
}

}  // namespace

const TTexture* TPalette::GlyphOf(const Design::TPaletteButton& Button) {
  if (!Button.Glyph || Button.Glyph->Empty()) return nullptr;
  auto [Entry, Made] = FGlyphs.try_emplace(Button.Glyph.get());
  if (Made) {
    Entry->second.Bitmap = Button.Glyph;
    Entry->second.Texture.Update(FScreen.Renderer(), *Button.Glyph, true);
  }
  return &Entry->second.Texture;
}

bool TPalette::ToolButton(const char* Id, bool Chosen, const char* Tip, const TTexture* Glyph,
                          const std::string& Initials, bool Arrow) {
  ImGui::PushID(Id);
  if (Chosen) ImGui::PushStyleColor(ImGuiCol_Button, ImGui::GetStyleColorVec4(ImGuiCol_ButtonActive));
  const bool Pressed = ImGui::Button("##tool", ImVec2(ButtonSide, ButtonSide));
  if (Chosen) ImGui::PopStyleColor();
  const ImVec2 At = ImGui::GetItemRectMin();
  ImDrawList* Draw = ImGui::GetWindowDrawList();
  const ImU32 Ink = ImGui::GetColorU32(ImGuiCol_Text);
  if (Arrow) {
    DrawArrow(Draw, At, Ink);
  } else if (Glyph && Glyph->Id()) {
    // Scaled to fit, keeping its proportions.
    const float Scale = GlyphSide / float(std::max(Glyph->Width(), Glyph->Height()));
    const ImVec2 Size(Glyph->Width() * Scale, Glyph->Height() * Scale);
    const ImVec2 Min(At.x + (ButtonSide - Size.x) / 2, At.y + (ButtonSide - Size.y) / 2);
    Draw->AddImage(Glyph->Id(), Min, ImVec2(Min.x + Size.x, Min.y + Size.y));
  } else {
    const ImVec2 Min(At.x + 5, At.y + 5), Max(At.x + ButtonSide - 5, At.y + ButtonSide - 5);
    Draw->AddRectFilled(Min, Max, IM_COL32(255, 255, 255, 255));
    Draw->AddRect(Min, Max, Ink);
    const ImVec2 Text = ImGui::CalcTextSize(Initials.c_str());
    Draw->AddText(ImVec2(At.x + (ButtonSide - Text.x) / 2, At.y + (ButtonSide - Text.y) / 2), Ink, Initials.c_str());
  }
  if (ImGui::IsItemHovered()) ImGui::SetTooltip("%s", Tip);
  ImGui::PopID();
  return Pressed;
}

void TPalette::Draw() {
  const std::vector<Design::TPaletteButton> Buttons = FPackages.Palette();
  std::vector<std::string> Pages;
  for (const auto& Button : Buttons)
    if (std::find(Pages.begin(), Pages.end(), Button.Page) == Pages.end()) Pages.push_back(Button.Page);
  const Classes::TComponentClass Tool = FDesigner.Tool();
  const auto Arrow = [&] {
    if (ToolButton("select", Tool == nullptr, "Select", nullptr, "", true))
      FCommands.Post([this] { FDesigner.SetTool(nullptr); });
  };
  if (Pages.empty()) {
    Arrow();
    ImGui::SameLine();
    ImGui::TextDisabled("No components: install a package (Component menu).");
  } else if (ImGui::BeginTabBar("pages")) {
    for (const std::string& Page : Pages) {
      if (!ImGui::BeginTabItem(Page.c_str())) continue;
      Arrow();
      for (const auto& Button : Buttons) {
        if (Button.Page != Page || !Button.Class) continue;
        ImGui::SameLine();
        const std::string& Name = Button.Class->ClassName;
        if (ToolButton(Name.c_str(), Tool == Button.Class, Name.c_str(), GlyphOf(Button), Design::Initials(Name), false))
          FCommands.Post([this, Class = Button.Class] { FDesigner.SetTool(Class); });
      }
      ImGui::EndTabItem();
    }
    ImGui::EndTabBar();
  }
  // Glyphs of packages since removed are let go.
  std::erase_if(FGlyphs, [&](const auto& Entry) {
    return std::none_of(Buttons.begin(), Buttons.end(), [&](const auto& B) { return B.Glyph.get() == Entry.first; });
  });
}

}  // namespace Lvdesign
