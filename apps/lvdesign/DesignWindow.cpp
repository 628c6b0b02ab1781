#include "DesignWindow.hpp"

#include <SDL.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>

#include "Classes.hpp"
#include "Dialogs.hpp"
#include "FileChooser.hpp"
#include "FormView.hpp"
#include "Presenting.hpp"
#include "PropertyGrid.hpp"
#include "Palette.hpp"
#include "RecentFiles.hpp"
#include "RunFolder.hpp"
#include "Screen.hpp"
#include "TextField.hpp"
#include "Tool.hpp"
#include "imgui_internal.h"

extern char** environ;

namespace Lvdesign {

namespace fs = std::filesystem;

namespace {

// Each frame's time in milliseconds, one a line, when LVDESIGN_FRAME_TIMES
// names a file to append them to.
class TFrameTimes {
public:
  TFrameTimes() {
    if (const char* File = std::getenv("LVDESIGN_FRAME_TIMES"); File && *File) FOut.open(File, std::ios::app);
  }
  void Record(std::chrono::steady_clock::duration Time) {
    if (FOut.is_open())
      FOut << std::chrono::duration<double, std::milli>(Time).count() << std::endl;
  }

private:
  std::ofstream FOut;
};

// The viewers started on the form (Run), reaped as they end. Each is
// given a copy of the form of its own, in a folder that goes when lvdesign
// ends.
class TViewers {
public:
  void Start(Forms::TForm& Form, const std::string& Lvview) {
    if (::access(Lvview.c_str(), X_OK) != 0)
      throw std::runtime_error("the viewer " + Lvview + " is missing, so the form cannot be run");
    Classes::TMemoryStream Binary;
    Binary.WriteComponent(&Form);
    std::string Program = Lvview, Option = "--form", File = FForms.Write(Binary.Memory());
    char* Arguments[] = {Program.data(), Option.data(), File.data(), nullptr};
    pid_t Child = 0;
    if (const int Error = posix_spawn(&Child, Lvview.c_str(), nullptr, nullptr, Arguments, environ); Error != 0)
      throw std::runtime_error("cannot start " + Lvview + ": " + std::strerror(Error));
    FChildren.push_back(Child);
  }

  // A viewer that ended on a failure is reported, once.
  std::optional<std::string> Reap() {
    std::optional<std::string> Failure;
    std::erase_if(FChildren, [&](pid_t Child) {
      int Status = 0;
      if (waitpid(Child, &Status, WNOHANG) != Child) return false;
      if (WIFEXITED(Status) && WEXITSTATUS(Status) != 0)
        Failure = "The viewer ended with status " + std::to_string(WEXITSTATUS(Status)) + " (see its messages).";
      return true;
    });
    return Failure;
  }

private:
  TRunFolder FForms;
  std::vector<pid_t> FChildren;
};

// Message boxes the framework puts up (a component's questions) are asked
// in the window, between frames; inside a frame none can be shown.
class TWindowQuestions : public Dialogs::TMessageBoxResponder {
public:
  explicit TWindowQuestions(TScreen& Screen) : FScreen(Screen) {}
  int Answer(const Dialogs::TMessageBoxCall& Call) override {
    if (FScreen.InFrame()) return 0;
    const auto Choices = Dialogs::MessageBoxButtons(Call.Type);
    if (Choices.empty()) return 0;
    std::vector<std::string> Labels;
    int Cancel = int(Choices.size()) - 1;
    for (std::size_t I = 0; I < Choices.size(); ++I) {
      Labels.push_back(Choices[I].first);
      if (Choices[I].second == Windows::IDCANCEL) Cancel = int(I);
    }
    return Choices[std::size_t(FScreen.Ask(Call.Caption, Call.Text, Labels, Cancel))].second;
  }

private:
  TScreen& FScreen;
};

class TDesignWindow {
public:
  TDesignWindow(Design::TDesigner& Designer, Design::TPackages& Packages, std::string Lvview)
      : FDesigner(Designer), FPackages(Packages), FLvview(std::move(Lvview)), FScreen(Designer.Title() + " - lvdesign"),
        FActions(Designer, Packages, FCommands), FPalette(FScreen, Designer, Packages, FCommands),
        FPropertyGrid(FScreen, Designer, FCommands), FFormView(FScreen, Designer, FCommands, FActions) {}

  int Run();

private:
  void HandleEvent(const SDL_Event& Event);
  void HandleKey(const SDL_KeyboardEvent& Key);
  void RunCommands();
  void Draw();
  void DrawMenu();
  void DrawFileMenu();
  void DrawStatusBar(float Height);
  void DrawTextView();

