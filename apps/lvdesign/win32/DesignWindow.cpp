// lvdesign's window on Windows, made of the system's own controls: the
// menu bar, the palette, the object inspector, the form view and the
// status bar, over the same model and table of actions as on Linux.
#include "DesignWindow.hpp"

#include <memory>
#include <optional>
#include <stdexcept>

#include "Classes.hpp"
#include "Dialogs.hpp"
#include "FormView.hpp"
#include "Ids.hpp"
#include "PropertyGrid.hpp"
#include "Palette.hpp"
#include "Presenting.hpp"
#include "RecentFiles.hpp"
#include "RunFolder.hpp"
#include "Tool.hpp"
#include "Wide.hpp"

#include <commdlg.h>
#include <shlobj.h>

namespace Lvdesign {

using namespace std::string_literals;

namespace {

constexpr int InspectorWidth = 320;
constexpr UINT_PTR ReapTimer = 1;

// A key of the table as an accelerator; nothing where Windows has no such key.
std::optional<ACCEL> Accelerator(const Design::TKey& Key, WORD Command) {
  WORD Code = 0;
  if (Key.Name.size() == 1 && std::isalnum(static_cast<unsigned char>(Key.Name[0])))
    Code = WORD(std::toupper(static_cast<unsigned char>(Key.Name[0])));
  else if (Key.Name == "Delete") Code = VK_DELETE;
  else if (Key.Name == "Insert") Code = VK_INSERT;
  else if (Key.Name == "Tab") Code = VK_TAB;
  else if (Key.Name == "Escape") Code = VK_ESCAPE;
  else if (Key.Name.size() >= 2 && Key.Name[0] == 'F' && std::isdigit(static_cast<unsigned char>(Key.Name[1])))
    Code = WORD(VK_F1 + std::stoi(Key.Name.substr(1)) - 1);
  else return std::nullopt;
  return ACCEL{BYTE(FVIRTKEY | (Key.Ctrl ? FCONTROL : 0) | (Key.Shift ? FSHIFT : 0) | (Key.Alt ? FALT : 0)), Code, Command};
}

// The clipboard is one at a time for every program: one that holds it for
// a moment (a clipboard viewer, a program pasting) is waited for a while.
bool OpenClipboardPatiently(HWND Owner) {
  for (int Attempt = 0; Attempt < 50; ++Attempt) {
    if (::OpenClipboard(Owner)) return true;
    ::Sleep(20);
  }
  return false;
}

std::string ClipboardText(HWND Owner) {
  std::string Text;
  if (!OpenClipboardPatiently(Owner)) return Text;
  if (const HANDLE Data = ::GetClipboardData(CF_UNICODETEXT))
    if (const auto* Wide = static_cast<const wchar_t*>(::GlobalLock(Data))) {
      Text = WithoutCr(Narrow(Wide));
      ::GlobalUnlock(Data);
    }
  ::CloseClipboard();
  return Text;
}

void SetClipboardText(HWND Owner, const std::string& Text) {
  // As Notepad and every other program take it: \r\n between lines.
  const std::wstring Wide = WithCrLf(Widen(Text));
  const HGLOBAL Data = ::GlobalAlloc(GMEM_MOVEABLE, (Wide.size() + 1) * sizeof(wchar_t));
  if (!Data) throw std::runtime_error("the clipboard: out of memory");
  std::copy_n(Wide.c_str(), Wide.size() + 1, static_cast<wchar_t*>(::GlobalLock(Data)));
  ::GlobalUnlock(Data);
  if (!OpenClipboardPatiently(Owner)) {
    ::GlobalFree(Data);
    throw std::runtime_error("the clipboard is in use by another program");
  }
  ::EmptyClipboard();
  if (!::SetClipboardData(CF_UNICODETEXT, Data)) ::GlobalFree(Data);
  ::CloseClipboard();
}

// The viewers started on the form (Run), each with a copy of the form of
// its own in a folder that goes when lvdesign ends.
class TViewers {
public:
  ~TViewers() {
    for (HANDLE Process : FProcesses) ::CloseHandle(Process);
  }

