#include "PropertyGrid.hpp"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "FileChooser.hpp"
#include "TextField.hpp"
#include "imgui_internal.h"

namespace Lvdesign {

using Design::TInspectorRow;
using Design::TRowKind;

namespace {

const ImVec4 ErrorColour(0.75f, 0.0f, 0.0f, 1.0f);

std::string Describe(const Classes::TComponent& Component) {
  return Component.Name() + ": " + Component.StoredClassName();
}

bool Matches(const std::string& Name, const char* Filter) {
  const std::string_view Wanted(Filter);
  return std::search(Name.begin(), Name.end(), Wanted.begin(), Wanted.end(), [](char A, char B) {
           return std::tolower(static_cast<unsigned char>(A)) == std::tolower(static_cast<unsigned char>(B));
         }) != Name.end();
}

bool EnterPressed() {
  return ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Enter)) ||
         ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_KeyPadEnter));
}

// Bold for a value that differs from the default, as a stored form would
// write it.
struct TBold {
  explicit TBold(ImFont* Font) : FFont(Font) {
    if (FFont) ImGui::PushFont(FFont);
  }
  ~TBold() {
    if (FFont) ImGui::PopFont();
  }
  ImFont* FFont;
};

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
      Selection.size() == 1 ? Describe(*Selection.front()) : std::to_string(Selection.size()) + " components selected";
  ImGui::SetNextItemWidth(-1);
  if (ImGui::BeginCombo("##component", Shown.c_str(), ImGuiComboFlags_HeightLarge)) {
    for (Classes::TComponent* Component : FDesigner.Components()) {
      const bool Selected = Selection.size() == 1 && Selection.front() == Component;
      if (ImGui::Selectable(Describe(*Component).c_str(), Selected))
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
    if (!Matches(Row.Name, FFilterText)) continue;
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
    TBold Bold(Row.NotDefault ? FScreen.BoldFont() : nullptr);
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
  TBold Bold(Row.NotDefault ? FScreen.BoldFont() : nullptr);
  if (Row.ReadOnly) {
    ImGui::AlignTextToFramePadding();
    ImGui::TextDisabled("%s", Row.Value.c_str());
    return;
  }
  const auto Set = [this, Path = Row.Path](const std::string& Value) { SetProperty(Path, Value); };
  switch (Row.Kind) {
    case TRowKind::String: {
      // Shown as the text itself; a value the notation cannot be read
      // back from is shown and taken as it is written.
      const std::optional<std::string> Text = DecodeStringLiteral(Row.Value);
      if (Text)
        TextField(Row, *Text, [Set](const std::string& Typed) { Set(EncodeStringLiteral(Typed)); });
      else
        TextField(Row, Row.Value, Set);
      break;
    }
    case TRowKind::Integer:
    case TRowKind::Set:
      TextField(Row, Row.Value, Set);
      break;
    case TRowKind::Boolean:
    case TRowKind::SetElement:
      ChoiceField(Row, Row.Choices.empty() ? std::vector<std::string>{"False", "True"} : Row.Choices);
      break;
    case TRowKind::Enumeration:
      ChoiceField(Row, Row.Choices);
      break;
    case TRowKind::Reference: {
      // The empty choice takes the reference away.
      std::vector<std::string> Choices{""};
      Choices.insert(Choices.end(), Row.Choices.begin(), Row.Choices.end());
      ChoiceField(Row, Choices);
      break;
    }
    case TRowKind::Color:
    case TRowKind::Cursor: {
      // A name from the list or a number typed in.
      const float Arrow = ImGui::GetFrameHeight();
      TextField(Row, Row.Value, Set, ImGui::GetContentRegionAvail().x - Arrow);
      ImGui::SameLine(0, 0);
      if (ImGui::BeginCombo("##choices", nullptr, ImGuiComboFlags_NoPreview | ImGuiComboFlags_PopupAlignLeft |
                                                      ImGuiComboFlags_HeightLarge)) {
        for (const std::string& Choice : Row.Choices)
          if (ImGui::Selectable(Choice.c_str(), Choice == Row.Value)) Set(Choice);
        ImGui::EndCombo();
      }
      break;
    }
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
  for (const std::string& Choice : Choices) {
    const bool Selected = Choice == Row.Value;
    if (ImGui::Selectable(Choice.empty() ? "(none)" : Choice.c_str(), Selected) && !Selected)
      SetProperty(Row.Path, Choice.empty() ? "''" : Choice);
    if (Selected) ImGui::SetItemDefaultFocus();
  }
  ImGui::EndCombo();
}

void TPropertyGrid::GraphicField(const TInspectorRow& Row) {
  ImGui::AlignTextToFramePadding();
  ImGui::TextUnformatted(Row.Value.c_str());
  // Only a picture is saved back out; a filter comes from a file already.
  const bool Picture = Row.Path == "Picture";
  // The buttons in the regular font, whatever the value's.
  ImGui::PushFont(ImGui::GetIO().Fonts->Fonts[0]);
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