  // The menu's commands; each runs between frames.
  bool ConfirmDiscard();
  void NewForm();
  void OpenForm(std::string File);
  bool SaveForm(bool AskName);
  void Close();
  void ShowText();
  // Answers whether the form is shown again; a text that does not read
  // stays, with the fault shown above it.
  bool BackToForm();
  void InstallPackage();
  void RemovePackage(const std::string& File);
  void RunForm();
  Design::TAskIgnore IgnoreQuestion();
  // A failure of a menu command, in a message over the window.
  void Report(const std::string& Title, const std::function<void()>& Command);

  Design::TDesigner& FDesigner;
  Design::TPackages& FPackages;
  std::string FLvview;
  TScreen FScreen;
  TCommands FCommands;
  TActionMenus FActions;
  TPalette FPalette;
  TPropertyGrid FPropertyGrid;
  TFormView FFormView;
  TRecentFiles FRecent{RecentFilesList()};
  TViewers FViewers;
  TFrameTimes FFrameTimes;
  std::optional<std::string> FText;  // the form as text while it is edited so
  std::string FTextError;            // why the text did not go back to the form
  bool FFolded = false;              // the text names pictures' data
  std::string FError;                // the last edit's fault
  bool FCloseMenus = false;          // the next frame closes the menus and lists open
  bool FQuit = false;
};

int TDesignWindow::Run() {
  Dialogs::SetMessageBoxResponder(std::make_shared<TWindowQuestions>(FScreen));
  struct TRestore {
    ~TRestore() { Dialogs::SetMessageBoxResponder(nullptr); }
  } Restore;
  // ImGui settles over a few frames after input (hover, popups opening).
  int Settle = 3;
  while (!FQuit) {
    const bool Busy = Settle > 0 || !FCommands.Empty() || FScreen.Pending();
    if (!Busy) FScreen.Wait();
    // Time spent in questions is the user's, not the frame's.
    const auto Start = std::chrono::steady_clock::now() - FScreen.Asking();
    const bool Input = FScreen.Pump([this](const SDL_Event& Event) { HandleEvent(Event); });
    if (const auto Failure = FViewers.Reap()) FScreen.Message("Run", *Failure);
    if (!Input && !Busy && !ImGui::GetIO().WantTextInput) continue;
    Settle = Input || !FCommands.Empty() ? 3 : std::max(0, Settle - 1);
    RunCommands();
    if (FScreen.CloseRequested()) {
      FScreen.ClearCloseRequest();
      Close();
    }
    if (FQuit) break;
    FFormView.Update();
    FScreen.SetTitle(FDesigner.Title() + " - lvdesign");
    FScreen.BeginFrame();
    try {
      Draw();
    } catch (const std::exception& E) {
      // What the model answered while drawing failed: the frame is closed
      // as far as it got and the fault shown.
      ImGui::ErrorCheckEndFrameRecover(nullptr);
      FError = E.what();
    }
    FFormView.Flush();
    FScreen.EndFrame();
    FFrameTimes.Record(std::chrono::steady_clock::now() - FScreen.Asking() - Start);
  }
  return Tool::ExitDone;
}

void TDesignWindow::HandleEvent(const SDL_Event& Event) {
  const ImGuiIO& IO = ImGui::GetIO();
  if (Event.type == SDL_QUIT ||
      (Event.type == SDL_WINDOWEVENT && Event.window.event == SDL_WINDOWEVENT_CLOSE))
    FCommands.Post([this] { Close(); });
  else if (Event.type == SDL_KEYDOWN)
    HandleKey(Event.key);
  else if (!FText)
    FFormView.Handle(Event, IO.WantTextInput);
}

void TDesignWindow::HandleKey(const SDL_KeyboardEvent& Key) {
  const ImGuiIO& IO = ImGui::GetIO();
  const SDL_Keycode Code = Key.keysym.sym;
  // An open menu or list has the keys: Escape closes it, and nothing acts
  // behind it.
  if (GImGui->OpenPopupStack.Size > 0) {
    if (Code == SDLK_ESCAPE) FCloseMenus = true;
    return;
  }
  if (IO.WantTextInput) return;
  const bool Ctrl = (Key.keysym.mod & KMOD_CTRL) != 0, Shift = (Key.keysym.mod & KMOD_SHIFT) != 0;
  // The File menu's keys work wherever no field is being typed in.
  if (Ctrl && Code == SDLK_s) return FCommands.Post([this] { SaveForm(false); });
  if (Ctrl && Code == SDLK_o) return FCommands.Post([this] { OpenForm(""); });
  if (Ctrl && Code == SDLK_n) return FCommands.Post([this] { NewForm(); });
  if (Ctrl && Code == SDLK_q) return FCommands.Post([this] { Close(); });
  if (Code == SDLK_F9) return FCommands.Post([this] { RunForm(); });
  // The form's own keys, while it is shown and nothing else holds the keyboard.
  if (FText || IO.WantCaptureKeyboard) return;
  if (FActions.Key(Key)) return;
  if (Ctrl) return;
  static const std::pair<SDL_Keycode, Design::TFormKey> FormKeys[] = {
      {SDLK_LEFT, Design::TFormKey::Left}, {SDLK_RIGHT, Design::TFormKey::Right}, {SDLK_UP, Design::TFormKey::Up},
      {SDLK_DOWN, Design::TFormKey::Down}, {SDLK_TAB, Design::TFormKey::Tab},     {SDLK_ESCAPE, Design::TFormKey::Escape}};
  for (const auto& [Sdl, Key] : FormKeys)
    if (Code == Sdl) return FCommands.Post([this, Key = Key, Shift] { Design::FormKey(FDesigner, Key, Shift); });
}

void TDesignWindow::RunCommands() {
  // A menu or list closes at the end of the frame its item was chosen in,
  // which still shows it; a question the command asks would be drawn over
  // that frame, so the commands wait for the next. A list the user keeps
  // open holds up nothing.
  if (FScreen.ShowsPopup() && GImGui->OpenPopupStack.Size == 0) return;
  for (TPosted& Posted : FCommands.Take()) {
    try {
      Posted.Command();
      if (!Posted.Quiet) FError.clear();
    } catch (const std::exception& E) {
      FError = E.what();
    }
  }
}

void TDesignWindow::Report(const std::string& Title, const std::function<void()>& Command) {
  try {
    Command();
  } catch (const std::exception& E) {
    FScreen.Message(Title, E.what());
  }
}

void TDesignWindow::Draw() {
  if (FCloseMenus) ImGui::ClosePopupsExceptModals();
  FCloseMenus = false;
  DrawMenu();
  const ImGuiViewport* View = ImGui::GetMainViewport();
  const float StatusHeight = ImGui::GetFrameHeight();
  const float Top = View->WorkPos.y, PaletteHeight = 76, InspectorWidth = 400;
  const ImGuiWindowFlags Fixed = ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoCollapse |
                                 ImGuiWindowFlags_NoBringToFrontOnFocus;

  ImGui::SetNextWindowPos(ImVec2(View->WorkPos.x, Top));
  ImGui::SetNextWindowSize(ImVec2(View->WorkSize.x, PaletteHeight));
  if (ImGui::Begin("Palette", nullptr, Fixed | ImGuiWindowFlags_NoTitleBar)) {
    ImGui::BeginDisabled(FText.has_value());
    FPalette.Draw();
    ImGui::EndDisabled();
  }
  ImGui::End();

  const float Below = Top + PaletteHeight, Rest = View->WorkSize.y - PaletteHeight - StatusHeight;
  ImGui::SetNextWindowPos(ImVec2(View->WorkPos.x, Below));
  ImGui::SetNextWindowSize(ImVec2(InspectorWidth, Rest));
  if (ImGui::Begin("Object Inspector", nullptr, Fixed)) {
    // While the text is edited the form is what the text will say.
    ImGui::BeginDisabled(FText.has_value());
    FPropertyGrid.Draw(FError);
    ImGui::EndDisabled();
  }
  ImGui::End();

  ImGui::SetNextWindowPos(ImVec2(View->WorkPos.x + InspectorWidth, Below));
  ImGui::SetNextWindowSize(ImVec2(View->WorkSize.x - InspectorWidth, Rest));
  ImGui::PushStyleColor(ImGuiCol_WindowBg, IM_COL32(128, 128, 128, 255));
  ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(16, 16));
  const bool Shown = ImGui::Begin("Form", nullptr, Fixed | ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_HorizontalScrollbar);
  ImGui::PopStyleVar();
  ImGui::PopStyleColor();
  if (Shown) FText ? DrawTextView() : FFormView.Draw();
  ImGui::End();
  DrawStatusBar(StatusHeight);
}

void TDesignWindow::DrawStatusBar(float Height) {
  const ImGuiViewport* View = ImGui::GetMainViewport();
  ImGui::SetNextWindowPos(ImVec2(View->WorkPos.x, View->WorkPos.y + View->WorkSize.y - Height));
  ImGui::SetNextWindowSize(ImVec2(View->WorkSize.x, Height));
  ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(8, 0));
  const ImGuiWindowFlags Flags = ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove |
                                 ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoBringToFrontOnFocus |
                                 ImGuiWindowFlags_NoFocusOnAppearing;
  if (ImGui::Begin("Status", nullptr, Flags)) {
    ImGui::AlignTextToFramePadding();
    // While the form's edge is dragged, the size it is taking.
    const Forms::TForm& Form = FDesigner.Form();
    const std::string Status = FFormView.SizingForm() ? Form.Name() + ": " + std::to_string(Form.ClientWidth()) +
                                                            " x " + std::to_string(Form.ClientHeight())
                                                      : FDesigner.SelectionStatus();
    ImGui::TextUnformatted(Status.c_str());
    // The last file action at the right end.
    const std::string& File = FDesigner.LastFileAction();
    if (!File.empty()) {
      const float Width = ImGui::CalcTextSize(File.c_str()).x;
      ImGui::SameLine(std::max(ImGui::GetCursorPosX() + 24, ImGui::GetWindowContentRegionMax().x - Width));
      ImGui::TextDisabled("%s", File.c_str());
    }
  }
  ImGui::End();
  ImGui::PopStyleVar();
}