  void Start(Forms::TForm& Form, const std::string& Lvview) {
    const std::wstring Program = Widen(Lvview);
    if (::GetFileAttributesW(Program.c_str()) == INVALID_FILE_ATTRIBUTES)
      throw std::runtime_error("the viewer " + Lvview + " is missing, so the form cannot be run");
    Classes::TMemoryStream Binary;
    Binary.WriteComponent(&Form);
    const std::string File = FForms.Write(Binary.Memory());
    // Neither name can hold a quote: Windows allows none in a file name.
    std::wstring Line = L"\"" + Program + L"\" --form \"" + Widen(File) + L"\"";
    STARTUPINFOW Startup{sizeof Startup};
    PROCESS_INFORMATION Process{};
    if (!::CreateProcessW(Program.c_str(), Line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &Startup, &Process))
      throw std::runtime_error("cannot start " + Lvview + ": error " + std::to_string(::GetLastError()));
    ::CloseHandle(Process.hThread);
    FProcesses.push_back(Process.hProcess);
  }

  // A viewer that ended on a failure is reported, once.
  std::optional<std::string> Reap() {
    std::optional<std::string> Failure;
    std::erase_if(FProcesses, [&](HANDLE Process) {
      DWORD Status = 0;
      if (!::GetExitCodeProcess(Process, &Status) || Status == STILL_ACTIVE) return false;
      if (Status != 0) Failure = "The viewer ended with status " + std::to_string(Status) + " (see its messages).";
      ::CloseHandle(Process);
      return true;
    });
    return Failure;
  }

private:
  TRunFolder FForms;
  std::vector<HANDLE> FProcesses;
};

class TDesignWindow : public THost {
public:
  TDesignWindow(Design::TDesigner& Designer, Design::TPackages& Packages, std::string Lvview)
      : FDesigner(Designer), FPackages(Packages), FLvview(std::move(Lvview)) {}
  ~TDesignWindow() override {
    if (FActionKeys) ::DestroyAcceleratorTable(FActionKeys);
    if (FFileKeys) ::DestroyAcceleratorTable(FFileKeys);
    if (FMono) ::DeleteObject(FMono);
  }

  int Run();

  HWND Window() const override { return FWindow; }
  void Edit(const std::function<void()>& Do, bool Quiet = false) override;
  void Command(int Id) override;
  std::string ChooseFile(const std::wstring& Title, const std::wstring& Filter, bool Saving,
                         const std::wstring& DefaultExtension, const std::string& Start) override;

  // The main window's, through ObjectProcedure.
  void Attach(HWND Window) { FWindow = Window; }
  LRESULT Handle(UINT Message, WPARAM W, LPARAM L);

private:
  void Create();
  HMENU MakeMenu();
  void MakeKeys();
  void Layout();
  // Everything shown anew from the model.
  void Refresh();
  void UpdateMenu(HMENU Menu);
  // Whether the form's own keys (Delete, Ctrl+C, Tab...) act: while the
  // form view has the keyboard, or nothing of the inspector's has it.
  bool FormHasKeys() const;
  // The place of the button chosen, as a task dialog over the window.
  int Ask(const Design::TQuestion& Question);
  // A failure of a menu command, in a message box over the window;
  // answers whether there was none.
  bool Report(const std::string& Title, const std::function<void()>& Do);
  void RunAction(const Design::TAction& Action);

  // The File menu's commands. Each asks what it needs in the system's
  // dialogs and shows a failure in a message box.
  void NewForm(), Close(), ShowText(), InstallPackage();
  void OpenForm(std::string File);
  // Each answers whether it was done: a cancelled question is not.
  bool SaveForm(bool AskName), ConfirmDiscard(), BackToForm();
  void RemovePackage(const std::string& File);
  Design::TAskIgnore IgnoreQuestion();

