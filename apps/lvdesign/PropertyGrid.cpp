#include "PropertyGrid.hpp"


#include "FileChooser.hpp"
#include "Graphics.hpp"
#include "Presenting.hpp"
#include "TextField.hpp"
#include "imgui_internal.h"

namespace Lvdesign {

using Design::TInspectorRow;
using Design::TRowKind;

namespace {

const ImVec4 ErrorColour(0.75f, 0.0f, 0.0f, 1.0f);

bool EnterPressed() {
  return ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Enter)) ||
         ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_KeyPadEnter));
}

// Bold for a value that differs from the default, as a stored form would
// write it; the regular font for what is not the value (a list's choices,
// buttons).
struct TFont {
  explicit TFont(ImFont* Font) : FFont(Font) {
    if (FFont) ImGui::PushFont(FFont);
  }
  ~TFont() {
    if (FFont) ImGui::PopFont();
  }
  TFont(const TFont&) = delete;
  TFont& operator=(const TFont&) = delete;
  ImFont* FFont;
};
ImFont* Regular() { return ImGui::GetIO().Fonts->Fonts[0]; }

// The colour a TColor value shows as; nothing for what is no colour of its own.
std::optional<ImU32> ColourOf(const std::string& Value) {
  const auto Shown = Design::SwatchColour(Value);
  if (!Shown) return std::nullopt;
  return IM_COL32(Graphics::GetRValue(*Shown), Graphics::GetGValue(*Shown), Graphics::GetBValue(*Shown), 255);
}

// A framed square of the value's colour at Min; crossed out where the
// value is no colour of its own.
void DrawSwatch(ImVec2 Min, float Side, const std::string& Value) {
  ImDrawList* Draw = ImGui::GetWindowDrawList();
  const ImVec2 Max(Min.x + Side, Min.y + Side);
  const ImU32 Ink = ImGui::GetColorU32(ImGuiCol_Text);
  if (const auto Colour = ColourOf(Value)) {
    Draw->AddRectFilled(Min, Max, *Colour);
  } else {
    Draw->AddRectFilled(Min, Max, IM_COL32_WHITE);
    Draw->AddLine(ImVec2(Min.x, Max.y), ImVec2(Max.x, Min.y), IM_COL32(192, 0, 0, 255));
  }
  Draw->AddRect(Min, Max, Ink);
}

}  // namespace

void TPropertyGrid::Draw(const std::string& Error) {
  DrawHeader();
  ImGui::SetNextItemWidth(-1);
  ImGui::InputTextWithHint("##filter", "Find a property", FFilterText, sizeof FFilterText);
  const float Footer = Error.empty() ? 0 : ImGui::GetTextLineHeightWithSpacing() * 2;
  if (ImGui::BeginTabBar("inspector")) {
    for (const bool Events : {false, true}) {
      if (!ImGui::BeginTabItem(Events ? "Events" : "Properties")) continue;
      if (ImGui::BeginChild("rows", ImVec2(0, -Footer))) DrawRows(Events ? FDesigner.Events() : FDesigner.Properties(), Events);
      ImGui::EndChild();
      ImGui::EndTabItem();
    }
    ImGui::EndTabBar();
  }
  if (!Error.empty()) {
    ImGui::PushStyleColor(ImGuiCol_Text, ErrorColour);
    ImGui::TextWrapped("%s", Error.c_str());
    ImGui::PopStyleColor();
  }
}

void TPropertyGrid::DrawHeader() {
  const auto& Selection = FDesigner.Selection();
  const std::string Shown =
      Selection.size() == 1 ? Design::Describe(*Selection.front()) : std::to_string(Selection.size()) + " components selected";
  ImGui::SetNextItemWidth(-1);
  if (ImGui::BeginCombo("##component", Shown.c_str(), ImGuiComboFlags_HeightLarge)) {
    for (Classes::TComponent* Component : FDesigner.Components()) {
      const bool Selected = Selection.size() == 1 && Selection.front() == Component;
      if (ImGui::Selectable(Design::Describe(*Component).c_str(), Selected))
        FCommands.Post([this, Name = Component->Name()] { FDesigner.Select({Name}); });
      if (Selected) ImGui::SetItemDefaultFocus();
    }
    ImGui::EndCombo();
  }
}