void TDesignWindow::DrawMenu() {
  if (!ImGui::BeginMainMenuBar()) return;
  DrawFileMenu();
  // While the form is shown as text, its edits wait for the text to go back.
  for (const char* Menu : {"Edit", "Arrange"})
    if (ImGui::BeginMenu(Menu)) {
      FActions.DrawItems(Menu, !FText);
      ImGui::EndMenu();
    }
  if (ImGui::BeginMenu("Component")) {
    if (ImGui::MenuItem("Install Package\xE2\x80\xA6")) FCommands.Post([this] { InstallPackage(); });
    const std::vector<std::string> Installed = FPackages.Installed();
    if (ImGui::BeginMenu("Remove Package", !Installed.empty())) {
      for (const std::string& File : Installed)
        if (ImGui::MenuItem(File.c_str())) FCommands.Post([this, File] { RemovePackage(File); });
      ImGui::EndMenu();
    }
    ImGui::EndMenu();
  }
  if (ImGui::BeginMenu("Run")) {
    if (ImGui::MenuItem("Run", "F9")) FCommands.Post([this] { RunForm(); });
    ImGui::EndMenu();
  }
  ImGui::EndMainMenuBar();
}

void TDesignWindow::DrawFileMenu() {
  if (!ImGui::BeginMenu("File")) return;
  if (ImGui::MenuItem("New", "Ctrl+N")) FCommands.Post([this] { NewForm(); });
  if (ImGui::MenuItem("Open\xE2\x80\xA6", "Ctrl+O")) FCommands.Post([this] { OpenForm(""); });
  if (ImGui::MenuItem("Save", "Ctrl+S")) FCommands.Post([this] { SaveForm(false); });
  if (ImGui::MenuItem("Save As\xE2\x80\xA6")) FCommands.Post([this] { SaveForm(true); });
  if (ImGui::BeginMenu("Recent files", !FRecent.Files().empty())) {
    for (const std::string& File : FRecent.Files())
      if (ImGui::MenuItem(File.c_str())) FCommands.Post([this, File] { OpenForm(File); });
    ImGui::EndMenu();
  }
  ImGui::Separator();
  if (ImGui::MenuItem("View as Text", nullptr, FText.has_value()))
    FCommands.Post([this] {
      if (FText)
        BackToForm();
      else
        ShowText();
    });
  ImGui::Separator();
  if (ImGui::MenuItem("Quit", "Ctrl+Q")) FCommands.Post([this] { Close(); });
  ImGui::EndMenu();
}

