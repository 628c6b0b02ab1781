// The form being designed and every edit of it. Each edit is a step with
// an undo and a redo; steps find their components by name, since undoing a
// deletion makes a new component of the same name.
#include "Designer.hpp"

#include <algorithm>
#include <cctype>

#include "ExtCtrls.hpp"
#include "FormFiles.hpp"
#include "SysUtils.hpp"

namespace Design {

using Classes::TComponent;
using Controls::TControl;
using Controls::TWinControl;
using Graphics::TRect;
using TypInfo::TPropInfo;
using TypInfo::TTypeKind;

struct TDesigner::TStep {
  std::string Label;
  std::function<void()> Undo, Redo;
};

namespace {

// The nearest grid point.
int Snap(int Value) {
  const int Step = TDesigner::GridStep;
  const int Down = Value >= 0 ? Value / Step * Step : -((-Value + Step - 1) / Step * Step);
  return Value - Down >= Step / 2 ? Down + Step : Down;
}

std::string Lower(std::string Text) {
  for (char& C : Text) C = char(std::tolower(static_cast<unsigned char>(C)));
  return Text;
}

bool IsIdentifier(const std::string& Text) {
  if (Text.empty() || std::isdigit(static_cast<unsigned char>(Text[0]))) return false;
  return std::all_of(Text.begin(), Text.end(),
                     [](char C) { return std::isalnum(static_cast<unsigned char>(C)) || C == '_'; });
}

const TPropInfo* FindProperty(const System::TObject& Instance, const std::string& Name) {
  return Instance.ClassType().FindProperty(Name);
}

// The object a dotted path's head names ("Font" of "Font.Style"), and the
// last part's property there.
std::pair<System::TObject*, const TPropInfo*> Resolve(TComponent& Component, const std::string& Path) {
  System::TObject* Instance = &Component;
  std::string Rest = Path;
  for (std::size_t Dot; (Dot = Rest.find('.')) != std::string::npos; Rest.erase(0, Dot + 1)) {
    const TPropInfo* Info = FindProperty(*Instance, Rest.substr(0, Dot));
    if (!Info || Info->Kind != TTypeKind::tkClass || !Info->GetObject || !(Instance = Info->GetObject(Instance)))
      return {nullptr, nullptr};
  }
  return {Instance, FindProperty(*Instance, Rest)};
}

bool IsGraphic(const TPropInfo& Info) {
  return Info.Kind == TTypeKind::tkClass && (Info.TypeName == "TPicture" || Info.TypeName == "TBitmap");
}

bool IsReference(const TPropInfo& Info) {
  if (Info.Kind != TTypeKind::tkClass) return false;
  const TypInfo::TClassInfo* Class = TypInfo::GetClass(Info.TypeName);
  return Class && Class->InheritsFrom(TComponent::ClassInfo());
}

// A picture or filter as it was, to be put back by PutGraphic.
std::shared_ptr<Classes::TPersistent> TakeGraphic(TComponent& Component, const TPropInfo& Info) {
  System::TObject* Object = Info.GetObject(&Component);
  if (auto* Picture = dynamic_cast<Graphics::TPicture*>(Object)) {
    auto Copy = std::make_shared<Graphics::TPicture>();
    Copy->Assign(Picture);
    return Copy;
  }
  if (auto* Bitmap = dynamic_cast<Graphics::TBitmap*>(Object)) {
    auto Copy = std::make_shared<Graphics::TBitmap>();
    Copy->Assign(Bitmap);
    return Copy;
  }
  return nullptr;
}

// Through the property's setter, so the component reacts as it would at
// run time. A filter lives in a bitmap the component keeps.
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

bool HasGraphic(const System::TObject* Object) {
  if (const auto* Picture = dynamic_cast<const Graphics::TPicture*>(Object))
    return Picture->Graphic() && Picture->Width() > 0 && Picture->Height() > 0;
  if (const auto* Bitmap = dynamic_cast<const Graphics::TBitmap*>(Object))
    return Bitmap->Width() > 0 && Bitmap->Height() > 0;
  return false;
}

// Whether a stored form holds the value: what the inspector shows in bold.
bool Stored(const System::TObject& Instance, const TPropInfo& Info) {
  if (!Info.Stored.Stored(&Instance)) return false;
  switch (Info.Kind) {
    case TTypeKind::tkInteger:
    case TTypeKind::tkEnumeration:
    case TTypeKind::tkSet: return Info.GetOrd && (!Info.Default || Info.GetOrd(&Instance) != *Info.Default);
    case TTypeKind::tkString: return Info.GetStr && !Info.GetStr(&Instance).empty();
    case TTypeKind::tkMethod: return false;
    case TTypeKind::tkClass: {
      const System::TObject* Object = Info.GetObject ? Info.GetObject(&Instance) : nullptr;
      if (IsGraphic(Info)) return HasGraphic(Object);
      if (IsReference(Info) || !Object) return Object != nullptr;
      for (const TPropInfo* Own : Object->ClassType().PublishedProperties())
        if (Stored(*Object, *Own)) return true;
      return false;
    }
  }
  return false;
}

}  // namespace

// ---- Setting up ---------------------------------------------------------------------

TDesigner::TDesigner() { New(); }
TDesigner::~TDesigner() = default;

namespace {
// Shows a form read for designing: a form its surface cannot hold is
// refused before it replaces the one being designed.
std::unique_ptr<Forms::TForm> Shown(std::unique_ptr<Forms::TForm> Form) {
  Form->SetDesignGrid(TDesigner::GridStep);
  Form->Show();
  return Form;
}
}  // namespace

void TDesigner::Reset(std::unique_ptr<Forms::TForm> Form, const std::string& FileName) {
  FDrag.reset();
  FForm = Shown(std::move(Form));
  FSelection = {FForm.get()};
  FFileName = FileName;
  FHistory.clear();
  FDone = 0;
  FSaved = 0;
  Changed();
}

void TDesigner::New() {
  auto Form = std::make_unique<Forms::TForm>(nullptr);
  Form->SetName("Form1");
  Form->SetStoredClassName("TForm1");
  Form->SetCaption("Form1");
  Form->SetClientSize(400, 300);
  Reset(std::move(Form), "");
}

namespace {
// How a form is read for designing: handlers keep their names without
// code, and each fault is asked about until Ignore All answers the rest.
Classes::TReadOptions Reading(const TAskIgnore& Ask) {
  Classes::TReadOptions Options;
  Options.KeepUnboundHandlers = true;
  if (Ask)
    Options.OnError = [Ask, IgnoreAll = std::make_shared<bool>(false)](const std::string& Fault) {
      if (*IgnoreAll) return true;
      const TIgnoreAnswer Answer = Ask(Fault);
      *IgnoreAll = Answer == TIgnoreAnswer::IgnoreAll;
      return Answer != TIgnoreAnswer::Cancel;
    };
  return Options;
}
}  // namespace

void TDesigner::Open(const std::string& FileName, const TAskIgnore& Ask) {
  auto Form = std::make_unique<Forms::TForm>(nullptr);
  Tool::LoadForm(FileName, Form.get(), Reading(Ask));
  Reset(std::move(Form), FileName);
}

void TDesigner::Save(const std::string& FileName) {
  Graphics::TFileWriter File(FileName);
  Tool::SaveForm(FForm.get(), File);
  File.Commit();
  FFileName = FileName;
  FSaved = FDone;
  Changed();
}

bool TDesigner::Modified() const { return FSaved != FDone; }

std::string TDesigner::Title() const {
  const std::string Name = FFileName.empty() ? "Unit1" : FFileName.substr(FFileName.find_last_of('/') + 1);
  return Modified() ? Name + " *" : Name;
}

std::string TDesigner::Text() const {
  Classes::TMemoryStream Binary;
  Binary.WriteComponent(FForm.get());
  return Tool::FormText(Binary.Memory());
}

void TDesigner::SetText(const std::string& Text, const TAskIgnore& Ask) {
  // Read into a new form first: a fault leaves this one as it was.
  auto Form = std::make_unique<Forms::TForm>(nullptr);
  Classes::TMemoryStream Input(std::vector<std::uint8_t>(Text.begin(), Text.end()));
  Classes::ReadComponentText(Input, Form.get(), Reading(Ask));
  auto Replace = [this](const std::vector<std::uint8_t>& Binary) {
    auto Other = std::make_unique<Forms::TForm>(nullptr);
    Classes::TMemoryStream Stream(Binary);
    Stream.ReadComponent(Other.get(), Reading({}));
    FForm = Shown(std::move(Other));
    FSelection = {FForm.get()};
  };
  Classes::TMemoryStream Before, After;
  Before.WriteComponent(FForm.get());
  After.WriteComponent(Form.get());
  FForm = Shown(std::move(Form));
  FSelection = {FForm.get()};
  Push("Edit as Text", [Replace, Old = Before.Memory()] { Replace(Old); },
       [Replace, New = After.Memory()] { Replace(New); });
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

// ---- Steps -------------------------------------------------------------------------

void TDesigner::Push(std::string Label, std::function<void()> Undo, std::function<void()> Redo) {
  FHistory.resize(FDone);
  if (FSaved && *FSaved > FDone) FSaved.reset();  // the saved state can no longer be reached
  FHistory.push_back(std::make_unique<TStep>(TStep{std::move(Label), std::move(Undo), std::move(Redo)}));
  ++FDone;
  Changed();
}

void TDesigner::Undo() {
  if (!CanUndo()) throw EDesignError("nothing to undo");
  FDrag.reset();
  FHistory[FDone - 1]->Undo();
  --FDone;
  Changed();
}

void TDesigner::Redo() {
  if (!CanRedo()) throw EDesignError("nothing to redo");
  FDrag.reset();
  FHistory[FDone]->Redo();
  ++FDone;
  Changed();
}

std::string TDesigner::UndoLabel() const { return CanUndo() ? "Undo " + FHistory[FDone - 1]->Label : "Undo"; }
std::string TDesigner::RedoLabel() const { return CanRedo() ? "Redo " + FHistory[FDone]->Label : "Redo"; }

void TDesigner::Changed() {
  // A step may have freed what was selected: keep only what is still there.
  const std::vector<TComponent*> All = Components();
  std::erase_if(FSelection, [&](TComponent* C) { return std::find(All.begin(), All.end(), C) == All.end(); });
  if (FSelection.empty()) FSelection = {FForm.get()};
  ++FViewVersion;
}

std::vector<TComponent*> TDesigner::Resolve(const std::vector<std::string>& Names) const {
  std::vector<TComponent*> Found;
  for (const std::string& Name : Names)
    if (TComponent* C = FindComponent(Name)) Found.push_back(C);
  return Found;
}

std::vector<std::string> TDesigner::SelectedNames() const {
  std::vector<std::string> Names;
  for (const TComponent* C : FSelection) Names.push_back(C->Name());
  return Names;
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

void TDesigner::SelectNext(bool Backwards) {
  const std::vector<TComponent*> All = Components();
  const auto At = std::find(All.begin(), All.end(), FSelection.front());
  const std::ptrdiff_t N = std::ptrdiff_t(All.size());
  std::ptrdiff_t Index = At - All.begin();
  Index = (Index + (Backwards ? N - 1 : 1)) % N;
  FSelection = {All[std::size_t(Index)]};
  ++FViewVersion;
}

// ---- Placing ---------------------------------------------------------------------

std::string TDesigner::UniqueName(const std::string& ClassName) const {
  const std::string Base = ClassName.size() > 1 && (ClassName[0] == 'T' || ClassName[0] == 't') ? ClassName.substr(1)
                                                                                              : ClassName;
  for (int N = 1;; ++N)
    if (const std::string Name = Base + std::to_string(N); !FindComponent(Name)) return Name;
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
  TWinControl* Container = ContainerAt(X, Y);
  std::unique_ptr<TComponent> Made(Class->Create(FForm.get()));
  Made->SetName(UniqueName(Class->ClassName));
  if (auto* Control = dynamic_cast<TControl*>(Made.get())) {
    const TRect Origin = Container == FForm.get() ? TRect{} : Container->FormRect();
    const int Left = Snap(X) - Origin.Left, Top = Snap(Y) - Origin.Top;
    const int Right = Width ? Snap(X + Width) - Origin.Left : Left + Control->Width();
    const int Bottom = Height ? Snap(Y + Height) - Origin.Top : Top + Control->Height();
    Control->SetParent(Container);
    Control->SetBounds(Left, Top, std::max(Right - Left, GridStep), std::max(Bottom - Top, GridStep));
  }
  TComponent* Placed = Made.release();
  const std::string Name = Placed->Name(), ParentName = Container->Name();
  const std::string Text = Classes::ComponentsToText({Placed});
  FTool = nullptr;
  FSelection = {Placed};
  Push("Place " + Name, [this, Name] { delete FindComponent(Name); },
       [this, Name, ParentName, Text] {
         FSelection = Classes::ReadComponentsText(Text, FForm.get(), FindComponent(ParentName), {});
       });
  return Placed;
}

// ---- Properties ------------------------------------------------------------------

void TDesigner::SetProperty(const std::string& Path, const std::string& Value) {
  std::string Property = Path, Text = Value;
  // One element of a set ("Anchors.akLeft" True) sets the set whole.
  if (const std::size_t Dot = Path.rfind('.'); Dot != std::string::npos) {
    auto [Instance, Info] = Design::Resolve(*FSelection.front(), Path.substr(0, Dot));
    if (Info && Info->Kind == TTypeKind::tkSet) {
      const auto Bit = TypInfo::EnumValue(Info->TypeName, Path.substr(Dot + 1));
      if (!Bit) throw EDesignError(Path + ": " + Path.substr(Dot + 1) + " is not an element of " + Info->TypeName);
      const bool On = SysUtils::SameText(Value, "True");
      if (!On && !SysUtils::SameText(Value, "False")) throw EDesignError(Path + ": expected True or False");
      std::int64_t Bits = Info->GetOrd(Instance);
      Bits = On ? Bits | std::int64_t(1) << *Bit : Bits & ~(std::int64_t(1) << *Bit);
      const auto* Names = TypInfo::EnumNames(Info->TypeName);
      Text = "[";
      for (std::size_t B = 0; Names && B < Names->size(); ++B)
        if (Bits >> B & 1) Text += (Text.size() > 1 ? ", " : "") + (*Names)[B];
      Text += "]";
      Property = Path.substr(0, Dot);
    }
  }
  std::vector<TComponent*> Targets;
  for (TComponent* C : FSelection)
    if (Design::Resolve(*C, Property).second) Targets.push_back(C);
  if (Targets.empty()) throw EDesignError("the selection has no property " + Property);
  std::vector<std::string> OldNames, Old;
  for (TComponent* C : Targets) OldNames.push_back(C->Name()), Old.push_back(Classes::GetPropertyText(*C, Property));
  std::size_t Done = 0;
  try {
    for (; Done < Targets.size(); ++Done) Classes::SetPropertyText(*Targets[Done], Property, Text);
  } catch (...) {
    while (Done--) Classes::SetPropertyText(*Targets[Done], Property, Old[Done]);
    throw;
  }
  std::vector<std::string> NewNames;
  for (TComponent* C : Targets) NewNames.push_back(C->Name());
  Push(Property,
       [this, NewNames, Old, Property] {
         for (std::size_t I = 0; I < NewNames.size(); ++I)
           if (TComponent* C = FindComponent(NewNames[I])) Classes::SetPropertyText(*C, Property, Old[I]);
       },
       [this, OldNames, Text, Property] {
         for (const std::string& Name : OldNames)
           if (TComponent* C = FindComponent(Name)) Classes::SetPropertyText(*C, Property, Text);
       });
}

void TDesigner::SetEvent(const std::string& Event, const std::string& Handler) {
  const TPropInfo* Info = FindProperty(*FSelection.front(), Event);
  if (!Info || Info->Kind != TTypeKind::tkMethod)
    throw EDesignError(FSelection.front()->ClassName() + " has no event " + Event);
  if (!Handler.empty() && !IsIdentifier(Handler))
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

void TDesigner::LoadGraphic(const std::string& Property, const std::string& FileName) {
  // Read first: a file that does not read changes nothing.
  Graphics::TPicture Loaded;
  Loaded.LoadFromFile(FileName);
  Graphics::TBitmap AsBitmap;
  const TPropInfo* First = FindProperty(*FSelection.front(), Property);
  if (First && First->TypeName == "TBitmap") AsBitmap.Assign(Loaded.Graphic());
  const Classes::TPersistent* Graphic = First && First->TypeName == "TBitmap"
                                            ? static_cast<const Classes::TPersistent*>(&AsBitmap)
                                            : &Loaded;
  std::vector<std::string> Names;
  std::vector<std::shared_ptr<Classes::TPersistent>> Old;
  for (TComponent* C : FSelection)
    if (const TPropInfo* Info = FindProperty(*C, Property); Info && IsGraphic(*Info) && Info->TypeName == First->TypeName) {
      Names.push_back(C->Name());
      Old.push_back(TakeGraphic(*C, *Info));
      PutGraphic(*C, *Info, Graphic);
    }
  if (Names.empty()) throw EDesignError("the selection has no picture property " + Property);
  std::shared_ptr<Classes::TPersistent> New = TakeGraphic(*FindComponent(Names.front()), *First);
  auto PutAll = [this, Names, Property](const std::vector<std::shared_ptr<Classes::TPersistent>>& Graphics) {
    for (std::size_t I = 0; I < Names.size(); ++I)
      if (TComponent* C = FindComponent(Names[I])) PutGraphic(*C, *FindProperty(*C, Property), Graphics[I].get());
  };
  Push("Load " + Property, [PutAll, Old] { PutAll(Old); },
       [PutAll, New, N = Names.size()] { PutAll(std::vector<std::shared_ptr<Classes::TPersistent>>(N, New)); });
}

void TDesigner::ClearGraphic(const std::string& Property) {
  std::vector<std::string> Names;
  std::vector<std::shared_ptr<Classes::TPersistent>> Old;
  for (TComponent* C : FSelection)
    if (const TPropInfo* Info = FindProperty(*C, Property); Info && IsGraphic(*Info)) {
      Names.push_back(C->Name());
      Old.push_back(TakeGraphic(*C, *Info));
      PutGraphic(*C, *Info, nullptr);
    }
  if (Names.empty()) throw EDesignError("the selection has no picture property " + Property);
  auto PutAll = [this, Names, Property](const std::vector<std::shared_ptr<Classes::TPersistent>>& Graphics) {
    for (std::size_t I = 0; I < Names.size(); ++I)
      if (TComponent* C = FindComponent(Names[I])) PutGraphic(*C, *FindProperty(*C, Property), Graphics[I].get());
  };
  Push("Clear " + Property, [PutAll, Old] { PutAll(Old); },
       [PutAll, N = Names.size()] { PutAll(std::vector<std::shared_ptr<Classes::TPersistent>>(N)); });
}

void TDesigner::SaveGraphic(const std::string& Property, const std::string& FileName) const {
  const TPropInfo* Info = FindProperty(*FSelection.front(), Property);
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

std::vector<std::pair<std::string, TRect>> TDesigner::BoundsOfSelection() const {
  std::vector<std::pair<std::string, TRect>> Bounds;
  for (TControl* C : SelectedControls()) Bounds.emplace_back(C->Name(), C->BoundsRect());
  return Bounds;
}

void TDesigner::SetBoundsOf(const std::vector<std::pair<std::string, TRect>>& Bounds) {
  for (const auto& [Name, R] : Bounds)
    if (auto* C = dynamic_cast<TControl*>(FindComponent(Name))) C->SetBounds(R.Left, R.Top, R.Width(), R.Height());
  ++FViewVersion;
}

namespace {
TRect Moved(const TRect& R, int DX, int DY) { return {R.Left + DX, R.Top + DY, R.Right + DX, R.Bottom + DY}; }
}  // namespace

void TDesigner::Move(int DX, int DY) {
  const auto Before = BoundsOfSelection();
  if (Before.empty()) throw EDesignError("nothing selected that can move");
  auto After = Before;
  for (auto& [Name, R] : After) R = Moved(R, DX, DY);
  SetBoundsOf(After);
  Push("Move", [this, Before] { SetBoundsOf(Before); }, [this, After] { SetBoundsOf(After); });
}

void TDesigner::Resize(int DWidth, int DHeight) {
  const auto Before = BoundsOfSelection();
  if (Before.empty()) throw EDesignError("nothing selected that can be sized");
  auto After = Before;
  for (auto& [Name, R] : After) R.Right = R.Left + std::max(R.Width() + DWidth, 0), R.Bottom = R.Top + std::max(R.Height() + DHeight, 0);
  SetBoundsOf(After);
  Push("Size", [this, Before] { SetBoundsOf(Before); }, [this, After = BoundsOfSelection()] { SetBoundsOf(After); });
}

void TDesigner::SetSize(int Width, int Height) {
  if (Width < 0 || Height < 0) throw EDesignError("a size cannot be negative");
  const auto Before = BoundsOfSelection();
  if (Before.empty()) throw EDesignError("nothing selected that can be sized");
  auto After = Before;
  for (auto& [Name, R] : After) R.Right = R.Left + Width, R.Bottom = R.Top + Height;
  SetBoundsOf(After);
  Push("Size", [this, Before] { SetBoundsOf(Before); }, [this, After = BoundsOfSelection()] { SetBoundsOf(After); });
}

// ---- Delete, clipboard -----------------------------------------------------------

void TDesigner::Delete() {
  // What goes with a selected container need not be named again.
  std::vector<TComponent*> Going;
  for (TComponent* C : FSelection) {
    if (C == FForm.get()) continue;
    bool Inside = false;
    for (auto* Control = dynamic_cast<TControl*>(C); Control && Control->Parent(); Control = Control->Parent())
      Inside |= IsSelected(Control->Parent()) && Control->Parent() != FForm.get();
    if (!Inside) Going.push_back(C);
  }
  if (Going.empty()) throw EDesignError("nothing selected that can be deleted");
  // Each comes back where it was: in its owner's list and its parent's z-order.
  struct TGone {
    std::string Parent, Text, Name;
    int Index = 0, Order = 0;
  };
  std::vector<TGone> Gone;
  for (TComponent* C : Going) {
    auto* Control = dynamic_cast<TControl*>(C);
    TWinControl* Parent = Control ? Control->Parent() : nullptr;
    int Order = 0;
    while (Parent && Parent->Controls(Order) != Control) ++Order;
    Gone.push_back({Parent ? Parent->Name() : "", Classes::ComponentsToText({C}), C->Name(), C->ComponentIndex(), Order});
  }
  std::sort(Gone.begin(), Gone.end(), [](const TGone& A, const TGone& B) { return A.Index < B.Index; });
  for (TComponent* C : Going) delete C;
  FSelection = {FForm.get()};
  Push("Delete",
       [this, Gone] {
         FSelection.clear();
         for (const TGone& G : Gone) {
           auto* Parent = dynamic_cast<TWinControl*>(G.Parent.empty() ? nullptr : FindComponent(G.Parent));
           for (TComponent* C : Classes::ReadComponentsText(G.Text, FForm.get(), Parent ? Parent : FForm.get(), Reading({}))) {
             C->SetComponentIndex(G.Index);
             if (Parent) Parent->SetChildOrder(C, G.Order);
             FSelection.push_back(C);
           }
         }
       },
       [this, Gone] {
         for (const TGone& G : Gone) delete FindComponent(G.Name);
       });
}

std::string TDesigner::Copy() const {
  std::vector<TComponent*> Copied;
  for (TComponent* C : FSelection)
    if (C != FForm.get()) Copied.push_back(C);
  if (Copied.empty()) throw EDesignError("nothing selected that can be copied");
  return Classes::ComponentsToText(Copied);
}

std::string TDesigner::Cut() {
  std::string Text = Copy();
  Delete();
  FHistory[FDone - 1]->Label = "Cut";
  return Text;
}

void TDesigner::Paste(const std::string& Text) {
  std::vector<std::string> Renamed;
  Classes::TReadOptions Options = Reading({});
  std::vector<std::string> Taken;
  Options.OnSetName = [&](const std::string& ClassName, std::string& Name) {
    const TypInfo::TClassInfo* Class = TypInfo::GetClass(ClassName);
    if (Class && Class->InheritsFrom(Forms::TCustomForm::ClassInfo()))
      throw EDesignError("a form cannot be pasted onto a form");
    const bool Free = !Name.empty() && !FindComponent(Name) &&
                      std::none_of(Taken.begin(), Taken.end(), [&](const std::string& T) { return SysUtils::SameText(T, Name); });
    if (!Free) {
      // The first free name of the class that no earlier pasted one took.
      const std::string Base = UniqueName(ClassName);
      std::string Stem = Base;
      while (!Stem.empty() && std::isdigit(static_cast<unsigned char>(Stem.back()))) Stem.pop_back();
      for (int N = std::stoi(Base.substr(Stem.size()));; ++N) {
        Name = Stem + std::to_string(N);
        if (!FindComponent(Name) &&
            std::none_of(Taken.begin(), Taken.end(), [&](const std::string& T) { return SysUtils::SameText(T, Name); }))
          break;
      }
      Renamed.push_back(Name);
    }
    Taken.push_back(Name);
  };
  std::vector<TComponent*> Pasted;
  try {
    Pasted = Classes::ReadComponentsText(Text, FForm.get(), FForm.get(), Options);
  } catch (const Classes::EReadError& E) {
    throw EDesignError(E.what());
  }
  if (Pasted.empty()) throw EDesignError("nothing to paste");
  // A copy of a component still on the form goes a grid step down and right.
  for (TComponent* C : Pasted)
    if (auto* Control = dynamic_cast<TControl*>(C);
        Control && std::find(Renamed.begin(), Renamed.end(), C->Name()) != Renamed.end())
      Control->SetBounds(Control->Left() + GridStep, Control->Top() + GridStep, Control->Width(), Control->Height());
  std::vector<std::string> Names;
  for (TComponent* C : Pasted) Names.push_back(C->Name());
  const std::string Stored = Classes::ComponentsToText(Pasted);
  FSelection = Pasted;
  Push("Paste",
       [this, Names] {
         for (const std::string& Name : Names) delete FindComponent(Name);
       },
       [this, Stored] { FSelection = Classes::ReadComponentsText(Stored, FForm.get(), FForm.get(), Reading({})); });
}

// ---- The inspector ---------------------------------------------------------------

void TDesigner::SetExpanded(const std::string& Path, bool Expanded) {
  std::erase(FExpanded, Path);
  if (Expanded) FExpanded.push_back(Path);
}

bool TDesigner::Expanded(const std::string& Path) const {
  return std::find(FExpanded.begin(), FExpanded.end(), Path) != FExpanded.end();
}

void TDesigner::Rows(const System::TObject& Instance, const std::string& Prefix, int Depth, bool Events,
                     std::vector<TInspectorRow>& Out) const {
  const TComponent& Component = *FSelection.front();
  std::vector<const TPropInfo*> List = Instance.ClassType().PublishedProperties();
  std::stable_sort(List.begin(), List.end(),
                   [](const TPropInfo* A, const TPropInfo* B) { return Lower(A->Name) < Lower(B->Name); });
  for (const TPropInfo* Info : List) {
    if ((Info->Kind == TTypeKind::tkMethod) != Events) continue;
    TInspectorRow Row;
    Row.Path = Prefix + Info->Name;
    Row.Name = Info->Name;
    Row.Depth = Depth;
    Row.NotDefault = Events ? !Component.EventName(Row.Path).empty() : Stored(Instance, *Info);
    Row.ReadOnly = !(Info->SetOrd || Info->SetStr || Info->SetObject || Info->Set);
    Row.Value = Classes::GetPropertyText(Component, Row.Path);
    switch (Info->Kind) {
      case TTypeKind::tkInteger:
        Row.Kind = Info->TypeName == "TColor" ? TRowKind::Color : Info->TypeName == "TCursor" ? TRowKind::Cursor
                                                                                             : TRowKind::Integer;
        Row.Choices = TypInfo::IdentNames(Info->TypeName);
        break;
      case TTypeKind::tkEnumeration:
        Row.Kind = Info->TypeName == "Boolean" ? TRowKind::Boolean : TRowKind::Enumeration;
        if (const auto* Names = TypInfo::EnumNames(Info->TypeName)) Row.Choices = *Names;
        break;
      case TTypeKind::tkSet: Row.Kind = TRowKind::Set, Row.Expandable = true; break;
      case TTypeKind::tkString: Row.Kind = TRowKind::String; break;
      case TTypeKind::tkMethod: Row.Kind = TRowKind::Event; break;
      case TTypeKind::tkClass:
        if (IsGraphic(*Info)) {
          Row.Kind = TRowKind::Graphic;
          const System::TObject* Object = Info->GetObject(&Instance);
          Row.Value = HasGraphic(Object) ? "(TBitmap)" : "(None)";
        } else if (IsReference(*Info)) {
          Row.Kind = TRowKind::Reference;
          const TypInfo::TClassInfo* Class = TypInfo::GetClass(Info->TypeName);
          for (TComponent* C : Components())
            if (C != &Component && C->ClassType().InheritsFrom(*Class)) Row.Choices.push_back(C->Name());
        } else {
          Row.Kind = TRowKind::Object;
          Row.Expandable = Info->GetObject && Info->GetObject(&Instance);
        }
        break;
    }
    const bool Open = Row.Expandable && Expanded(Row.Path);
    Out.push_back(std::move(Row));
    if (!Open) continue;
    if (Info->Kind == TTypeKind::tkSet) {
      const std::int64_t Bits = Info->GetOrd(&Instance);
      const auto* Names = TypInfo::EnumNames(Info->TypeName);
      for (std::size_t B = 0; Names && B < Names->size(); ++B)
        Out.push_back({Prefix + Info->Name + "." + (*Names)[B], (*Names)[B], Depth + 1, Bits >> B & 1 ? "True" : "False",
                       TRowKind::SetElement, bool(Bits >> B & 1), Out.back().ReadOnly, false, {"False", "True"}});
    } else {
      Rows(*Info->GetObject(&Instance), Prefix + Info->Name + ".", Depth + 1, false, Out);
    }
  }
}

std::vector<TInspectorRow> TDesigner::Properties() const {
  std::vector<TInspectorRow> Out;
  Rows(*FSelection.front(), "", 0, false, Out);
  return Out;
}

std::vector<TInspectorRow> TDesigner::Events() const {
  std::vector<TInspectorRow> Out;
  Rows(*FSelection.front(), "", 0, true, Out);
  return Out;
}

// ---- The mouse ---------------------------------------------------------------------

TGrab TDesigner::GrabAt(int X, int Y) const {
  if (FSelection.size() != 1 || FSelection.front() == FForm.get()) return TGrab::None;
  const auto* Control = dynamic_cast<const TControl*>(FSelection.front());
  if (!Control) return TGrab::None;
  const TRect R = Control->FormRect();
  const int MidX = (R.Left + R.Right) / 2, MidY = (R.Top + R.Bottom) / 2;
  const std::pair<TGrab, std::pair<int, int>> Handles[] = {
      {TGrab::TopLeft, {R.Left, R.Top}},       {TGrab::Top, {MidX, R.Top}},       {TGrab::TopRight, {R.Right, R.Top}},
      {TGrab::Right, {R.Right, MidY}},         {TGrab::BottomRight, {R.Right, R.Bottom}},
      {TGrab::Bottom, {MidX, R.Bottom}},       {TGrab::BottomLeft, {R.Left, R.Bottom}}, {TGrab::Left, {R.Left, MidY}}};
  for (const auto& [Grab, At] : Handles)
    if (std::abs(X - At.first) <= HandleSize / 2 + 1 && std::abs(Y - At.second) <= HandleSize / 2 + 1) return Grab;
  return TGrab::None;
}

void TDesigner::MouseDown(int X, int Y, bool Shift) {
  FDrag.reset();
  TDrag Drag;
  Drag.StartX = Drag.X = X, Drag.StartY = Drag.Y = Y;
  if (FTool) {
    Drag.What = TDrag::Place;
  } else if (const TGrab Grab = GrabAt(X, Y); Grab != TGrab::None) {
    Drag.What = TDrag::Size, Drag.Grab = Grab;
  } else if (TControl* Control = ControlAt(X, Y)) {
    if (Shift) {
      Select(Control, true);
      return;
    }
    if (!IsSelected(Control)) Select(Control);
    Drag.What = TDrag::Move;
  } else {
    if (!Shift) Select(nullptr);
    return;
  }
  Drag.Before = BoundsOfSelection();
  FDrag = Drag;
  ++FViewVersion;
}

void TDesigner::MouseMove(int X, int Y) {
  if (!FDrag) return;
  FDrag->X = X, FDrag->Y = Y;
  if (FDrag->What == TDrag::Move) {
    const int DX = Snap(X - FDrag->StartX), DY = Snap(Y - FDrag->StartY);
    auto Now = FDrag->Before;
    for (auto& [Name, R] : Now) R = Moved(R, DX, DY);
    SetBoundsOf(Now);
  } else if (FDrag->What == TDrag::Size && !FDrag->Before.empty()) {
    auto Now = FDrag->Before;
    TRect& R = Now.front().second;
    const auto* Control = dynamic_cast<TControl*>(FindComponent(Now.front().first));
    const TRect Origin = Control && Control->Parent() && Control->Parent() != FForm.get() ? Control->Parent()->FormRect() : TRect{};
    const int GX = Snap(X) - Origin.Left, GY = Snap(Y) - Origin.Top;
    const TGrab G = FDrag->Grab;
    if (G == TGrab::Left || G == TGrab::TopLeft || G == TGrab::BottomLeft) R.Left = std::min(GX, R.Right);
    if (G == TGrab::Right || G == TGrab::TopRight || G == TGrab::BottomRight) R.Right = std::max(GX, R.Left);
    if (G == TGrab::Top || G == TGrab::TopLeft || G == TGrab::TopRight) R.Top = std::min(GY, R.Bottom);
    if (G == TGrab::Bottom || G == TGrab::BottomLeft || G == TGrab::BottomRight) R.Bottom = std::max(GY, R.Top);
    SetBoundsOf(Now);
  } else {
    ++FViewVersion;
  }
}

void TDesigner::MouseUp(int X, int Y) {
  if (!FDrag) return;
  MouseMove(X, Y);
  const TDrag Drag = *FDrag;
  FDrag.reset();
  ++FViewVersion;
  if (Drag.What == TDrag::Place) {
    const int Left = std::min(Drag.StartX, X), Top = std::min(Drag.StartY, Y);
    const int Width = std::abs(X - Drag.StartX), Height = std::abs(Y - Drag.StartY);
    // A press and release within a few pixels is a click: the class's own size.
    if (Width < GridStep / 2 && Height < GridStep / 2) Place(FTool, Drag.StartX, Drag.StartY);
    else Place(FTool, Left, Top, Width, Height);
    return;
  }
  const auto After = BoundsOfSelection();
  if (After == Drag.Before) return;
  Push(Drag.What == TDrag::Move ? "Move" : "Size", [this, Before = Drag.Before] { SetBoundsOf(Before); },
       [this, After] { SetBoundsOf(After); });
}

// ---- The view ----------------------------------------------------------------------

namespace {

class TOverlay {
public:
  explicit TOverlay(Graphics::TBitmap& View) : FView(View), FWidth(View.Width()), FHeight(View.Height()) {}

  void Put(int X, int Y, std::uint32_t Colour) {
    if (X >= 0 && Y >= 0 && X < FWidth && Y < FHeight) reinterpret_cast<std::uint32_t*>(FView.ScanLine(Y))[X] = Colour;
  }
  void Fill(int Left, int Top, int Right, int Bottom, std::uint32_t Colour) {
    for (int Y = std::max(Top, 0); Y < std::min(Bottom, FHeight); ++Y) {
      auto* Row = reinterpret_cast<std::uint32_t*>(FView.ScanLine(Y));
      for (int X = std::max(Left, 0); X < std::min(Right, FWidth); ++X) Row[X] = Colour;
    }
  }
  // A frame of dashes, alternating two colours every Dash pixels.
  void Dashed(const TRect& R, int Dash, std::uint32_t On, std::uint32_t Off) {
    const int Right = R.Right - 1, Bottom = R.Bottom - 1;
    if (Right < R.Left || Bottom < R.Top) return;
    for (int X = R.Left; X <= Right; ++X) {
      const std::uint32_t C = (X - R.Left) / Dash % 2 ? Off : On;
      Put(X, R.Top, C), Put(X, Bottom, C);
    }
    for (int Y = R.Top; Y <= Bottom; ++Y) {
      const std::uint32_t C = (Y - R.Top) / Dash % 2 ? Off : On;
      Put(R.Left, Y, C), Put(Right, Y, C);
    }
  }

private:
  Graphics::TBitmap& FView;
  int FWidth, FHeight;
};

// Opaque, as the form paints: B, G, R and 255 in memory order.
constexpr std::uint32_t Black = 0xFF000000, Grey = 0xFF808080, White = 0xFFFFFFFF;

}  // namespace

const Graphics::TBitmap& TDesigner::View() {
  if (FViewPainted == FViewVersion && FView.Width() == FForm->ClientWidth() && FView.Height() == FForm->ClientHeight())
    return FView;
  const Graphics::TBitmap& Surface = FForm->Surface();
  if (Surface.Width() != FForm->ClientWidth() || Surface.Height() != FForm->ClientHeight()) FForm->Show();
  else FForm->PaintRect(FForm->ClientRect());
  FView.Assign(&FForm->Surface());
  TOverlay Overlay(FView);
  // Every control shows its bounds, so that an empty image can be found.
  for (TComponent* C : Components())
    if (auto* Control = dynamic_cast<TControl*>(C); Control && Control != FForm.get())
      Overlay.Dashed(Control->FormRect(), 2, Grey, White);
  const bool Several = FSelection.size() > 1;
  for (TControl* Control : SelectedControls()) {
    if (Control == FForm.get()) continue;
    const TRect R = Control->FormRect();
    const int MidX = (R.Left + R.Right) / 2, MidY = (R.Top + R.Bottom) / 2, H = HandleSize / 2;
    for (const auto& [X, Y] : {std::pair{R.Left, R.Top}, {MidX, R.Top}, {R.Right, R.Top}, {R.Right, MidY},
                               {R.Right, R.Bottom}, {MidX, R.Bottom}, {R.Left, R.Bottom}, {R.Left, MidY}})
      Overlay.Fill(X - H, Y - H, X + H + 1, Y + H + 1, Several ? Grey : Black);
  }
  if (FDrag && FDrag->What == TDrag::Place)
    Overlay.Dashed({std::min(FDrag->StartX, FDrag->X), std::min(FDrag->StartY, FDrag->Y),
                    std::max(FDrag->StartX, FDrag->X) + 1, std::max(FDrag->StartY, FDrag->Y) + 1},
                   1, Black, White);
  FViewPainted = FViewVersion;
  return FView;
}

}  // namespace Design
