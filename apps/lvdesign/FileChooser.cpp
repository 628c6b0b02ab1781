#include "FileChooser.hpp"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "SysUtils.hpp"
#include "TextField.hpp"

namespace Lvdesign {

namespace fs = std::filesystem;

namespace {

struct TFilter {
  const char* Label;
  std::vector<const char*> Extensions;  // none: every file
};

const TFilter Filters[] = {
    {"Forms (*.dfm, *.txt)", {".dfm", ".txt"}},
    {"Pictures (*.bmp, *.png, *.jpg, *.jpeg)", {".bmp", ".png", ".jpg", ".jpeg"}},
    {"Packages (*.bpl)", {".bpl"}},
    {"All files", {}},
};

struct TEntry {
  std::string Name;
  bool Folder = false;
};

class TFileChooser {
public:
  TFileChooser(TScreen& Screen, const TFileQuestion& Question) : FScreen(Screen), FQuestion(Question) {
    FFilter = int(Question.Kind);
    std::error_code Error;
    fs::path Start = Question.Start.empty() ? fs::current_path(Error) : fs::path(Question.Start);
    if (!Start.empty() && !fs::is_directory(Start, Error)) {
      if (Question.Saving) FName = Start.filename().string();
      Start = Start.parent_path();
    }
    if (Start.empty() || !fs::is_directory(Start, Error)) Start = fs::current_path(Error);
    Enter(Start);
  }

  std::optional<std::string> Run() {
    const std::string Id = FQuestion.Title + "##file";
    bool Opened = false;
    FScreen.RunModal([&] {
      if (!Opened) ImGui::OpenPopup(Id.c_str());
      Opened = true;
      const ImGuiViewport* View = ImGui::GetMainViewport();
      ImGui::SetNextWindowPos(View->GetCenter(), ImGuiCond_Always, ImVec2(0.5f, 0.5f));
      ImGui::SetNextWindowSize(ImVec2(std::min(680.0f, View->Size.x - 40), std::min(460.0f, View->Size.y - 40)));
      if (ImGui::BeginPopupModal(Id.c_str(), nullptr, ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoResize)) {
        Draw();
        if (FDone) ImGui::CloseCurrentPopup();
        ImGui::EndPopup();
      }
      if (FScreen.CloseRequested()) FDone = true;
      return FDone;
    });
    return FChosen;
  }

private:
  void Enter(const fs::path& Folder) {
    std::error_code Error;
    const fs::path Absolute = fs::absolute(Folder, Error).lexically_normal();
    FEntries.clear();
    FSelected = -1;
    FError.clear();
    FFolder = Absolute;
    fs::directory_iterator It(Absolute, fs::directory_options::skip_permission_denied, Error);
    for (; !Error && It != fs::directory_iterator(); It.increment(Error)) {
      const std::string Name = It->path().filename().string();
      if (Name.empty() || Name[0] == '.') continue;
      std::error_code Ignored;
      const bool IsFolder = It->is_directory(Ignored);
      if (!IsFolder && !Matches(Name)) continue;
      FEntries.push_back({Name, IsFolder});
    }
    if (Error) FError = "Cannot read " + Absolute.string() + ": " + Error.message();
    std::sort(FEntries.begin(), FEntries.end(), [](const TEntry& A, const TEntry& B) {
      if (A.Folder != B.Folder) return A.Folder;
      return SysUtils::LowerCase(A.Name) < SysUtils::LowerCase(B.Name);
    });
  }

  bool Matches(const std::string& Name) const {
    const auto& Extensions = Filters[FFilter].Extensions;
    const std::string Extension = SysUtils::LowerCase(fs::path(Name).extension().string());
    return Extensions.empty() ||
           std::any_of(Extensions.begin(), Extensions.end(), [&](const char* E) { return Extension == E; });
  }

  // What the name field or a double-click names: a folder is entered, a
  // file is the answer.
  void Accept(const std::string& Text) {
    if (Text.empty()) return;
    fs::path Path = Text;
    if (Text == "~" || Text.rfind("~/", 0) == 0) {
      const char* Home = std::getenv("HOME");
      if (Home) Path = fs::path(Home) / Text.substr(std::min<std::size_t>(2, Text.size()));
    }
    if (Path.is_relative()) Path = FFolder / Path;
    std::error_code Error;
    if (fs::is_directory(Path, Error)) {
      Enter(Path);
      FName.clear();
      return;
    }
    if (FQuestion.Saving) {
      if (!Path.has_extension() && !FQuestion.DefaultExtension.empty()) Path += FQuestion.DefaultExtension;
      if (!fs::is_directory(Path.parent_path(), Error)) {
        FError = "No such folder: " + Path.parent_path().string();
        return;
      }
    } else if (!fs::is_regular_file(Path, Error)) {
      FError = "No such file: " + Path.string();
      return;
    }
    FChosen = Path.lexically_normal().string();
    FDone = true;
  }