  Design::TDesigner& FDesigner;
  Design::TPackages& FPackages;
  std::string FLvview;
  HWND FWindow = nullptr, FStatus = nullptr, FText = nullptr;
  HACCEL FActionKeys = nullptr, FFileKeys = nullptr;
  HFONT FMono = nullptr;
  std::unique_ptr<TPalette> FPalette;
  std::unique_ptr<TPropertyGrid> FGrid;
  std::unique_ptr<TFormView> FFormView;
  TRecentFiles FRecent{RecentFilesList()};
  TViewers FViewers;
  std::vector<std::string> FInstalled;  // as the Remove Package menu lists them
  std::string FTitle;
  bool FShowingText = false;
  bool FQuit = false;
};

void TDesignWindow::Create() {
  INITCOMMONCONTROLSEX Controls{sizeof Controls, ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&Controls);
  const HINSTANCE Instance = ::GetModuleHandleW(nullptr);
  RegisterWindowClass(Ids::MainClass, &ObjectProcedure<TDesignWindow>, 0, ::GetSysColorBrush(COLOR_BTNFACE));
  ::CreateWindowExW(0, Ids::MainClass, L"lvdesign", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                    1100, 720, nullptr, MakeMenu(), Instance, this);
  if (!FWindow) throw std::runtime_error("cannot open a window: error " + std::to_string(::GetLastError()));
  FStatus = ::CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, FWindow,
                              reinterpret_cast<HMENU>(INT_PTR(Ids::StatusBar)), Instance, nullptr);
  FText = ::CreateWindowExW(WS_EX_CLIENTEDGE, WC_EDITW, L"",
                            WS_CHILD | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL |
                                ES_WANTRETURN | ES_NOHIDESEL,
                            0, 0, 10, 10, FWindow, reinterpret_cast<HMENU>(INT_PTR(Ids::TextView)), Instance,
                            nullptr);
  FMono = ::CreateFontW(-13, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, FIXED_PITCH | FF_MODERN, L"Courier New");
  ::SendMessageW(FText, WM_SETFONT, WPARAM(FMono), TRUE);
  // The text is no short field: a form with pictures is long.
  ::SendMessageW(FText, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
  FPalette = std::make_unique<TPalette>(*this, FDesigner, FPackages);
  FGrid = std::make_unique<TPropertyGrid>(*this, FDesigner);
  FFormView = std::make_unique<TFormView>(*this, FDesigner);
  MakeKeys();
  Layout();
  Refresh();
  ::SetTimer(FWindow, ReapTimer, 500, nullptr);
}

HMENU TDesignWindow::MakeMenu() {
  const HMENU Bar = ::CreateMenu();
  const auto Popup = [&](const wchar_t* Title) {
    const HMENU Menu = ::CreatePopupMenu();
    ::AppendMenuW(Bar, MF_POPUP, UINT_PTR(Menu), Title);
    return Menu;
  };
  const HMENU File = Popup(L"&File");
  ::AppendMenuW(File, MF_STRING, Ids::New, L"&New\tCtrl+N");
  ::AppendMenuW(File, MF_STRING, Ids::Open, L"&Open\u2026\tCtrl+O");
  ::AppendMenuW(File, MF_STRING, Ids::Save, L"&Save\tCtrl+S");
  ::AppendMenuW(File, MF_STRING, Ids::SaveAs, L"Save &As\u2026");
  ::AppendMenuW(File, MF_POPUP, UINT_PTR(::CreatePopupMenu()), L"&Recent Files");
  ::AppendMenuW(File, MF_SEPARATOR, 0, nullptr);
  ::AppendMenuW(File, MF_STRING, Ids::ViewAsText, L"View as &Text");
  ::AppendMenuW(File, MF_SEPARATOR, 0, nullptr);
  ::AppendMenuW(File, MF_STRING, Ids::Quit, L"&Quit\tCtrl+Q");
  // The table's menus, its rows in its order.
  const auto& Actions = Design::Actions();
  for (const wchar_t* Title : {L"&Edit", L"&Arrange"}) {
    const HMENU Menu = Popup(Title);
    const std::string Name = Narrow(Title + 1);
    for (std::size_t I = 0; I < Actions.size(); ++I)
      if (Actions[I].Menu == Name) ::AppendMenuW(Menu, MF_STRING, Ids::Action + I, Widen(Actions[I].Label).c_str());
  }
  const HMENU Component = Popup(L"&Component");
  ::AppendMenuW(Component, MF_STRING, Ids::InstallPackage, L"&Install Package\u2026");
  ::AppendMenuW(Component, MF_POPUP, UINT_PTR(::CreatePopupMenu()), L"&Remove Package");
  const HMENU Run = Popup(L"&Run");
  ::AppendMenuW(Run, MF_STRING, Ids::Run, L"&Run\tF9");
  return Bar;
}

void TDesignWindow::MakeKeys() {
  std::vector<ACCEL> Keys;
  const auto& Actions = Design::Actions();
  for (std::size_t I = 0; I < Actions.size(); ++I)
    for (const Design::TKey& Key : Design::ParseShortcuts(Actions[I].Shortcut))
      if (const auto Accel = Accelerator(Key, WORD(Ids::Action + I))) Keys.push_back(*Accel);
  FActionKeys = ::CreateAcceleratorTableW(Keys.data(), int(Keys.size()));
  // The File menu's keys work wherever the keyboard is.
  ACCEL File[] = {{FVIRTKEY | FCONTROL, 'N', Ids::New},
                  {FVIRTKEY | FCONTROL, 'O', Ids::Open},
                  {FVIRTKEY | FCONTROL, 'S', Ids::Save},
                  {FVIRTKEY | FCONTROL, 'Q', Ids::Quit},
                  {FVIRTKEY, VK_F9, Ids::Run}};
  FFileKeys = ::CreateAcceleratorTableW(File, int(std::size(File)));
}

void TDesignWindow::Layout() {
  RECT Client;
  ::GetClientRect(FWindow, &Client);
  ::SendMessageW(FStatus, WM_SIZE, 0, 0);
  RECT Status;
  ::GetWindowRect(FStatus, &Status);
  const int StatusHeight = Status.bottom - Status.top;
  const int Parts[] = {std::max(int(Client.right) - 320, 100), -1};
  ::SendMessageW(FStatus, SB_SETPARTS, 2, LPARAM(Parts));
  FPalette->Place(0, 0, Client.right);
  const int Top = TPalette::Height + 2, Height = Client.bottom - Top - StatusHeight;
  FGrid->Place(2, Top, InspectorWidth, Height);
  const int Left = InspectorWidth + 6;
  ::MoveWindow(FFormView->Handle(), Left, Top, Client.right - Left - 2, Height, TRUE);
  ::MoveWindow(FText, Left, Top, Client.right - Left - 2, Height, TRUE);
}

void TDesignWindow::Refresh() {
  const std::string Title = FDesigner.Title() + " - lvdesign";
  if (Title != FTitle) ::SetWindowTextW(FWindow, Widen(FTitle = Title).c_str());
  // While the form's edge is dragged, the size it is taking.
  const Forms::TForm& Form = FDesigner.Form();
  const std::string Status = FFormView->SizingForm() ? Form.Name() + ": " + std::to_string(Form.ClientWidth()) + " x " +
                                                           std::to_string(Form.ClientHeight())
                                                     : FDesigner.SelectionStatus();
  ::SendMessageW(FStatus, SB_SETTEXTW, 0, LPARAM(Widen(Status).c_str()));
  ::SendMessageW(FStatus, SB_SETTEXTW, 1, LPARAM(Widen(FDesigner.LastFileAction()).c_str()));
  FPalette->Update();
  FFormView->Update();
  // The inspector follows a drag when it ends: its rows would change with every step.
  if (!FFormView->Dragging()) FGrid->Update();
}

void TDesignWindow::Edit(const std::function<void()>& Do, bool Quiet) {
  try {
    Do();
    if (!Quiet) FGrid->SetFault("");
  } catch (const std::exception& E) {
    FGrid->SetFault(E.what());
  }
  Refresh();
}

bool TDesignWindow::Report(const std::string& Title, const std::function<void()>& Do) {
  bool Done = true;
  try {
    Do();
  } catch (const std::exception& E) {
    ::MessageBoxW(FWindow, Widen(E.what()).c_str(), Widen(Title).c_str(), MB_OK | MB_ICONERROR);
    Done = false;
  }
  Refresh();
  return Done;
}

bool TDesignWindow::FormHasKeys() const {
  const HWND Focus = ::GetFocus();
  return !FShowingText && (!Focus || Focus == FWindow || Focus == FFormView->Handle() ||
                           ::GetDlgCtrlID(Focus) == Ids::PaletteBar || ::GetDlgCtrlID(Focus) == Ids::PaletteTabs);
}

void TDesignWindow::RunAction(const Design::TAction& Action) {
  Edit([&] {
    std::string Clipboard = ClipboardText(FWindow);
    if (Design::RunChosenAction(Action, FDesigner, FPackages, Clipboard)) SetClipboardText(FWindow, Clipboard);
  });
}

void TDesignWindow::Command(int Id) {
  const auto& Actions = Design::Actions();
  if (Id >= Ids::Action && Id < Ids::Action + int(Actions.size())) {
    // While the form is shown as text, its edits wait for the text to go back.
    if (!FShowingText) RunAction(Actions[std::size_t(Id - Ids::Action)]);
    return;
  }
  if (Id >= Ids::Recent && Id < Ids::Recent + int(FRecent.Files().size()))
    return OpenForm(FRecent.Files()[std::size_t(Id - Ids::Recent)]);
  if (Id >= Ids::RemovePackage && Id < Ids::RemovePackage + int(FInstalled.size()))
    return RemovePackage(FInstalled[std::size_t(Id - Ids::RemovePackage)]);
  if (!FShowingText && FPalette->Command(Id)) return;
  switch (Id) {
    case Ids::New: return NewForm();
    case Ids::Open: return OpenForm("");
    case Ids::Save: SaveForm(false); return;
    case Ids::SaveAs: SaveForm(true); return;
    case Ids::ViewAsText:
      if (FShowingText) BackToForm();
      else ShowText();
      return;
    case Ids::Quit: return Close();
    case Ids::InstallPackage: return InstallPackage();
    case Ids::Run:
      if (BackToForm()) Report("Run", [&] { FViewers.Start(FDesigner.Form(), FLvview); });
      return;
    default: return;
  }
}

void TDesignWindow::UpdateMenu(HMENU Menu) {
  const auto& Actions = Design::Actions();
  for (int I = 0, Count = ::GetMenuItemCount(Menu); I < Count; ++I) {
    const int Id = int(::GetMenuItemID(Menu, I));
    if (Id >= Ids::Action && Id < Ids::Action + int(Actions.size())) {
      const Design::TAction& Action = Actions[std::size_t(Id - Ids::Action)];
      const std::string Shortcut = Design::MenuShortcut(Action);
      const std::wstring Label = Widen(Design::MenuLabel(Action, FDesigner) + (Shortcut.empty() ? "" : "\t" + Shortcut));
      ::ModifyMenuW(Menu, UINT(I), MF_BYPOSITION | MF_STRING, UINT_PTR(Id), Label.c_str());
      ::EnableMenuItem(Menu, UINT(I), MF_BYPOSITION | (!FShowingText && Action.Enabled(FDesigner) ? MF_ENABLED : MF_GRAYED));
    } else if (Id == Ids::ViewAsText) {
      ::CheckMenuItem(Menu, UINT(I), MF_BYPOSITION | (FShowingText ? MF_CHECKED : MF_UNCHECKED));
    } else if (Id == -1) {
      // The lists of recent files and of installed packages, made as they open.
      const HMENU Sub = ::GetSubMenu(Menu, I);
      wchar_t Title[32] = {};
      ::GetMenuStringW(Menu, UINT(I), Title, 32, MF_BYPOSITION);
      const bool Recent = std::wstring(Title) == L"&Recent Files";
      if (!Recent && std::wstring(Title) != L"&Remove Package") continue;
      while (::DeleteMenu(Sub, 0, MF_BYPOSITION)) {
      }
      if (!Recent) FInstalled = FPackages.Installed();
      const auto& Names = Recent ? FRecent.Files() : FInstalled;
      for (std::size_t N = 0; N < Names.size(); ++N)
        ::AppendMenuW(Sub, MF_STRING, (Recent ? Ids::Recent : Ids::RemovePackage) + N, Widen(Names[N]).c_str());
      ::EnableMenuItem(Menu, UINT(I), MF_BYPOSITION | (Names.empty() ? MF_GRAYED : MF_ENABLED));
    }
  }
}

std::string TDesignWindow::ChooseFile(const std::wstring& Title, const std::wstring& Filter, bool Saving,
                                      const std::wstring& DefaultExtension, const std::string& Start) {
  std::wstring Name(32768, L'\0');
  const std::wstring Given = Widen(Start);
  std::copy_n(Given.begin(), std::min(Given.size(), Name.size() - 1), Name.begin());
  OPENFILENAMEW Question{sizeof Question};
  Question.hwndOwner = FWindow;
  Question.lpstrFilter = Filter.c_str();
  Question.lpstrFile = Name.data();
  Question.nMaxFile = DWORD(Name.size());
  Question.lpstrTitle = Title.c_str();
  Question.lpstrDefExt = DefaultExtension.empty() ? nullptr : DefaultExtension.c_str();
  Question.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
                   (Saving ? OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST : OFN_FILEMUSTEXIST);
  if (!(Saving ? ::GetSaveFileNameW(&Question) : ::GetOpenFileNameW(&Question))) return {};
  return Narrow(Name.c_str());
}

int TDesignWindow::Ask(const Design::TQuestion& Question) {
  std::vector<std::wstring> Labels;
  for (const std::string& Label : Question.Buttons) Labels.push_back(Widen(Label));
  std::vector<TASKDIALOG_BUTTON> Choices;
  for (std::size_t I = 0; I < Labels.size(); ++I) Choices.push_back({int(100 + I), Labels[I].c_str()});
  const std::wstring Caption = Widen(Question.Title), Content = Widen(Question.Text);
  TASKDIALOGCONFIG Config{sizeof Config};
  Config.hwndParent = FWindow;
  Config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION;
  Config.pszWindowTitle = Caption.c_str();
  Config.pszContent = Content.c_str();
  Config.pButtons = Choices.data();
  Config.cButtons = UINT(Choices.size());
  Config.nDefaultButton = 100;
  int Chosen = 0;
  if (FAILED(::TaskDialogIndirect(&Config, &Chosen, nullptr, nullptr)) || Chosen < 100 ||
      Chosen >= 100 + int(Labels.size()))
    return Question.Cancel;
  return Chosen - 100;
}

Design::TAskIgnore TDesignWindow::IgnoreQuestion() {
  return Design::AskIgnore([this](const Design::TQuestion& Q) { return Ask(Q); });
}

bool TDesignWindow::ConfirmDiscard() {
  if (!FDesigner.Modified()) return true;
  switch (Ask(Design::SaveChangesQuestion(FDesigner))) {
    case 0: return SaveForm(false);
    case 1: return true;
    default: return false;
  }
}

void TDesignWindow::NewForm() {
  if (!ConfirmDiscard()) return;
  FShowingText = false;
  Edit([&] { FDesigner.New(); }, false);
  Layout();
}

void TDesignWindow::OpenForm(std::string File) {
  if (!ConfirmDiscard()) return;
  if (File.empty()) {
    File = ChooseFile(L"Open form", L"Forms (*.dfm;*.txt)\0*.dfm;*.txt\0All files\0*.*\0"s, false, L"",
                      FDesigner.FileName());
    if (File.empty()) return;
  }
  Report("Open", [&] {
    FDesigner.Open(File, IgnoreQuestion());
    FRecent.Add(File);
    if (FShowingText) {
      FShowingText = false;
      ::ShowWindow(FText, SW_HIDE);
      ::ShowWindow(FFormView->Handle(), SW_SHOW);
    }
  });
}

bool TDesignWindow::SaveForm(bool AskName) {
  // What the text says is what is saved: it goes back to the form first.
  if (!BackToForm()) return false;
  std::string File = FDesigner.FileName();
  if (AskName || File.empty()) {
    File = ChooseFile(L"Save form as", L"Binary form (*.dfm)\0*.dfm\0Text form (*.txt)\0*.txt\0"s, true, L"dfm",
                      File.empty() ? "Unit1.dfm" : File);
    if (File.empty()) return false;
  }
  if (!Report("Save", [&] { FDesigner.Save(File); })) return false;
  FRecent.Add(File);
  return true;
}

void TDesignWindow::Close() {
  if (BackToForm() && ConfirmDiscard()) FQuit = true;
  if (FQuit) ::DestroyWindow(FWindow);
}

void TDesignWindow::ShowText() {
  ::SetWindowTextW(FText, WithCrLf(Widen(FDesigner.FoldedText())).c_str());
  FShowingText = true;
  ::ShowWindow(FFormView->Handle(), SW_HIDE);
  ::ShowWindow(FText, SW_SHOW);
  ::SetFocus(FText);
  FGrid->SetFault(FDesigner.FoldedText().find("= FoldedData") == std::string::npos
                           ? ""
                           : "Each picture's data is shown as a name (FoldedData1...) and put back in its place.");
}

bool TDesignWindow::BackToForm() {
  if (!FShowingText) return true;
  std::wstring Wide(std::size_t(::GetWindowTextLengthW(FText)) + 1, L'\0');
  Wide.resize(std::size_t(::GetWindowTextW(FText, Wide.data(), int(Wide.size()))));
  const std::string Text = WithoutCr(Narrow(Wide));
  try {
    // Unchanged text is no edit to undo.
    if (Text != FDesigner.FoldedText()) FDesigner.SetText(Text, IgnoreQuestion());
  } catch (const std::exception& E) {
    // The text stays, with the fault, until it reads.
    FGrid->SetFault(E.what());
    return false;
  }
  FShowingText = false;
  ::ShowWindow(FText, SW_HIDE);
  ::ShowWindow(FFormView->Handle(), SW_SHOW);
  Edit([] {}, false);
  return true;
}

void TDesignWindow::InstallPackage() {
  const std::string File =
      ChooseFile(L"Install package", L"Packages (*.bpl)\0*.bpl\0All files\0*.*\0"s, false, L"", "");
  if (File.empty()) return;
  Report("Install Package", [&] { FPackages.Install(File); });
  FPalette->Rebuild();
}

void TDesignWindow::RemovePackage(const std::string& File) {
  Report("Remove Package", [&] {
    FDesigner.SetTool(nullptr);
    FPackages.Remove(File, [this](Classes::TComponentClass Class) { return Design::FormHolds(FDesigner, Class); });
  });
  FPalette->Rebuild();
}

LRESULT TDesignWindow::Handle(UINT Message, WPARAM W, LPARAM L) {
  switch (Message) {
    case WM_SIZE:
      if (FFormView) Layout();
      return 0;
    case WM_GETMINMAXINFO:
      reinterpret_cast<MINMAXINFO*>(L)->ptMinTrackSize = {640, 400};
      return 0;
    case WM_COMMAND:
      if (FGrid && L && FGrid->Command(LOWORD(W), HIWORD(W), reinterpret_cast<HWND>(L))) return 0;
      if (LOWORD(W) == Ids::TextView) return 0;
      Command(LOWORD(W));
      return 0;
    case WM_NOTIFY: {
      auto& Header = *reinterpret_cast<NMHDR*>(L);
      if (Header.code == TTN_GETDISPINFOW) FPalette->Tip(*reinterpret_cast<NMTTDISPINFOW*>(L));
      else if (Header.idFrom == UINT_PTR(Ids::PaletteTabs) && Header.code == TCN_SELCHANGE) FPalette->PageChanged();
      else if (FGrid) FGrid->Notify(Header);
      return 0;
    }
    case WM_DRAWITEM:
      if (FGrid && FGrid->DrawItem(*reinterpret_cast<DRAWITEMSTRUCT*>(L))) return TRUE;
      break;
    case WM_MEASUREITEM:
      // Asked for as the list is made, before the inspector is in place.
      TPropertyGrid::MeasureItem(*reinterpret_cast<MEASUREITEMSTRUCT*>(L));
      return TRUE;
    case WM_CTLCOLORSTATIC:
      if (FGrid)
        if (const HBRUSH Brush = FGrid->Colour(reinterpret_cast<HWND>(L), reinterpret_cast<HDC>(W)))
          return LRESULT(Brush);
      break;
    case TPropertyGrid::CommitMessage:
      FGrid->Commit(W);
      return 0;
    case WM_INITMENUPOPUP:
      UpdateMenu(reinterpret_cast<HMENU>(W));
      return 0;
    case WM_TIMER:
      if (W == ReapTimer)
        if (const auto Failure = FViewers.Reap())
          ::MessageBoxW(FWindow, Widen(*Failure).c_str(), L"Run", MB_OK | MB_ICONWARNING);
      return 0;
    case WM_CLOSE:
      Close();
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(FWindow, Message, W, L);
}

int TDesignWindow::Run() {
  Create();
  ::ShowWindow(FWindow, SW_SHOW);
  ::SetFocus(FFormView->Handle());
  MSG Message;
  while (::GetMessageW(&Message, nullptr, 0, 0) > 0) {
    if (::TranslateAcceleratorW(FWindow, FFileKeys, &Message)) continue;
    if (FormHasKeys() && ::TranslateAcceleratorW(FWindow, FActionKeys, &Message)) continue;
    ::TranslateMessage(&Message);
    ::DispatchMessageW(&Message);
  }
  return Tool::ExitDone;
}

}  // namespace

int RunDesignWindow(Design::TDesigner& Designer, Design::TPackages& Packages, const std::string& Lvview) {
  TDesignWindow Window(Designer, Packages, Lvview);
  return Window.Run();
}

}  // namespace Lvdesign
