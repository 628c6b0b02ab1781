#include "Classes.hpp"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <mutex>
#include <unordered_set>

#include "Classes/FormFile.hpp"
#include "SysUtils.hpp"
#include "os/Os.hpp"

namespace Classes {

const TypInfo::TClassInfo& TPersistent::ClassInfo() {
  static const TypInfo::TClassInfo Info{"TPersistent", "Classes", &System::TObject::ClassInfo(), {}, {}};
  return Info;
}
const TypInfo::TClassInfo& TPersistent::ClassType() const { return ClassInfo(); }

void TPersistent::Assign(const TPersistent* Source) {
  const std::string From = Source ? Source->ClassName() : "nil";
  throw EConvertError("Cannot assign a " + From + " to a " + ClassName());
}

void TPersistent::DefineProperties(TFiler&) {}

// ---- TComponent ------------------------------------------------------------

namespace {
// Every component that exists, so that a package is not unloaded from
// under objects of its classes.
std::mutex GLiveLock;
std::unordered_set<const TComponent*>& Live() {
  static std::unordered_set<const TComponent*> TheLive;
  return TheLive;
}
}  // namespace

void ForEachComponent(const std::function<void(const TComponent&)>& Visit) {
  std::vector<const TComponent*> Snapshot;
  {
    std::lock_guard Guard(GLiveLock);
    Snapshot.assign(Live().begin(), Live().end());
  }
  for (const TComponent* C : Snapshot) Visit(*C);
}

const TypInfo::TClassInfo& TComponent::ClassInfo() {
  using namespace TypInfo;
  static TClassInfo Info{"TComponent", "Classes", &TPersistent::ClassInfo(),
                         [](TComponent* AOwner) { return new TComponent(AOwner); }, {}};
  static const bool Published = (Info.Publish({
      // The name is stored by the form's own streaming, not as a property.
      MakeProperty<TComponent, std::string>("Name", "TComponentName", TTypeKind::tkString, &TComponent::Name,
                                            &TComponent::SetName, std::nullopt,
                                            {"False", [](const System::TObject*) { return false; }}),
      MakeProperty<TComponent, long>("Tag", "Longint", TTypeKind::tkInteger, &TComponent::Tag, &TComponent::SetTag, 0),
  }), true);
  (void)Published;
  return Info;
}
const TypInfo::TClassInfo& TComponent::ClassType() const { return ClassInfo(); }

TComponent::TComponent(TComponent* AOwner) {
  {
    std::lock_guard Guard(GLiveLock);
    Live().insert(this);
  }
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  // Those who asked are told first, while this object is still whole.
  for (TComponent* Other : std::vector<TComponent*>(FFreeNotifies)) {
    Other->Notification(this, TOperation::opRemove);
    auto& Back = Other->FFreeNotifies;
    Back.erase(std::remove(Back.begin(), Back.end(), this), Back.end());
  }
  FFreeNotifies.clear();
  // What it holds goes with it, as a windowed control's children do.
  while (!FHeld.empty()) delete FHeld.back();  // each leaves the list itself
  SetHolder(nullptr);
  while (!FComponents.empty()) delete FComponents.back();  // each leaves the list itself
  if (FOwner) FOwner->RemoveComponent(this);
  std::lock_guard Guard(GLiveLock);
  Live().erase(this);
}

namespace {
// Names compare without regard to the case of ASCII letters.
std::string NameKey(std::string Name) {
  for (char& C : Name)
    if (C >= 'A' && C <= 'Z') C = char(C - 'A' + 'a');
  return Name;
}
}  // namespace

void TComponent::SetName(const std::string& Value) {
  if (Value == FName) return;
  // A stored form writes the name as an identifier; anything else could
  // not be read back.
  if (!Value.empty() && (Value.size() > 255 || !Form::IsName(Value, false)))
    throw EComponentError("'" + SysUtils::PrintableText(Value, Form::MaxQuoted) + "' is not a valid component name");
  if (const TComponent* Other = FOwner && !Value.empty() ? FOwner->FindComponent(Value) : nullptr; Other && Other != this)
    throw EComponentError("A component named " + Value + " already exists");
  if (FOwner && !FName.empty()) FOwner->FNamed.erase(NameKey(FName));
  FName = Value;
  if (FOwner && !FName.empty()) FOwner->FNamed[NameKey(FName)] = this;
}

TComponent* TComponent::Components(int Index) const {
  if (Index < 0 || Index >= ComponentCount())
    throw EComponentError("List index out of bounds (" + std::to_string(Index) + ")");
  return FComponents[std::size_t(Index)];
}

TComponent* TComponent::FindComponent(const std::string& AName) const {
  if (AName.empty()) return nullptr;
  const auto Found = FNamed.find(NameKey(AName));
  return Found == FNamed.end() ? nullptr : Found->second;
}

int TComponent::ComponentIndex() const {
  if (!FOwner) return -1;
  const auto& List = FOwner->FComponents;
  return int(std::find(List.begin(), List.end(), this) - List.begin());
}

void TComponent::SetComponentIndex(int Value) {
  if (!FOwner) return;
  auto& List = FOwner->FComponents;
  List.erase(List.begin() + ComponentIndex());
  List.insert(List.begin() + std::clamp<std::ptrdiff_t>(Value, 0, std::ptrdiff_t(List.size())), this);
}

void TComponent::InsertComponent(TComponent* AComponent) {
  FComponents.push_back(AComponent);
  AComponent->FOwner = this;
  if (!AComponent->FName.empty()) FNamed[NameKey(AComponent->FName)] = AComponent;
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  FComponents.erase(std::remove(FComponents.begin(), FComponents.end(), AComponent), FComponents.end());
  if (const auto Named = FNamed.find(NameKey(AComponent->FName)); Named != FNamed.end() && Named->second == AComponent)
    FNamed.erase(Named);
  AComponent->FOwner = nullptr;
  Notification(AComponent, TOperation::opRemove);
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (!AComponent || AComponent == this) return;
  auto Add = [](std::vector<TComponent*>& List, TComponent* C) {
    if (std::find(List.begin(), List.end(), C) == List.end()) List.push_back(C);
  };
  // Both sides keep the link so that whichever goes first tells the other.
  Add(AComponent->FFreeNotifies, this);
  Add(FFreeNotifies, AComponent);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (!AComponent) return;
  auto Drop = [](std::vector<TComponent*>& List, TComponent* C) {
    List.erase(std::remove(List.begin(), List.end(), C), List.end());
  };
  Drop(AComponent->FFreeNotifies, this);
  Drop(FFreeNotifies, AComponent);
}

void TComponent::Notification(TComponent*, TOperation) {}

void TComponent::SetFilerFlags(TFilerFlags Flags, std::int64_t ChildPosition) {
  FFilerFlags = Flags & (ffInherited | ffChildPos | ffInline);
  FChildPosition = FFilerFlags & ffChildPos ? ChildPosition : 0;
}

Form::TKept& TComponent::Keep() {
  if (!FKept) FKept = std::make_unique<Form::TKept>();
  return *FKept;
}

bool TComponent::IsPlaceholder() const { return FKept && FKept->Whole; }

void TComponent::SetHolder(TComponent* Value) {
  if (Value == FHolder) return;
  for (const TComponent* Up = Value; Up; Up = Up->FHolder)
    if (Up == this) throw EComponentError((FName.empty() ? ClassName() : FName) + " cannot hold itself");
  if (FHolder) std::erase(FHolder->FHeld, this);
  FHolder = Value;
  if (FHolder) FHolder->FHeld.push_back(this);
}

void TComponent::DefineProperties(TFiler& Filer) {
  // The two halves of DesignInfo, as signed 16-bit numbers.
  const auto Half = [this](int Shift) { return std::int64_t(std::int16_t(std::uint32_t(FDesignInfo) >> Shift)); };
  const auto SetHalf = [this](int Shift, std::int64_t Value) {
    if (Value < INT16_MIN || Value > INT16_MAX) throw EReadError(std::to_string(Value) + " is out of range");
    const std::uint32_t Mask = 0xFFFFu << Shift;
    FDesignInfo = std::int32_t((std::uint32_t(FDesignInfo) & ~Mask) | (std::uint32_t(std::uint16_t(Value)) << Shift));
  };
  Filer.DefineProperty(
      "Left", [SetHalf](TReader& Reader) { SetHalf(0, Reader.ReadInteger()); },
      [Half](TWriter& Writer) { Writer.WriteInteger(Half(0)); }, Half(0) != 0);
  Filer.DefineProperty(
      "Top", [SetHalf](TReader& Reader) { SetHalf(16, Reader.ReadInteger()); },
      [Half](TWriter& Writer) { Writer.WriteInteger(Half(16)); }, Half(16) != 0);
}

// ---- The component palette -------------------------------------------------

namespace {
std::vector<TPalettePage>& Pages() {
  static std::vector<TPalettePage> ThePages;
  return ThePages;
}
}  // namespace

void RegisterComponents(const std::string& Page, std::initializer_list<TComponentClass> ComponentClasses) {
  auto Found = std::find_if(Pages().begin(), Pages().end(), [&](const TPalettePage& P) { return P.Name == Page; });
  if (Found == Pages().end()) Found = Pages().insert(Pages().end(), TPalettePage{Page, {}});
  for (TComponentClass Class : ComponentClasses) {
    if (!Class) continue;
    TypInfo::RegisterClass(*Class);
    if (std::find(Found->Classes.begin(), Found->Classes.end(), Class) == Found->Classes.end())
      Found->Classes.push_back(Class);
  }
}

const std::vector<TPalettePage>& PalettePages() { return Pages(); }

void ClearPalette() { Pages().clear(); }

void UnregisterComponentClass(TComponentClass Class) {
  for (TPalettePage& Page : Pages()) Page.Classes.erase(std::remove(Page.Classes.begin(), Page.Classes.end(), Class), Page.Classes.end());
  Pages().erase(std::remove_if(Pages().begin(), Pages().end(), [](const TPalettePage& P) { return P.Classes.empty(); }),
                Pages().end());
  TypInfo::UnregisterClass(*Class);
}

namespace {

// A package is not unloaded from under objects of its classes, and once it
// is, its classes and palette entries, which point into its code, go.
int CountModuleComponents(Windows::HMODULE Module) {
  int Alive = 0;
  ForEachComponent([&](const TComponent& C) { Alive += Os::ModuleOfAddress(&C.ClassType()) == Module; });
  return Alive;
}

void ForgetModuleClasses(Windows::HMODULE Module) {
  for (const TypInfo::TClassInfo* Class : TypInfo::RegisteredClasses())
    if (Os::ModuleOfAddress(Class) == Module) UnregisterComponentClass(Class);
  for (const TPalettePage& Page : std::vector<TPalettePage>(PalettePages()))
    for (TComponentClass Class : Page.Classes)
      if (Os::ModuleOfAddress(Class) == Module) UnregisterComponentClass(Class);
}

const bool GModuleHooks = (SysUtils::AddModuleObjectCounter(CountModuleComponents),
                           SysUtils::AddModuleUnloadProc(ForgetModuleClasses), true);

}  // namespace

}  // namespace Classes