  void Draw() {
    if (ImGui::Button("Up") && FFolder.has_parent_path() && FFolder != FFolder.root_path()) Enter(FFolder.parent_path());
    ImGui::SameLine();
    ImGui::TextUnformatted(FFolder.string().c_str());

    const float Below = ImGui::GetFrameHeightWithSpacing() * 2 + ImGui::GetStyle().ItemSpacing.y +
                        (FError.empty() ? 0 : ImGui::GetTextLineHeightWithSpacing());
    std::string Activated;
    if (ImGui::BeginChild("entries", ImVec2(0, -Below), true)) {
      for (int I = 0; I < int(FEntries.size()); ++I) {
        const TEntry& Entry = FEntries[I];
        const std::string Label = (Entry.Folder ? "\xE2\x96\xB8 " + Entry.Name + "/" : "   " + Entry.Name) + "##" +
                                  std::to_string(I);
        if (ImGui::Selectable(Label.c_str(), FSelected == I, ImGuiSelectableFlags_AllowDoubleClick)) {
          FSelected = I;
          if (!Entry.Folder) FName = Entry.Name;
          if (ImGui::IsMouseDoubleClicked(ImGuiMouseButton_Left)) Activated = Entry.Name;
        }
      }
      if (FEntries.empty() && FError.empty()) ImGui::TextDisabled("(nothing here)");
    }
    ImGui::EndChild();
    if (!Activated.empty()) Accept(Activated);
    if (!FError.empty()) ImGui::TextColored(ImVec4(0.8f, 0.0f, 0.0f, 1.0f), "%s", FError.c_str());

    ImGui::AlignTextToFramePadding();
    ImGui::TextUnformatted("Name");
    ImGui::SameLine(70);
    ImGui::SetNextItemWidth(-1);
    if (ImGui::IsWindowAppearing()) ImGui::SetKeyboardFocusHere();
    if (InputString("##name", FName, ImGuiInputTextFlags_EnterReturnsTrue)) Accept(FName);
    ImGui::AlignTextToFramePadding();
    ImGui::TextUnformatted("Show");
    ImGui::SameLine(70);
    ImGui::SetNextItemWidth(300);
    if (ImGui::BeginCombo("##filter", Filters[FFilter].Label)) {
      for (int I = 0; I < int(std::size(Filters)); ++I)
        if (ImGui::Selectable(Filters[I].Label, I == FFilter)) {
          FFilter = I;
          Enter(FFolder);
        }
      ImGui::EndCombo();
    }
    ImGui::SameLine(ImGui::GetWindowWidth() - 200);
    if (ImGui::Button(FQuestion.Saving ? "Save" : "Open", ImVec2(90, 0))) Accept(FName);
    ImGui::SameLine();
    if (ImGui::Button("Cancel", ImVec2(90, 0)) || ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Escape)))
      FDone = true;
  }

  TScreen& FScreen;
  TFileQuestion FQuestion;
  fs::path FFolder;
  std::vector<TEntry> FEntries;
  int FSelected = -1;
  int FFilter = 0;
  std::string FName, FError;
  std::optional<std::string> FChosen;
  bool FDone = false;
};

}  // namespace

std::optional<std::string> ChooseFile(TScreen& Screen, const TFileQuestion& Question) {
  TFileQuestion Next = Question;
  for (;;) {
    std::optional<std::string> Chosen = TFileChooser(Screen, Next).Run();
    std::error_code Error;
    if (!Chosen || !Question.Saving || !fs::exists(*Chosen, Error)) return Chosen;
    const int Answer = Screen.Ask(Question.Title, fs::path(*Chosen).filename().string() + " already exists. Replace it?",
                                  {"Replace", "Choose another", "Cancel"}, 2);
    if (Answer == 0) return Chosen;
    if (Answer == 2) return std::nullopt;
    Next.Start = *Chosen;
  }
}

}  // namespace Lvdesign
