// The edits of the form: placing components, setting their properties and
// pictures, and moving, sizing and arranging them. Each runs through Edit,
// which keeps it as one step or puts everything back.
#include <algorithm>
#include <climits>

#include "ExtCtrls.hpp"
#include "Internal.hpp"
#include "SysUtils.hpp"

namespace Design {

using Classes::TComponent;
using Controls::TControl;
using Controls::TWinControl;
using Graphics::TRect;
using TypInfo::TPropInfo;
using TypInfo::TTypeKind;

bool IsGraphic(const TPropInfo& Info) {
  return Info.Kind == TTypeKind::tkClass && (Info.TypeName == "TPicture" || Info.TypeName == "TBitmap");
}

bool IsReference(const TPropInfo& Info) {
  if (Info.Kind != TTypeKind::tkClass) return false;
  const TypInfo::TClassInfo* Class = TypInfo::GetClass(Info.TypeName);
  return Class && Class->InheritsFrom(TComponent::ClassInfo());
}

bool HasGraphic(const System::TObject* Object) {
  if (const auto* Picture = dynamic_cast<const Graphics::TPicture*>(Object))
    return Picture->Graphic() && Picture->Width() > 0 && Picture->Height() > 0;
  if (const auto* Bitmap = dynamic_cast<const Graphics::TBitmap*>(Object))
    return Bitmap->Width() > 0 && Bitmap->Height() > 0;
  return false;
}

// ---- Placing ---------------------------------------------------------------------

std::string TDesigner::UniqueName(const std::string& ClassName, const std::vector<std::string>& Taken) const {
  const std::string Base = ClassName.size() > 1 && (ClassName[0] == 'T' || ClassName[0] == 't') ? ClassName.substr(1)
                                                                                              : ClassName;
  for (int N = 1;; ++N)
    if (const std::string Name = Base + std::to_string(N);
        !FindComponent(Name) &&
        std::none_of(Taken.begin(), Taken.end(), [&](const std::string& T) { return SysUtils::SameText(T, Name); }))
      return Name;
}

TWinControl* TDesigner::ContainerAt(int X, int Y) const {
  TWinControl* Container = FForm.get();
  for (;;) {
    const TRect Client = Container->FormRect();
    auto* Inner = dynamic_cast<TWinControl*>(Container->ControlAtPos(X - Client.Left, Y - Client.Top));
    if (!Inner || Inner == Container) return Container;
    Container = Inner;
  }
}

TControl* TDesigner::ControlAt(int X, int Y) const {
  TControl* Found = nullptr;
  for (TWinControl* Container = FForm.get();;) {
    const TRect Client = Container == FForm.get() ? TRect{} : Container->FormRect();
    TControl* Inner = Container->ControlAtPos(X - Client.Left, Y - Client.Top);
    if (!Inner) return Found;
    Found = Inner;
    Container = dynamic_cast<TWinControl*>(Inner);
    if (!Container) return Found;
  }
}

TComponent* TDesigner::Place(Classes::TComponentClass Class, int X, int Y, int Width, int Height) {
  if (!Class || !Class->Create) throw EDesignError("no component class to place");
  if (Class->InheritsFrom(Forms::TCustomForm::ClassInfo())) throw EDesignError("a form cannot be placed on a form");
  if (Width < 0 || Height < 0) throw EDesignError("a size cannot be negative");
  const std::string Name = UniqueName(Class->ClassName);
  TComponent* Placed = nullptr;
  Edit("Place " + Name, "", [&] {
    TWinControl* Container = ContainerAt(X, Y);
    std::unique_ptr<TComponent> Made(Class->Create(FForm.get()));
    Made->SetName(Name);
    if (auto* Control = dynamic_cast<TControl*>(Made.get())) {
      const TRect Origin = Container == FForm.get() ? TRect{} : Container->FormRect();
      const int Left = Snap(X) - Origin.Left, Top = Snap(Y) - Origin.Top;
      const int Right = Width ? Snap(X + Width) - Origin.Left : Left + Control->Width();
      const int Bottom = Height ? Snap(Y + Height) - Origin.Top : Top + Control->Height();
      Control->SetParent(Container);
      Control->SetBounds(Left, Top, std::max(Right - Left, GridStep), std::max(Bottom - Top, GridStep));
    }
    Placed = Made.release();
    FSelection = {Placed};
  });
  FTool = nullptr;
  return FindComponent(Name);
}

// ---- Properties ------------------------------------------------------------------

void TDesigner::SetProperty(const std::string& Path, const std::string& Value) {
  const auto Has = [&](const TComponent& C) {
    try {
      Classes::GetPropertyText(C, Path);
      return true;
    } catch (const Classes::EReadError&) {
      return false;
    }
  };
  std::vector<TComponent*> Targets;
  for (TComponent* C : FSelection)
    if (Has(*C)) Targets.push_back(C);
  if (Targets.empty()) throw EDesignError("the selection has no property " + Path);
  const TPropInfo* Info = Classes::FindPropertyPath(*Targets.front(), Path);
  // A component on a form is found by its name: it cannot go without one.
  if (Info && Info->Name == "Name" && Path == "Name" && (Value.empty() || Value == "''"))
    throw EDesignError("Name: a component on a form needs a name");
  Edit(Path, Key("set " + Path), [&] {
    for (TComponent* C : Targets) Classes::SetPropertyText(*C, Path, Value);
  });
}

void TDesigner::SetEvent(const std::string& Event, const std::string& Handler) {
  const TPropInfo* Info = FSelection.front()->ClassType().FindProperty(Event);
  if (!Info || Info->Kind != TTypeKind::tkMethod)
    throw EDesignError(FSelection.front()->ClassName() + " has no event " + Event);
  if (!Handler.empty() && !SysUtils::IsValidIdent(Handler))
    throw EDesignError(Event + ": " + Handler + " is not a valid handler name");
  SetProperty(Info->Name, Handler.empty() ? "''" : Handler);
}

std::string TDesigner::MakeHandler(const std::string& Event) {
  TComponent* C = FSelection.front();
  if (const std::string Existing = C->EventName(Event); !Existing.empty()) return Existing;
  const std::string Owner = C == FForm.get() ? "Form" : C->Name();
  const std::string Handler = Owner + (Event.rfind("On", 0) == 0 ? Event.substr(2) : Event);
  SetEvent(Event, Handler);
  return Handler;
}

namespace {
// Through the property's setter, so the component reacts as it would at
// run time (a picture sizes an AutoSize image). A filter lives in a bitmap
// the component keeps.
void PutGraphic(TComponent& Component, const TPropInfo& Info, const Classes::TPersistent* Graphic) {
  if (Info.TypeName == "TPicture") {
    Graphics::TPicture Empty;
    Info.SetObject(&Component, const_cast<Classes::TPersistent*>(Graphic ? Graphic : &Empty));
  } else if (!Graphic || !Info.Make) {
    Info.SetObject(&Component, nullptr);
  } else {
    auto* Kept = dynamic_cast<Graphics::TBitmap*>(Info.Make(&Component));
    Kept->Assign(Graphic);
    Info.SetObject(&Component, Kept);
  }
}

std::vector<std::pair<TComponent*, const TPropInfo*>> GraphicsOf(const std::vector<TComponent*>& Selection,
                                                                 const std::string& Property) {
  std::vector<std::pair<TComponent*, const TPropInfo*>> Found;
  for (TComponent* C : Selection)
    if (const TPropInfo* Info = C->ClassType().FindProperty(Property); Info && IsGraphic(*Info)) Found.emplace_back(C, Info);
  if (Found.empty()) throw EDesignError("the selection has no picture property " + Property);
  return Found;
}
}  // namespace

void TDesigner::LoadGraphic(const std::string& Property, const std::string& FileName) {
  const auto Targets = GraphicsOf(FSelection, Property);
  // Read first: a file that does not read changes nothing.
  Graphics::TPicture Loaded;
  Loaded.LoadFromFile(FileName);
  Graphics::TBitmap AsBitmap;
  const bool Bitmap = Targets.front().second->TypeName == "TBitmap";
  if (Bitmap) AsBitmap.Assign(Loaded.Graphic());
  Edit("Load " + Property, "", [&] {
    for (const auto& [C, Info] : Targets)
      if (Info->TypeName == Targets.front().second->TypeName)
        PutGraphic(*C, *Info, Bitmap ? static_cast<const Classes::TPersistent*>(&AsBitmap) : &Loaded);
  });
}

void TDesigner::ClearGraphic(const std::string& Property) {
  const auto Targets = GraphicsOf(FSelection, Property);
  Edit("Clear " + Property, "", [&] {
    for (const auto& [C, Info] : Targets) PutGraphic(*C, *Info, nullptr);
  });
}

void TDesigner::SaveGraphic(const std::string& Property, const std::string& FileName) const {
  const TPropInfo* Info = FSelection.front()->ClassType().FindProperty(Property);
  if (!Info || !IsGraphic(*Info)) throw EDesignError("the selection has no picture property " + Property);
  const System::TObject* Object = Info->GetObject(FSelection.front());
  if (!HasGraphic(Object)) throw EDesignError(Property + " holds no picture to save");
  if (const auto* Picture = dynamic_cast<const Graphics::TPicture*>(Object)) Picture->SaveToFile(FileName);
  else static_cast<const Graphics::TBitmap*>(Object)->SaveToFile(FileName);
}

// ---- Bounds ------------------------------------------------------------------------

std::vector<TControl*> TDesigner::SelectedControls() const {
  std::vector<TControl*> Controls;
  for (TComponent* C : FSelection)
    if (auto* Control = dynamic_cast<TControl*>(C)) Controls.push_back(Control);
  return Controls;
}

void TDesigner::Arrange(const std::string& Label, const std::string& What, const std::string& Merge,
                        const std::function<void(std::vector<TRect>&)>& Change) {
  std::vector<TControl*> Controls = SelectedControls();
  std::erase(Controls, FForm.get());
  if (Controls.empty()) throw EDesignError("no control selected to " + What);
  std::vector<TRect> Bounds;
  for (TControl* C : Controls) Bounds.push_back(C->BoundsRect());
  Change(Bounds);
  Edit(Label, Merge, [&] {
    for (std::size_t I = 0; I < Controls.size(); ++I)
      Controls[I]->SetBounds(Bounds[I].Left, Bounds[I].Top, Bounds[I].Width(), Bounds[I].Height());
  });
}

namespace {
TRect Moved(const TRect& R, int DX, int DY) { return {R.Left + DX, R.Top + DY, R.Right + DX, R.Bottom + DY}; }
TRect Sized(const TRect& R, int Width, int Height) { return {R.Left, R.Top, R.Left + Width, R.Top + Height}; }
}  // namespace

void TDesigner::Move(int DX, int DY) {
  Arrange("Move", "move", Key("move"), [&](std::vector<TRect>& Bounds) {
    for (TRect& R : Bounds) R = Moved(R, DX, DY);
  });
}

void TDesigner::Resize(int DWidth, int DHeight) {
  Arrange("Size", "size", Key("size"), [&](std::vector<TRect>& Bounds) {
    for (TRect& R : Bounds) R = Sized(R, std::max(R.Width() + DWidth, 0), std::max(R.Height() + DHeight, 0));
  });
}

void TDesigner::SetSize(int Width, int Height) {
  if (Width < 0 || Height < 0) throw EDesignError("a size cannot be negative");
  Arrange("Size", "size", "", [&](std::vector<TRect>& Bounds) {
    for (TRect& R : Bounds) R = Sized(R, Width, Height);
  });
}

void TDesigner::SetFormSize(int ClientWidth, int ClientHeight) {
  if (ClientWidth < 0 || ClientHeight < 0) throw EDesignError("a size cannot be negative");
  Edit("Size Form", "", [&] { FForm->SetClientSize(ClientWidth, ClientHeight); });
}

void TDesigner::LineUp(TLineUp How) {
  Arrange("Align", "align", "", [&](std::vector<TRect>& Bounds) {
    const TRect First = Bounds.front();
    for (TRect& R : Bounds) {
      int DX = 0, DY = 0;
      switch (How) {
        case TLineUp::Lefts: DX = First.Left - R.Left; break;
        case TLineUp::Centres: DX = (First.Left + First.Right) / 2 - (R.Left + R.Right) / 2; break;
        case TLineUp::Rights: DX = First.Right - R.Right; break;
        case TLineUp::Tops: DY = First.Top - R.Top; break;
        case TLineUp::Middles: DY = (First.Top + First.Bottom) / 2 - (R.Top + R.Bottom) / 2; break;
        case TLineUp::Bottoms: DY = First.Bottom - R.Bottom; break;
      }
      R = Moved(R, DX, DY);
    }
  });
}

void TDesigner::SameWidth() {
  Arrange("Size", "size", "", [](std::vector<TRect>& Bounds) {
    for (TRect& R : Bounds) R = Sized(R, Bounds.front().Width(), R.Height());
  });
}

void TDesigner::SameHeight() {
  Arrange("Size", "size", "", [](std::vector<TRect>& Bounds) {
    for (TRect& R : Bounds) R = Sized(R, R.Width(), Bounds.front().Height());
  });
}

void TDesigner::CentreInForm(bool Horizontally, bool Vertically) {
  std::vector<TControl*> Controls = SelectedControls();
  std::erase(Controls, FForm.get());
  // Each parent's client area holds its own: the group's rectangle is centred in it.
  const TWinControl* Parent = Controls.empty() ? nullptr : Controls.front()->Parent();
  for (const TControl* C : Controls)
    if (C->Parent() != Parent) throw EDesignError("the selected controls lie in different containers");
  Arrange("Centre", "centre", "", [&](std::vector<TRect>& Bounds) {
    TRect Round = Bounds.front();
    for (const TRect& R : Bounds)
      Round = {std::min(Round.Left, R.Left), std::min(Round.Top, R.Top), std::max(Round.Right, R.Right),
               std::max(Round.Bottom, R.Bottom)};
    const TRect Client = Parent ? Parent->ClientRect() : TRect{};
    const int DX = Horizontally ? (Client.Width() - Round.Width()) / 2 - Round.Left : 0;
    const int DY = Vertically ? (Client.Height() - Round.Height()) / 2 - Round.Top : 0;
    for (TRect& R : Bounds) R = Moved(R, DX, DY);
  });
}

void TDesigner::BringToFront() {
  std::vector<TControl*> Controls = SelectedControls();
  std::erase(Controls, FForm.get());
  if (Controls.empty()) throw EDesignError("nothing selected that can be brought to front");
  Edit("Bring to Front", "", [&] {
    for (TControl* C : Controls) C->Parent()->SetChildOrder(C, C->Parent()->ControlCount() - 1);
  });
}

void TDesigner::SendToBack() {
  std::vector<TControl*> Controls = SelectedControls();
  std::erase(Controls, FForm.get());
  if (Controls.empty()) throw EDesignError("nothing selected that can be sent to back");
  Edit("Send to Back", "", [&] {
    // The last one sent goes lowest: send them in reverse to keep their order.
    for (auto It = Controls.rbegin(); It != Controls.rend(); ++It) (*It)->Parent()->SetChildOrder(*It, 0);
  });
}

}  // namespace Design