void TDesignWindow::DrawTextView() {
  if (ImGui::Button("Back to form")) FCommands.Post([this] { BackToForm(); });
  ImGui::SameLine();
  // Light on the view's grey, where the disabled colour barely shows.
  const ImVec4 Note(0.95f, 0.95f, 0.95f, 1);
  ImGui::TextColored(Note, "The form as its text file holds it; the form takes it back when you return.");
  if (FFolded) {
    ImGui::PushStyleColor(ImGuiCol_Text, Note);
    ImGui::TextWrapped(
        "Each picture's data is shown as a name, FoldedData1, FoldedData2 and so on, and put back in its place: keep "
        "the name to keep the picture (or give it to another picture property), delete the line to clear it.");
    ImGui::PopStyleColor();
  }
  if (!FTextError.empty()) ImGui::TextColored(ImVec4(0.75f, 0, 0, 1), "%s", FTextError.c_str());
  // Escape would put back the text the field held when it was clicked,
  // throwing away all typed since: it only leaves the field.
  const bool Escape = ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Escape));
  std::string Typed = Escape ? *FText : std::string();
  if (ImFont* Mono = FScreen.MonoFont()) ImGui::PushFont(Mono);
  InputStringMultiline("##text", *FText, ImVec2(-1, -1), ImGuiInputTextFlags_AllowTabInput);
  if (FScreen.MonoFont()) ImGui::PopFont();
  if (Escape) *FText = std::move(Typed);
}