void TPropertyGrid::DrawRows(const std::vector<TInspectorRow>& Rows, bool Events) {
  const ImGuiTableFlags Flags = ImGuiTableFlags_Resizable | ImGuiTableFlags_BordersInnerV |
                                ImGuiTableFlags_BordersOuterH | ImGuiTableFlags_RowBg;
  if (!ImGui::BeginTable(Events ? "events" : "properties", 2, Flags)) return;
  ImGui::TableSetupColumn("Name", ImGuiTableColumnFlags_WidthStretch, 0.36f);
  ImGui::TableSetupColumn("Value", ImGuiTableColumnFlags_WidthStretch, 0.64f);
  for (const TInspectorRow& Row : Rows) {
    if (!Design::NameMatches(Row.Name, FFilterText)) continue;
    ImGui::PushID(Row.Path.c_str());
    ImGui::TableNextRow();
    ImGui::TableSetColumnIndex(0);
    DrawName(Row);
    ImGui::TableSetColumnIndex(1);
    DrawValue(Row);
    ImGui::PopID();
  }
  ImGui::EndTable();
}

void TPropertyGrid::DrawName(const TInspectorRow& Row) {
  ImGui::AlignTextToFramePadding();
  const float Indent = float(Row.Depth) * ImGui::GetStyle().IndentSpacing;
  if (Indent > 0) ImGui::Indent(Indent);
  {
    const TFont Bold(Row.NotDefault ? FScreen.BoldFont() : nullptr);
    if (Row.Expandable) {
      const bool Open = FDesigner.Expanded(Row.Path);
      ImGui::SetNextItemOpen(Open, ImGuiCond_Always);
      ImGui::TreeNodeEx("##open", ImGuiTreeNodeFlags_NoTreePushOnOpen | ImGuiTreeNodeFlags_SpanAvailWidth, "%s",
                        Row.Name.c_str());
      if (ImGui::IsItemToggledOpen())
        FCommands.Post([this, Path = Row.Path, Open] { FDesigner.SetExpanded(Path, !Open); });
    } else {
      ImGui::TextUnformatted(Row.Name.c_str());
    }
  }
  if (Indent > 0) ImGui::Unindent(Indent);
}

void TPropertyGrid::DrawValue(const TInspectorRow& Row) {
  const TFont Bold(Row.NotDefault ? FScreen.BoldFont() : nullptr);
  if (Row.ReadOnly) {
    ImGui::AlignTextToFramePadding();
    ImGui::TextDisabled("%s", Row.Value.c_str());
    return;
  }
  const auto Set = [this, Path = Row.Path](const std::string& Value) { SetProperty(Path, Value); };
  switch (Row.Kind) {
    case TRowKind::String:
    case TRowKind::Integer:
    case TRowKind::Set:
      TextField(Row, Design::FieldText(Row), [Set, &Row](const std::string& Typed) { Set(Design::TypedValue(Row, Typed)); });
      break;
    case TRowKind::Boolean:
    case TRowKind::SetElement:
    case TRowKind::Enumeration:
    case TRowKind::Reference:
      ChoiceField(Row, Design::ListChoices(Row));
      break;
    case TRowKind::Color:
    case TRowKind::Cursor:
      NameOrNumberField(Row, Row.Kind == TRowKind::Color);
      break;
    case TRowKind::Object:
      ImGui::AlignTextToFramePadding();
      ImGui::TextUnformatted(Row.Value.c_str());
      break;
    case TRowKind::Graphic:
      GraphicField(Row);
      break;
    case TRowKind::Event: {
      const bool Typed = TextField(Row, Row.Value, [this, Path = Row.Path](const std::string& Handler) {
        FCommands.Post([this, Path, Handler] { FDesigner.SetEvent(Path, Handler); });
      });
      // A double-click on an empty event makes a handler for it, named
      // after the component and the event.
      if (!Typed && Row.Value.empty() && ImGui::IsItemHovered() && ImGui::IsMouseDoubleClicked(ImGuiMouseButton_Left)) {
        FEdit = {};
        ImGui::ClearActiveID();
        FCommands.Post([this, Path = Row.Path] { FDesigner.MakeHandler(Path); });
      }
      break;
    }
  }
}

bool TPropertyGrid::TextField(const TInspectorRow& Row, const std::string& Shown,
                           const std::function<void(const std::string&)>& Commit, float Width) {
  const Classes::TComponent* Component = FDesigner.Selection().front();
  const bool Editing = FEdit.Component == Component && FEdit.Path == Row.Path;
  std::string& Text = Editing ? FEdit.Text : (FScratch = Shown);
  ImGui::SetNextItemWidth(Width);
  InputString("##value", Text, ImGuiInputTextFlags_AutoSelectAll);
  if (ImGui::IsItemActivated()) FEdit = {Component, Row.Path, Shown, Shown};
  bool Committed = false;
  if (ImGui::IsItemDeactivated()) {
    Committed = Editing && FEdit.Text != FEdit.Original;
    if (Committed) Commit(FEdit.Text);
    FEdit = {};
  } else if (Editing && ImGui::IsItemActive() && EnterPressed() && FEdit.Text != FEdit.Original) {
    Commit(FEdit.Text);
    FEdit.Original = FEdit.Text;
    Committed = true;
  }
  return Committed;
}

