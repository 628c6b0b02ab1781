// The form being designed as a document: its file, its stored state, and
// the history of edits that leads from one state to the next.
#include <algorithm>
#include <optional>
#include <unordered_set>

#include "FormFiles.hpp"
#include "Internal.hpp"
#include "SysUtils.hpp"

namespace Design {

using Classes::TComponent;

Classes::TReadOptions Reading(const TAskIgnore& Ask) {
  Classes::TReadOptions Options;
  Options.KeepUnboundHandlers = true;
  if (Ask)
    Options.OnError = [Ask, All = std::make_shared<std::optional<TIgnoreAnswer>>()](const Classes::EReadError& Fault) {
      const TIgnoreAnswer Answer = *All ? **All : Ask(Fault.what());
      if (Answer == TIgnoreAnswer::IgnoreAll || Answer == TIgnoreAnswer::KeepAll) *All = Answer;
      switch (Answer) {
        case TIgnoreAnswer::Ignore:
        case TIgnoreAnswer::IgnoreAll: return Classes::TReadAnswer::Skip;
        case TIgnoreAnswer::Keep:
        case TIgnoreAnswer::KeepAll: return Classes::TReadAnswer::Keep;
        default: return Classes::TReadAnswer::Refuse;
      }
    };
  return Options;
}

Classes::TReadOptions Restoring(const std::vector<std::string>& Kept) {
  Classes::TReadOptions Options = Reading({});
  Options.OnError = [Kept](const Classes::EReadError& Fault) {
    if (Fault.Kind() != Classes::EReadError::TKind::UnknownClass) return Classes::TReadAnswer::Keep;
    const std::string& Class = Fault.Subject();
    const bool Known = std::any_of(Kept.begin(), Kept.end(), [&](const std::string& K) { return SysUtils::SameText(K, Class); });
    return Known ? Classes::TReadAnswer::Keep : Classes::TReadAnswer::Refuse;
  };
  return Options;
}

TState StateOf(const Forms::TForm& Form) {
  Classes::TMemoryStream Stream;
  Stream.WriteComponent(const_cast<Forms::TForm*>(&Form));
  return Stream.Memory();
}

std::unique_ptr<Forms::TForm> ReadState(const TState& State, const std::vector<std::string>& Kept) {
  auto Form = std::make_unique<Forms::TForm>(nullptr);
  Classes::TMemoryStream Stream(State);
  Classes::TReadOptions Options = Restoring(Kept);
  Options.SourceName = "the form";
  Stream.ReadComponent(Form.get(), Options);
  return Form;
}

namespace {
// Shows a form read for designing: a form its surface cannot hold is
// refused before it replaces the one being designed.
std::unique_ptr<Forms::TForm> Shown(std::unique_ptr<Forms::TForm> Form) {
  Form->SetDesignGrid(TDesigner::GridStep);
  Form->Show();
  return Form;
}

}  // namespace

// ---- Files -------------------------------------------------------------------------

TDesigner::TDesigner() { New(); }
TDesigner::~TDesigner() = default;

void TDesigner::Reset(std::unique_ptr<Forms::TForm> Form, const std::string& FileName) {
  FDrag.reset();
  FForm = Shown(std::move(Form));
  FKeptClasses.clear();
  NoteKept();
  FSelection = {FForm.get()};
  FFileName = FileName;
  FHistory = std::make_unique<THistory>(StateOf(*FForm));
  FPasted.clear();
  Changed();
}

void TDesigner::New() {
  auto Form = std::make_unique<Forms::TForm>(nullptr);
  Form->SetName("Form1");
  Form->SetStoredClassName("TForm1");
  Form->SetCaption("Form1");
  Form->SetClientSize(400, 300);
  Reset(std::move(Form), "");
  FLastFileAction.clear();
}

void TDesigner::Open(const std::string& FileName, const TAskIgnore& Ask, const std::vector<std::uint8_t>* Bytes) {
  auto Form = std::make_unique<Forms::TForm>(nullptr);
  if (Bytes) {
    Classes::TMemoryStream File(*Bytes);
    Tool::LoadFormBytes(FileName, File, Form.get(), Reading(Ask));
  } else {
    Tool::LoadForm(FileName, Form.get(), Reading(Ask));
  }
  Reset(std::move(Form), FileName);
  FLastFileAction = "Opened " + SysUtils::ExtractFileName(FileName);
}

void TDesigner::Save(Classes::TFileWriter& File) {
  Tool::WriteFormBytes(FHistory->Current(), Tool::IsTextFormName(File.FileName()), File);
  FFileName = File.FileName();
  FHistory->Saved();
  FLastFileAction = "Saved " + SysUtils::ExtractFileName(FFileName);
  Changed();
}

void TDesigner::Save(const std::string& FileName) {
  Classes::TFileWriter File(FileName);
  Save(File);
  File.Commit();
}

const std::vector<std::uint8_t>& TDesigner::Stored() const { return FHistory->Current(); }

bool TDesigner::Modified() const { return FHistory->Modified(); }

std::string TDesigner::Title() const {
  const std::string Name = FFileName.empty() ? "Unit1" : SysUtils::ExtractFileName(FFileName);
  return Modified() ? Name + " *" : Name;
}

std::string TDesigner::Text() const { return Tool::FormText(FHistory->Current()); }

std::string TDesigner::FoldedText() { return Classes::FoldedFormText(FHistory->Current(), FFolded); }

void TDesigner::SetText(const std::string& Text, const TAskIgnore& Ask) {
  // Read into a new form first: a fault leaves this one as it was.
  auto Form = std::make_unique<Forms::TForm>(nullptr);
  Classes::ReadFoldedComponentText(Text, FFolded, Form.get(), Reading(Ask));
  Edit("Edit as Text", "", [&] { Replace(std::move(Form), {}); });
}

std::vector<TComponent*> TDesigner::Components() const {
  std::vector<TComponent*> All{FForm.get()};
  for (int I = 0; I < FForm->ComponentCount(); ++I) All.push_back(FForm->Components(I));
  return All;
}

TComponent* TDesigner::FindComponent(const std::string& Name) const {
  if (SysUtils::SameText(Name, FForm->Name())) return FForm.get();
  return FForm->FindComponent(Name);
}

// ---- The history -------------------------------------------------------------------

void TDesigner::NoteKept() {
  const auto Note = [this](const TComponent& C) {
    if (C.IsPlaceholder() && std::none_of(FKeptClasses.begin(), FKeptClasses.end(), [&](const std::string& K) {
          return SysUtils::SameText(K, C.StoredClassName());
        }))
      FKeptClasses.push_back(C.StoredClassName());
  };
  for (int I = 0; I < FForm->ComponentCount(); ++I) Note(*FForm->Components(I));
}

void TDesigner::Replace(std::unique_ptr<Forms::TForm> Form, const std::vector<std::string>& Selected) {
  FDrag.reset();
  FForm = Shown(std::move(Form));
  NoteKept();
  FSelection.clear();
  for (const std::string& Name : Selected)
    if (TComponent* C = FindComponent(Name)) FSelection.push_back(C);
  Changed();
}

void TDesigner::Edit(const std::string& Label, const std::string& Merge, const std::function<void()>& Do) {
  const std::vector<std::string> Before = SelectedNames();
  try {
    Do();
    TState After = StateOf(*FForm);
    if (After != FHistory->Current()) {
      try {
        ReadState(After, FKeptClasses);
      } catch (const Classes::EReadError& E) {
        throw EDesignError(E.Fault());
      }
    }
    FHistory->Add(Label, Merge, Before, SelectedNames(), std::move(After));
  } catch (...) {
    // What Do changed goes: the form is read back from the state it was in.
    if (StateOf(*FForm) != FHistory->Current()) Replace(ReadState(FHistory->Current(), FKeptClasses), Before);
    else Changed();
    throw;
  }
  Changed();
}

bool TDesigner::CanUndo() const { return FHistory->CanUndo(); }
bool TDesigner::CanRedo() const { return FHistory->CanRedo(); }

void TDesigner::Undo() {
  if (!CanUndo()) throw EDesignError("nothing to undo");
  TState State = FHistory->UndoState();
  std::unique_ptr<Forms::TForm> Form;
  try {
    Form = Shown(ReadState(State, FKeptClasses));
  } catch (const std::exception& E) {
    throw EDesignError("cannot undo " + FHistory->UndoLabel() + ": " + E.what());
  }
  Replace(std::move(Form), FHistory->UndoSelection());
  FHistory->Undone(std::move(State));
}

void TDesigner::Redo() {
  if (!CanRedo()) throw EDesignError("nothing to redo");
  TState State = FHistory->RedoState();
  std::unique_ptr<Forms::TForm> Form;
  try {
    Form = Shown(ReadState(State, FKeptClasses));
  } catch (const std::exception& E) {
    throw EDesignError("cannot redo " + FHistory->RedoLabel() + ": " + E.what());
  }
  Replace(std::move(Form), FHistory->RedoSelection());
  FHistory->Redone(std::move(State));
}

std::string TDesigner::UndoLabel() const { return CanUndo() ? "Undo " + FHistory->UndoLabel() : "Undo"; }
std::string TDesigner::RedoLabel() const { return CanRedo() ? "Redo " + FHistory->RedoLabel() : "Redo"; }

void TDesigner::Changed() {
  // An edit may have freed what was selected: keep only what is still there.
  const std::vector<TComponent*> List = Components();
  const std::unordered_set<TComponent*> All(List.begin(), List.end());
  std::erase_if(FSelection, [&](TComponent* C) { return !All.contains(C); });
  if (FSelection.empty()) FSelection = {FForm.get()};
  ++FViewVersion;
}

std::vector<std::string> TDesigner::SelectedNames() const {
  std::vector<std::string> Names;
  for (const TComponent* C : FSelection) Names.push_back(C->Name());
  return Names;
}

// What a merge key says: the kind of edit and the components it edits.
std::string TDesigner::Key(const std::string& Kind) const {
  std::string Key = Kind;
  for (const std::string& Name : SelectedNames()) Key += "\n" + Name;
  return Key;
}

// ---- Selection -------------------------------------------------------------------

bool TDesigner::IsSelected(const TComponent* Component) const {
  return std::find(FSelection.begin(), FSelection.end(), Component) != FSelection.end();
}

void TDesigner::Select(const std::vector<std::string>& Names) {
  std::vector<TComponent*> Chosen;
  for (const std::string& Name : Names) {
    TComponent* C = Name.empty() ? nullptr : FindComponent(Name);
    if (!C) throw EDesignError("no component named " + (Name.empty() ? "''" : Name));
    if (std::find(Chosen.begin(), Chosen.end(), C) == Chosen.end()) Chosen.push_back(C);
  }
  if (Chosen.empty()) throw EDesignError("no component named");
  // The form goes with nothing else.
  if (Chosen.size() > 1) std::erase(Chosen, FForm.get());
  FSelection = Chosen;
  ++FViewVersion;
}

void TDesigner::Select(TComponent* Component, bool Add) {
  if (!Component || Component == FForm.get()) {
    if (!Add) FSelection = {FForm.get()};
  } else if (!Add) {
    FSelection = {Component};
  } else if (IsSelected(Component)) {
    std::erase(FSelection, Component);
    if (FSelection.empty()) FSelection = {FForm.get()};
  } else {
    std::erase(FSelection, FForm.get());
    FSelection.push_back(Component);
  }
  ++FViewVersion;
}

void TDesigner::SelectAll() {
  std::vector<TComponent*> All = Components();
  if (All.size() > 1) All.erase(All.begin());
  FSelection = All;
  ++FViewVersion;
}

void TDesigner::SelectNext(bool Backwards) {
  const std::vector<TComponent*> All = Components();
  const auto At = std::find(All.begin(), All.end(), FSelection.front());
  const std::ptrdiff_t N = std::ptrdiff_t(All.size());
  std::ptrdiff_t Index = At - All.begin();
  Index = (Index + (Backwards ? N - 1 : 1)) % N;
  FSelection = {All[std::size_t(Index)]};
  ++FViewVersion;
}

std::string TDesigner::SelectionStatus() const {
  const std::vector<Controls::TControl*> Controls = SelectedControls();
  if (Controls.empty()) return FSelection.front()->Name();
  Graphics::TRect Round = Controls.front()->BoundsRect();
  for (const Controls::TControl* C : Controls) {
    const Graphics::TRect R = C->BoundsRect();
    Round = {std::min(Round.Left, R.Left), std::min(Round.Top, R.Top), std::max(Round.Right, R.Right),
             std::max(Round.Bottom, R.Bottom)};
  }
  if (Controls.front() == FForm.get()) {
    const Forms::TForm& F = *FForm;
    return F.Name() + ": " + std::to_string(F.ClientWidth()) + " x " + std::to_string(F.ClientHeight());
  }
  const std::string Who = FSelection.size() == 1 ? FSelection.front()->Name() : std::to_string(FSelection.size()) + " selected";
  return Who + ": " + std::to_string(Round.Left) + ", " + std::to_string(Round.Top) + ", " +
         std::to_string(Round.Width()) + " x " + std::to_string(Round.Height());
}

}  // namespace Design