Design::TAskIgnore TDesignWindow::IgnoreQuestion() {
  return Design::AskIgnore([this](const Design::TQuestion& Q) { return FScreen.Ask(Q.Title, Q.Text, Q.Buttons, Q.Cancel); });
}

bool TDesignWindow::ConfirmDiscard() {
  if (!FDesigner.Modified()) return true;
  const Design::TQuestion Q = Design::SaveChangesQuestion(FDesigner);
  switch (FScreen.Ask(Q.Title, Q.Text, Q.Buttons, Q.Cancel)) {
    case 0: return SaveForm(false);
    case 1: return true;
    default: return false;
  }
}

void TDesignWindow::NewForm() {
  if (!ConfirmDiscard()) return;
  FText.reset();
  FDesigner.New();
}

void TDesignWindow::OpenForm(std::string File) {
  if (!ConfirmDiscard()) return;
  if (File.empty()) {
    const auto Chosen = ChooseFile(FScreen, {"Open form", TFileKind::Forms, false, "", FDesigner.FileName()});
    if (!Chosen) return;
    File = *Chosen;
  }
  Report("Open", [&] {
    FDesigner.Open(File, IgnoreQuestion());
    FText.reset();
    FRecent.Add(File);
  });
}

bool TDesignWindow::SaveForm(bool AskName) {
  // What the text says is what is saved: it goes back to the form first.
  if (!BackToForm()) return false;
  std::string File = FDesigner.FileName();
  if (AskName || File.empty()) {
    const auto Chosen =
        ChooseFile(FScreen, {"Save form as", TFileKind::Forms, true, ".dfm", File.empty() ? "Unit1.dfm" : File});
    if (!Chosen) return false;
    File = *Chosen;
  }
  bool Saved = false;
  Report("Save", [&] {
    FDesigner.Save(File);
    FRecent.Add(File);
    Saved = true;
  });
  return Saved;
}

void TDesignWindow::Close() {
  // The window's close button leaves a list open: it goes first, so that
  // no question is asked in front of it.
  if (GImGui->OpenPopupStack.Size > 0) {
    FCloseMenus = true;
    return FCommands.Post([this] { Close(); });
  }
  if (BackToForm() && ConfirmDiscard()) FQuit = true;
}

void TDesignWindow::ShowText() {
  FText = FDesigner.FoldedText();
  FFolded = FText->find("= FoldedData") != std::string::npos;
  FTextError.clear();
}

bool TDesignWindow::BackToForm() {
  if (!FText) return true;
  try {
    // Unchanged text is no edit to undo.
    if (*FText != FDesigner.FoldedText()) FDesigner.SetText(*FText, IgnoreQuestion());
  } catch (const std::exception& E) {
    FTextError = E.what();
    return false;
  }
  FText.reset();
  return true;
}

void TDesignWindow::InstallPackage() {
  const auto File = ChooseFile(FScreen, {"Install package", TFileKind::Packages, false, "", ""});
  if (File) Report("Install Package", [&] { FPackages.Install(*File); });
}

void TDesignWindow::RemovePackage(const std::string& File) {
  Report("Remove Package", [&] {
    FDesigner.SetTool(nullptr);
    FPackages.Remove(File, [this](Classes::TComponentClass Class) { return Design::FormHolds(FDesigner, Class); });
  });
}

void TDesignWindow::RunForm() {
  if (!BackToForm()) return;
  Report("Run", [&] { FViewers.Start(FDesigner.Form(), FLvview); });
}

}  // namespace

int RunDesignWindow(Design::TDesigner& Designer, Design::TPackages& Packages, const std::string& Lvview) {
  TDesignWindow Window(Designer, Packages, Lvview);
  return Window.Run();
}

}  // namespace Lvdesign