void TPropertyGrid::ChoiceField(const TInspectorRow& Row, const std::vector<std::string>& Choices) {
  ImGui::SetNextItemWidth(-1);
  if (!ImGui::BeginCombo("##value", Row.Value.c_str(), ImGuiComboFlags_HeightLarge)) return;
  ImGui::PushFont(Regular());
  for (const std::string& Choice : Choices) {
    // An empty value is also several selected that differ: every choice,
    // the one shown included, sets them all.
    const bool Selected = Choice == Row.Value;
    if (ImGui::Selectable(Choice.empty() ? "(none)" : Choice.c_str(), Selected))
      SetProperty(Row.Path, Design::ChosenValue(Choice));
    if (Selected) ImGui::SetItemDefaultFocus();
  }
  ImGui::PopFont();
  ImGui::EndCombo();
}

void TPropertyGrid::NameOrNumberField(const TInspectorRow& Row, bool Colour) {
  const auto Set = [this, Path = Row.Path](const std::string& Value) { SetProperty(Path, Value); };
  const float Side = ImGui::GetFrameHeight(), Square = ImGui::GetTextLineHeight() - 2;
  if (Colour) {
    const ImVec2 At = ImGui::GetCursorScreenPos();
    ImGui::Dummy(ImVec2(Square + 4, Side));
    if (!Row.Value.empty()) DrawSwatch(ImVec2(At.x, At.y + (Side - Square) / 2), Square, Row.Value);
    ImGui::SameLine(0, 0);
  }
  // A name from the list or a number typed in.
  TextField(Row, Row.Value, Set, ImGui::GetContentRegionAvail().x - Side);
  ImGui::SameLine(0, 0);
  if (!ImGui::BeginCombo("##choices", nullptr, ImGuiComboFlags_NoPreview | ImGuiComboFlags_PopupAlignLeft |
                                                   ImGuiComboFlags_HeightLarge))
    return;
  ImGui::PushFont(Regular());
  const float Gap = ImGui::GetStyle().ItemInnerSpacing.x;
  for (const std::string& Choice : Row.Choices) {
    const bool Selected = Choice == Row.Value;
    if (!Colour) {
      if (ImGui::Selectable(Choice.c_str(), Selected)) Set(Choice);
    } else {
      // The swatch and the name over the whole row's selectable.
      const float Line = ImGui::GetTextLineHeight();
      const ImVec2 At = ImGui::GetCursorScreenPos();
      const float Width = Line + Gap + ImGui::CalcTextSize(Choice.c_str()).x;
      if (ImGui::Selectable(("##" + Choice).c_str(), Selected, ImGuiSelectableFlags_SpanAvailWidth, ImVec2(Width, 0)))
        Set(Choice);
      DrawSwatch(ImVec2(At.x, At.y + 1), Line - 2, Choice);
      ImGui::GetWindowDrawList()->AddText(ImVec2(At.x + Line + Gap, At.y), ImGui::GetColorU32(ImGuiCol_Text),
                                          Choice.c_str());
    }
    if (Selected) ImGui::SetItemDefaultFocus();
  }
  ImGui::PopFont();
  ImGui::EndCombo();
}

void TPropertyGrid::GraphicField(const TInspectorRow& Row) {
  ImGui::AlignTextToFramePadding();
  ImGui::TextUnformatted(Row.Value.c_str());
  // Only a picture is saved back out; a filter comes from a file already.
  const bool Picture = Row.Path == "Picture";
  // The buttons in the regular font, whatever the value's.
  ImGui::PushFont(Regular());
  ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(4, ImGui::GetStyle().ItemSpacing.y));
  ImGui::SameLine();
  if (ImGui::SmallButton("Load\xE2\x80\xA6"))
    FCommands.Post([this, Path = Row.Path] {
      const auto File = ChooseFile(FScreen, {"Load " + Path, TFileKind::Pictures, false, "", ""});
      if (File) FDesigner.LoadGraphic(Path, *File);
    });
  ImGui::SameLine();
  if (ImGui::SmallButton("Clear")) FCommands.Post([this, Path = Row.Path] { FDesigner.ClearGraphic(Path); });
  if (Picture && Row.Value != "(None)") {
    ImGui::SameLine();
    if (ImGui::SmallButton("Save\xE2\x80\xA6"))
      FCommands.Post([this, Path = Row.Path] {
        const auto File = ChooseFile(FScreen, {"Save " + Path, TFileKind::Pictures, true, ".bmp", ""});
        if (File) FDesigner.SaveGraphic(Path, *File);
      });
  }
  ImGui::PopStyleVar();
  ImGui::PopFont();
}

void TPropertyGrid::SetProperty(const std::string& Path, const std::string& Value) {
  FCommands.Post([this, Path, Value] { FDesigner.SetProperty(Path, Value); });
}

}  // namespace Lvdesign
