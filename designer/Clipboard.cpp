// Deleting components and the clipboard, which holds components as their
// text form: what Copy writes, Paste reads from anywhere.
#include <algorithm>
#include <unordered_set>

#include "Internal.hpp"
#include "SysUtils.hpp"

namespace Design {

using Classes::TComponent;
using Controls::TControl;

namespace {
// The selection without the form, and without what goes with a selected
// container anyway.
std::vector<TComponent*> Outermost(const std::vector<TComponent*>& Selection, const TComponent* Form) {
  const std::unordered_set<const TComponent*> Chosen(Selection.begin(), Selection.end());
  const auto Selected = [&](const TComponent* C) { return Chosen.contains(C); };
  std::vector<TComponent*> Out;
  for (TComponent* C : Selection) {
    if (C == Form) continue;
    bool Inside = false;
    for (auto* Control = dynamic_cast<TControl*>(C); Control && Control->Parent(); Control = Control->Parent())
      Inside |= Control->Parent() != Form && Selected(Control->Parent());
    if (!Inside) Out.push_back(C);
  }
  return Out;
}
}  // namespace

void TDesigner::Delete() {
  const std::vector<TComponent*> Going = Outermost(FSelection, FForm.get());
  if (Going.empty()) throw EDesignError("nothing selected that can be deleted");
  Edit("Delete", "", [&] {
    for (TComponent* C : Going) delete C;
    FSelection = {FForm.get()};
  });
}

std::string TDesigner::Copy() const {
  const std::vector<TComponent*> Copied = Outermost(FSelection, FForm.get());
  if (Copied.empty()) throw EDesignError("nothing selected that can be copied");
  return Classes::ComponentsToText(Copied);
}

std::string TDesigner::Cut() {
  std::string Text = Copy();
  const std::vector<TComponent*> Going = Outermost(FSelection, FForm.get());
  Edit("Cut", "", [&] {
    for (TComponent* C : Going) delete C;
    FSelection = {FForm.get()};
  });
  return Text;
}

void TDesigner::Paste(const std::string& Text) {
  if (Text.find_first_not_of(" \t\r\n") == std::string::npos) throw EDesignError("the clipboard is empty");
  // Each paste of the same text in a row lands a grid step further.
  const int Count = Text == FPasted ? FPasteCount + 1 : 1;
  const int Offset = Count * GridStep;
  std::vector<std::string> Renamed, Taken;
  // Copied from a form that keeps what the framework lacks, that is kept
  // again; anything else must be what the framework has.
  bool Keeps = FForm->Kept() != nullptr;
  for (int I = 0; I < FForm->ComponentCount() && !Keeps; ++I) Keeps = FForm->Components(I)->Kept() != nullptr;
  Classes::TReadOptions Options = Keeps ? Restoring(FKeptClasses) : Reading({});
  Options.OnSetName = [&](const std::string& ClassName, std::string& Name) {
    const TypInfo::TClassInfo* Class = TypInfo::GetClass(ClassName);
    if (Class && Class->InheritsFrom(Forms::TCustomForm::ClassInfo()))
      throw EDesignError("a form cannot be pasted onto a form");
    const auto Used = [&](const std::string& N) {
      return FindComponent(N) ||
             std::any_of(Taken.begin(), Taken.end(), [&](const std::string& T) { return SysUtils::SameText(T, N); });
    };
    if (Name.empty() || Used(Name)) {
      Name = UniqueName(ClassName, Taken);
      Renamed.push_back(Name);
    }
    Taken.push_back(Name);
  };
  Edit("Paste", "", [&] {
    std::vector<TComponent*> Pasted;
    try {
      Pasted = Classes::ReadComponentsText(Text, FForm.get(), FForm.get(), Options);
    } catch (const Classes::EReadError& E) {
      throw EDesignError(E.what());
    }
    if (Pasted.empty()) throw EDesignError("nothing to paste");
    // A copy of a component still on the form goes down and right of it.
    for (TComponent* C : Pasted)
      if (auto* Control = dynamic_cast<TControl*>(C);
          Control && std::find(Renamed.begin(), Renamed.end(), C->Name()) != Renamed.end())
        Control->SetBounds(Control->Left() + Offset, Control->Top() + Offset, Control->Width(), Control->Height());
    FSelection = Pasted;
  });
  FPasted = Text;
  FPasteCount = Count;
}

}  // namespace Design
