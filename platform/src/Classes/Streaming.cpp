// Components stored and read through their published properties. Writing
// builds the form's tree from the property table and encodes it; reading
// decodes the whole file first, then sets the properties through the same
// table.
#include <algorithm>
#include <map>
#include <unordered_map>
#include <unordered_set>
#include <typeinfo>

#include "Classes.hpp"
#include "Classes/FormFile.hpp"
#include "Classes/FormRead.hpp"
#include "SysUtils.hpp"

namespace Classes {

using SysUtils::PrintableText;

using namespace Form;
using TypInfo::TPropInfo;
using TypInfo::TTypeKind;

namespace {
// "an " before a type name that starts with a vowel ("an Integer"), else "a ".
std::string Article(const std::string& TypeName) {
  const char First = TypeName.empty() ? 'x' : SysUtils::LowerChar(TypeName[0]);
  return std::string("aeiou").find(First) != std::string::npos ? "an " : "a ";
}

// A fault the reader found and described itself, with its place.
class EFormError : public EReadError {
  using EReadError::EReadError;
};
}  // namespace

// ---- TFormRead -----------------------------------------------------------------

namespace {
thread_local TFormRead* GOpenRead = nullptr;
}  // namespace

TFormRead::TFormRead() : FOuter(GOpenRead) { GOpenRead = this; }
TFormRead::~TFormRead() { GOpenRead = FOuter; }
TFormRead* TFormRead::Current() { return GOpenRead; }

std::uint64_t& TFormRead::Total(const void* Key) {
  for (auto& [Owner, Value] : FTotals)
    if (Owner == Key) return Value;
  return FTotals.emplace_back(Key, 0).second;
}

// ---- What components keep ------------------------------------------------------

TProperty* Form::TKept::Find(const std::string& Name) {
  for (TEntry& Entry : Properties)
    if (SysUtils::SameText(Entry.Property.Name, Name)) return &Entry.Property;
  return nullptr;
}

void Form::TKept::Erase(const std::string& Name) {
  std::erase_if(Properties, [&](const TEntry& Entry) { return SysUtils::SameText(Entry.Property.Name, Name); });
}

void Form::TKept::MergeInto(std::vector<TProperty>& Written) const {
  const auto Key = [](std::string Name) {
    for (char& C : Name)
      if (C >= 'A' && C <= 'Z') C = char(C - 'A' + 'a');
    return Name;
  };
  std::unordered_set<std::string> Kept;
  for (const TEntry& Entry : Properties) Kept.insert(Key(Entry.Property.Name));
  std::erase_if(Written, [&](const TProperty& P) { return Kept.count(Key(P.Name)) > 0; });
  // The entries that followed each property, in the order they were stored.
  std::vector<const TEntry*> Sorted;
  for (const TEntry& Entry : Properties) Sorted.push_back(&Entry);
  std::stable_sort(Sorted.begin(), Sorted.end(), [](const TEntry* A, const TEntry* B) { return A->Index < B->Index; });
  std::unordered_map<std::string, std::vector<const TEntry*>> Following;
  for (const TEntry* Entry : Sorted) Following[Key(Entry->After)].push_back(Entry);
  std::vector<TProperty> Out;
  Out.reserve(Written.size() + Properties.size());
  const auto Emit = [&](const std::string& Name) {
    const auto Found = Following.find(Key(Name));
    if (Found == Following.end()) return;
    for (const TEntry* Entry : Found->second) Out.push_back(Entry->Property);
    Following.erase(Found);
  };
  Emit("");
  for (TProperty& P : Written) {
    const std::string Name = P.Name;
    Out.push_back(std::move(P));
    Emit(Name);
  }
  // Those whose property is not written now go last, in their order.
  for (const TEntry* Entry : Sorted)
    if (Following.count(Key(Entry->After))) Out.push_back(Entry->Property);
  Written.swap(Out);
}

// ---- Writing -------------------------------------------------------------------

struct TWriter::TImpl {
  explicit TImpl(TStream& S) : Stream(S) {}
  TStream& Stream;
  TComponent* Root = nullptr;
  std::vector<TProperty>* Target = nullptr;  // where properties go
  std::vector<TObject>* Children = nullptr;  // where components go
  std::string Prefix;                        // "Picture." within an object property
  bool NamesOnly = false;                    // which properties, not their values
  TValue* Value = nullptr;                   // what a defined property writes
};

TWriter::TWriter(TStream& Stream) : F(std::make_unique<TImpl>(Stream)) {}
TWriter::~TWriter() = default;

void TWriter::WriteRootComponent(TComponent* Root) {
  if (!Root) throw EWriteError("no component to write");
  std::vector<TObject> Top;
  F->Root = Root;
  F->Children = &Top;
  WriteComponent(*Root);
  const std::vector<std::uint8_t> Data = Form::WriteBinary(Top.front());
  F->Stream.WriteBuffer(Data.data(), Data.size());
}

void TWriter::WriteOne(TComponent& Component, std::vector<Form::TObject>& Out) {
  F->Root = Component.Root();
  F->Children = &Out;
  WriteComponent(Component);
}

void TWriter::WriteComponent(TComponent& Component) {
  TObject Node;
  Node.ClassName = Component.StoredClassName();
  Node.Name = Component.Name();
  Node.Flags = Component.FilerFlags();
  Node.Position = Component.ChildPosition();
  auto* const SavedTarget = F->Target;
  auto* const SavedChildren = F->Children;
  F->Target = &Node.Properties;
  F->Children = &Node.Children;
  Component.WriteState(*this);
  F->Target = SavedTarget;
  F->Children = SavedChildren;
  // What it kept of its stored form goes back where it was; a placeholder
  // is what it kept.
  if (const Form::TKept* Kept = Component.Kept(); Kept && Kept->Whole) {
    Node.Properties.clear();
    for (const auto& Entry : Kept->Properties) Node.Properties.push_back(Entry.Property);
  } else if (Kept) {
    Kept->MergeInto(Node.Properties);
  }
  F->Children->push_back(std::move(Node));
}

namespace {

TValue Ident(const std::string& Name) {
  TValue V;
  V.Type = vaIdent;
  V.Text = Name;
  return V;
}

// The value a property of an ordinal kind is written as, or nothing when it
// is at its declared default. One that declares none is always written.
std::optional<TValue> OrdinalValue(const TPropInfo& Info, const System::TObject& Instance, bool EvenDefault = false) {
  if (!Info.GetOrd) return std::nullopt;
  const std::int64_t Value = Info.GetOrd(&Instance);
  if (!EvenDefault && Info.Default && Value == *Info.Default) return std::nullopt;
  if (Info.Kind == TTypeKind::tkSet) {
    TValue V;
    V.Type = vaSet;
    const auto* Names = TypInfo::EnumNames(Info.TypeName);
    for (std::size_t Bit = 0; Bit < 64; ++Bit)
      if (Value >> Bit & 1) V.Set.push_back(Names && Bit < Names->size() ? (*Names)[Bit] : std::to_string(Bit));
    return V;
  }
  if (Info.Kind == TTypeKind::tkEnumeration) {
    if (Info.TypeName == "Boolean") {
      TValue V;
      V.Type = Value ? vaTrue : vaFalse;
      return V;
    }
    if (const auto* Names = TypInfo::EnumNames(Info.TypeName); Names && Value >= 0 && std::size_t(Value) < Names->size())
      return Ident((*Names)[std::size_t(Value)]);
  }
  if (const auto Name = TypInfo::IntToIdent(Info.TypeName, Value)) return Ident(*Name);
  return IntegerValue(Value);
}

}  // namespace

void TWriter::WriteProperties(const TPersistent& Instance) {
  const auto* Component = dynamic_cast<const TComponent*>(&Instance);
  for (const TPropInfo* Info : Instance.ClassType().PublishedProperties()) {
    if (!Info->Stored.Stored(&Instance)) continue;
    std::optional<TValue> Value;
    switch (Info->Kind) {
      case TTypeKind::tkInteger:
      case TTypeKind::tkEnumeration:
      case TTypeKind::tkSet: Value = OrdinalValue(*Info, Instance); break;
      case TTypeKind::tkString:
        if (const std::string Text = Info->GetStr ? Info->GetStr(&Instance) : ""; !Text.empty())
          Value = StringValue(Text);
        break;
      case TTypeKind::tkMethod:
        if (const std::string Handler = Component ? Component->EventName(Info->Name) : ""; !Handler.empty())
          Value = Ident(Handler);
        break;
      case TTypeKind::tkClass: {
        const System::TObject* Object = Info->GetObject ? Info->GetObject(&Instance) : nullptr;
        if (const auto* Referenced = dynamic_cast<const TComponent*>(Object)) {
          if (!Referenced->Name().empty()) Value = Ident(Referenced->Name());
        } else if (const auto* Persistent = dynamic_cast<const TPersistent*>(Object)) {
          // An object the property holds writes its own properties under
          // the property's name.
          const std::string Saved = F->Prefix;
          F->Prefix += Info->Name + ".";
          WriteProperties(*Persistent);
          F->Prefix = Saved;
        }
        break;
      }
    }
    if (Value) F->Target->push_back({F->Prefix + Info->Name, std::move(*Value), {}});
  }
  const_cast<TPersistent&>(Instance).DefineProperties(*this);
}

void TWriter::DefineProperty(const std::string& Name, const std::function<void(TReader&)>&,
                             const std::function<void(TWriter&)>& WriteData, bool HasData) {
  if (!HasData) return;
  if (F->NamesOnly) return F->Target->push_back({F->Prefix + Name, {}, {}});
  TProperty Property{F->Prefix + Name, {}, {}};
  F->Value = &Property.Value;
  WriteData(*this);
  F->Value = nullptr;
  F->Target->push_back(std::move(Property));
}

void TWriter::DefineBinaryProperty(const std::string& Name, const std::function<void(TStream&)>&,
                                   const std::function<void(TStream&)>& WriteData, bool HasData) {
  if (!HasData) return;
  if (F->NamesOnly) return F->Target->push_back({F->Prefix + Name, {}, {}});
  TMemoryStream Data;
  WriteData(Data);
  TValue Value;
  Value.Type = vaBinary;
  Value.Bytes = Data.Memory();
  F->Target->push_back({F->Prefix + Name, std::move(Value), {}});
}

void TWriter::WriteInteger(std::int64_t Value) {
  if (F->Value) *F->Value = IntegerValue(Value);
}
void TWriter::WriteBoolean(bool Value) {
  if (F->Value) F->Value->Type = Value ? vaTrue : vaFalse;
}
void TWriter::WriteString(const std::string& Value) {
  if (F->Value) *F->Value = StringValue(Value);
}
void TWriter::WriteIdent(const std::string& Value) {
  if (F->Value) *F->Value = Ident(Value);
}
void TWriter::WriteBinary(const std::vector<std::uint8_t>& Data) {
  if (!F->Value) return;
  F->Value->Type = vaBinary;
  F->Value->Bytes = Data;
}

std::vector<std::string> StoredProperties(const TComponent& Component) {
  TMemoryStream Unused;
  TWriter Writer(Unused);
  std::vector<TProperty> Written;
  Writer.F->Root = const_cast<TComponent&>(Component).Root();
  Writer.F->Target = &Written;
  Writer.F->NamesOnly = true;
  Writer.WriteProperties(Component);
  std::vector<std::string> Paths;
  for (const TProperty& P : Written) Paths.push_back(P.Name);
  return Paths;
}

void TComponent::WriteState(TWriter& Writer) {
  Writer.WriteProperties(*this);
  GetChildren([&](TComponent* Child) { Writer.WriteComponent(*Child); }, Root());
}

void TStream::WriteComponent(TComponent* Root) { TWriter(*this).WriteRootComponent(Root); }

// ---- Reading -------------------------------------------------------------------

struct TReader::TImpl {
  const TProperty& Property;
  const std::string& Source;  // what is read; the property knows its place in it
  std::string Wanted;         // the defined property looked for
  bool Found = false;

  [[noreturn]] void Fail(const std::string& Fault) const { throw EFormError(Source, Property.Where, Fault); }
  const TValue& Expect(bool Ok, const char* What) const {
    if (!Ok) Fail(Property.Name + ": expected " + What + ", found " + TypeName(Property.Value.Type));
    return Property.Value;
  }
};

void TReader::DefineProperty(const std::string& Name, const std::function<void(TReader&)>& ReadData,
                             const std::function<void(TWriter&)>&, bool) {
  if (!SysUtils::SameText(Name, F.Wanted) || F.Found) return;
  F.Found = true;
  ReadData(*this);
}

void TReader::DefineBinaryProperty(const std::string& Name, const std::function<void(TStream&)>& ReadData,
                                   const std::function<void(TStream&)>&, bool) {
  if (!SysUtils::SameText(Name, F.Wanted) || F.Found) return;
  F.Found = true;
  TMemoryStream Data(F.Expect(F.Property.Value.Type == vaBinary, "binary data").Bytes);
  ReadData(Data);
}

std::int64_t TReader::ReadInteger() { return F.Expect(F.Property.Value.IsInteger(), "an integer").Int; }
bool TReader::ReadBoolean() {
  return F.Expect(F.Property.Value.Type == vaTrue || F.Property.Value.Type == vaFalse, "True or False").Type == vaTrue;
}
std::string TReader::ReadString() { return F.Expect(F.Property.Value.IsString(), "a string").Text; }
std::string TReader::ReadIdent() { return F.Expect(F.Property.Value.Type == vaIdent, "an identifier").Text; }

// Builds the components a form names and sets their properties. Methods
// and existing names come from the root the caller gave, which may differ
// from Root when the form is tried on a scratch copy first.
class TLoader {
public:
  TLoader(TComponent* Root, const TComponent* Real, const std::string& Source, const TReadOptions& Options)
      : FRoot(Root), FReal(Real ? Real : Root), FSource(Source), FOptions(Options) {}

  static void CopyMethods(const TComponent& From, TComponent& To) { To.FMethods = From.FMethods; }

  // Reads objects into new components given to Parent; see ReadComponentsText.
  std::vector<TComponent*> LoadInto(const std::vector<TObject>& Objects, TComponent& Parent) {
    const TFormRead Reading;
    const std::size_t First = FCreated.size();
    std::vector<TComponent*> Top;
    for (const TObject& Node : Objects) {
      if (const TComponent* Made = Component(Node, Parent); Made) Top.push_back(const_cast<TComponent*>(Made));
    }
    for (const auto& Fixup : FFixups) Fixup();
    Anchor();
    FDone = true;
    // What is pasted is the form's own, whatever the text said.
    for (std::size_t I = First; I < FCreated.size(); ++I)
      FCreated[I]->SetFilerFlags(FCreated[I]->FilerFlags() & ffInline);
    for (std::size_t I = First; I < FCreated.size(); ++I) FCreated[I]->Loaded();
    return Top;
  }

  // One property, as a form's line would set it; see SetPropertyText. A
  // reference must name a component the form holds.
  void SetOne(TComponent& Instance, const TProperty& P) {
    FStrict = true;
    const std::string Head = P.Name.substr(0, P.Name.find('.'));
    const TPropInfo* Info = Instance.ClassType().FindProperty(Head);
    if (Info && Info->Kind == TTypeKind::tkMethod && P.Name == Head) {
      // Only a handler's name: '' takes it away.
      if (P.Value.IsString() && P.Value.Text.empty()) {
        std::erase_if(Instance.FEventNames, [&](const auto& Entry) { return Entry.first == Info->Name; });
        return;
      }
      if (P.Value.Type == vaIdent) std::erase_if(Instance.FEventNames, [&](const auto& Entry) { return Entry.first == Info->Name; });
    }
    if (!Info || (P.Name != Head && Info->Kind != TTypeKind::tkClass)) Fail("", "no property " + P.Name);
    try {
      Property(Instance, Instance, P.Name, P);
      for (const auto& Fixup : FFixups) Fixup();
    } catch (const EFormError&) {
      throw;
    } catch (const std::exception& E) {
      Fail("", P.Name + ": " + E.what());
    }
    // The value set takes the place of one kept as stored; a placeholder
    // stores what it was given, its place as it now is.
    if (Form::TKept* Kept = Instance.Kept(); Kept && !Kept->Whole) {
      Kept->Erase(P.Name);
    } else if (Kept && !IsPlace(P.Name)) {
      if (TProperty* Stored = Kept->Find(P.Name)) Stored->Value = P.Value;
      else Kept->Properties.push_back({"", Kept->Properties.size(), P});
    }
    FDone = true;
  }

  ~TLoader() {
    // A failed read leaves nothing it made.
    if (!FDone)
      for (auto It = FCreated.rbegin(); It != FCreated.rend(); ++It) delete *It;
  }

  void Load(const TObject& Root) {
    // However many pictures the form holds, together they stay within one limit.
    const TFormRead Reading;
    // A class the host does not know is the application's own descendant
    // of the root's (TForm1 of TForm): read into the root, and kept.
    FFormClass = Root.ClassName;
    const TypInfo::TClassInfo* Stored = TypInfo::GetClass(Root.ClassName);
    if (Stored && !FRoot->ClassType().InheritsFrom(*Stored))
      Fail(Root.Where, "the form holds a " + Root.ClassName + ", not a " + FRoot->ClassName());
    FRoot->SetStoredClassName(Stored ? "" : Root.ClassName);
    FRoot->SetFilerFlags(Root.Flags, Root.Position);
    FRoot->FKept.reset();
    if (!Root.Name.empty() && Root.Name != FRoot->Name()) Named(Root, *FRoot, Root.Name);
    Properties(Root, *FRoot);
    for (const TObject& Child : Root.Children) Component(Child, *FRoot);
    for (const auto& Fixup : FFixups) Fixup();
    Anchor();
    FDone = true;
    for (const auto& [Field, Made] : FBindings) Field->Bind(Made);
    FRoot->Loaded();
    for (TComponent* Made : FCreated) Made->Loaded();
  }

private:
  [[noreturn]] void Fail(const std::string& Where, const std::string& Fault) const {
    throw EFormError(FSource, Where, Fault);
  }

  // A control's place, which a placeholder keeps itself.
  static bool IsPlace(const std::string& Name) {
    for (const char* Place : {"Left", "Top", "Width", "Height"})
      if (SysUtils::SameText(Name, Place)) return true;
    return false;
  }

  // What the options answer to a fault they may skip or keep.
  TReadAnswer::TAction Answer(const std::string& Where, const std::string& Fault, EReadError::TKind Kind,
                              const std::string& Subject) const {
    return FOptions.OnError ? FOptions.OnError(EReadError(FSource, Where, Fault, Kind, Subject)).Action()
                            : TReadAnswer::Refuse;
  }

  // A property of a known component that the options may skip or keep as
  // stored (Anchor says where it goes back).
  void Unknown(TComponent& Component, const TProperty& P, const std::string& Fault, EReadError::TKind Kind,
               const std::string& Subject) {
    if (!FTaken.empty()) FTaken.back() = false;
    switch (Answer(P.Where, Fault, Kind, Subject)) {
      case TReadAnswer::Refuse: throw EFormError(FSource, P.Where, Fault, Kind, Subject);
      case TReadAnswer::Skip: return;
      case TReadAnswer::Keep: Component.Keep().Properties.push_back({"", FIndex, P}); return;
    }
  }

  void Named(const TObject& Node, TComponent& Instance, const std::string& Name) {
    try {
      Instance.SetName(Name);
    } catch (const EComponentError& E) {
      Fail(Node.Where, E.what());
    }
  }

  TComponent* Component(const TObject& Node, TComponent& Holder) {
    const TypInfo::TClassInfo* Class = TypInfo::GetClass(Node.ClassName);
    const bool Placeholder = !Class;
    if (!Class) {
      const std::string What = Node.Name.empty() ? "" : " (" + Node.Name + ")";
      const std::string Fault = "unknown class " + Node.ClassName;
      switch (Answer(Node.Where, Fault + What, EReadError::TKind::UnknownClass, Node.ClassName)) {
        case TReadAnswer::Refuse:
          throw EFormError(FSource, Node.Where, Fault, EReadError::TKind::UnknownClass, Node.ClassName);
        case TReadAnswer::Skip: return nullptr;
        case TReadAnswer::Keep: break;
      }
      Class = PlaceholderClass();
      if (!Class) throw EFormError(FSource, Node.Where, Fault + ": no placeholder class to keep it in",
                                   EReadError::TKind::UnknownClass, Node.ClassName);
    }
    if (!Class->Create) Fail(Node.Where, Node.ClassName + " is not a component class");
    std::string Name = Node.Name;
    if (FOptions.OnSetName) FOptions.OnSetName(Node.ClassName, Name);
    if (!Name.empty() && (FRoot->FindComponent(Name) || FReal->FindComponent(Name) ||
                          SysUtils::SameText(Name, FRoot->Name())))
      Fail(Node.Where, "the name " + Name + " is used twice");
    // A form class of the application's own has a field for each.
    const TComponent::TField* Field = nullptr;
    if (FOptions.BindFields && !Name.empty()) {
      Field = FReal->FieldAddress(Name);
      const std::string& Of = FFormClass;
      if (!Field) Fail(Node.Where, Name + ": the class " + Of + " has no field " + Name);
      if (!Class->InheritsFrom(*Field->Class))
        Fail(Node.Where, Name + ": a " + Class->ClassName + ", where the field " + Of + "." + Field->Name +
                             " holds a " + Field->Class->ClassName);
    }
    TComponent* Made = Class->Create(FRoot);
    FCreated.push_back(Made);
    Named(Node, *Made, Name);
    Made->SetFilerFlags(Node.Flags, Node.Position);
    if (Placeholder) {
      // Everything as stored, before it is given its holder: the placeholder takes its place from it.
      Made->SetStoredClassName(Node.ClassName);
      Form::TKept& Kept = Made->Keep();
      Kept.Whole = true;
      for (const TProperty& P : Node.Properties) Kept.Properties.push_back({"", Kept.Properties.size(), P});
    }
    if (Field && FRoot == FReal) FBindings.emplace_back(Field, Made);
    try {
      // A component without a place of its own among controls is held by
      // what it was stored in, unless that is the form.
      if (Made->HasParent()) Made->SetParentComponent(&Holder);
      else if (&Holder != FRoot) Made->SetHolder(&Holder);
    } catch (const EComponentError& E) {
      Fail(Node.Where, (Name.empty() ? Node.ClassName : Name) + ": " + E.what());
    }
    if (!Placeholder) Properties(Node, *Made);
    for (const TObject& Child : Node.Children) Component(Child, *Made);
    return Made;
  }

  void Properties(const TObject& Node, TComponent& Instance) {
    FRead.push_back({&Instance, &Node.Properties, FTaken.size()});
    for (FIndex = 0; FIndex < Node.Properties.size(); ++FIndex) {
      const TProperty& P = Node.Properties[FIndex];
      FTaken.push_back(true);
      try {
        Property(Instance, Instance, P.Name, P);
      } catch (const EFormError&) {
        throw;
      } catch (const EReadError& E) {
        // What a defined property's reader does not know (a graphic class)
        // the options may keep; anything else it refused refuses the form.
        // The property's data is its value: kept, it is a value kept.
        if (E.Kind() == EReadError::TKind::Fault) Fail(P.Where, P.Name + ": " + E.what());
        Unknown(Instance, P, P.Name + ": " + E.Fault(), EReadError::TKind::UnknownValue, E.Subject());
      } catch (const std::exception& E) {
        // What a setter or a defined property's reader refused.
        Fail(P.Where, P.Name + ": " + E.what());
      }
    }
  }

  // What each component kept follows the last property before it that the
  // component took (a reference once it is set), so that it goes back there.
  void Anchor() {
    for (const TRead& Read : FRead) {
      Form::TKept* Kept = Read.Component->Kept();
      if (!Kept || Kept->Whole) continue;
      const std::vector<TProperty>& Stored = *Read.Properties;
      std::vector<const std::string*> Last(Stored.size() + 1, nullptr);
      for (std::size_t I = 0; I < Stored.size(); ++I) Last[I + 1] = FTaken[Read.First + I] ? &Stored[I].Name : Last[I];
      for (Form::TKept::TEntry& Entry : Kept->Properties)
        if (Entry.Index < Stored.size()) Entry.After = Last[Entry.Index] ? *Last[Entry.Index] : "";
    }
    FRead.clear();
    FTaken.clear();
  }

  void Property(TPersistent& Instance, TComponent& Component, const std::string& Path, const TProperty& P) {
    const std::size_t Dot = Path.find('.');
    const std::string Head = Path.substr(0, Dot);
    const TPropInfo* Info = Instance.ClassType().FindProperty(Head);
    if (Dot != std::string::npos) {
      if (!Info || Info->Kind != TTypeKind::tkClass || !Info->GetObject) return UnknownProperty(Component, P);
      System::TObject* Object = Info->GetObject(&Instance);
      const bool Made = !Object;
      if (Made) {
        if (!Info->Make) Fail(P.Where, P.Name + ": " + Head + " holds no object to read into");
        Object = Info->Make(&Instance);
      }
      auto* Persistent = dynamic_cast<TPersistent*>(Object);
      if (!Persistent) Fail(P.Where, P.Name + ": " + Head + " is not a persistent object");
      Property(*Persistent, Component, Path.substr(Dot + 1), P);
      if (Made && Info->SetObject) Info->SetObject(&Instance, Object);
      return;
    }
    if (!Info) {
      TReader::TImpl Impl{P, FSource, Head};
      TReader Reader(Impl);
      Instance.DefineProperties(Reader);
      if (!Impl.Found) UnknownProperty(Component, P);
      return;
    }
    Value(Instance, Component, *Info, P);
  }

  void UnknownProperty(TComponent& Component, const TProperty& P) {
    Unknown(Component, P, "unknown property " + P.Name + " of " + Component.StoredClassName(),
            EReadError::TKind::UnknownProperty, P.Name);
  }

  // A name the property's type lacks (an enumeration's value, a colour).
  void UnknownValue(TComponent& Component, const TPropInfo& Info, const TProperty& P, const std::string& Name,
                    const std::string& Fault) {
    Unknown(Component, P, P.Name + ": " + Name + Fault + Article(Info.TypeName) + Info.TypeName,
            EReadError::TKind::UnknownValue, Name);
  }

  [[noreturn]] void Wrong(const TProperty& P, const char* Expected) const {
    Fail(P.Where, P.Name + ": expected " + std::string(Expected) + ", found " + TypeName(P.Value.Type));
  }

  void Value(TPersistent& Instance, TComponent& Component, const TPropInfo& Info, const TProperty& P) {
    const TValue& V = P.Value;
    const bool Writable = Info.SetOrd || Info.SetStr || Info.SetObject || Info.Set;
    if (!Writable) Fail(P.Where, P.Name + " is read-only");
    switch (Info.Kind) {
      case TTypeKind::tkInteger: {
        std::int64_t Number = V.Int;
        if (V.Type == vaIdent) {
          const auto Named = TypInfo::IdentToInt(Info.TypeName, V.Text);
          if (!Named) return UnknownValue(Component, Info, P, V.Text, " is not ");
          Number = *Named;
        } else if (!V.IsInteger()) {
          Wrong(P, "an integer");
        }
        if (Number < INT32_MIN || Number > INT32_MAX) Fail(P.Where, P.Name + ": " + std::to_string(Number) + " is out of range");
        Info.SetOrd(&Instance, Number);
        break;
      }
      case TTypeKind::tkEnumeration: {
        if (Info.TypeName == "Boolean") {
          if (V.Type != vaTrue && V.Type != vaFalse) Wrong(P, "True or False");
          Info.SetOrd(&Instance, V.Type == vaTrue);
          break;
        }
        if (V.Type != vaIdent) Wrong(P, "an identifier");
        const auto Ordinal = TypInfo::EnumValue(Info.TypeName, V.Text);
        if (!Ordinal) return UnknownValue(Component, Info, P, V.Text, " is not ");
        Info.SetOrd(&Instance, *Ordinal);
        break;
      }
      case TTypeKind::tkSet: {
        if (V.Type != vaSet) Wrong(P, "a set");
        std::int64_t Bits = 0;
        for (const std::string& Element : V.Set) {
          const auto Ordinal = TypInfo::EnumValue(Info.TypeName, Element);
          if (!Ordinal || *Ordinal >= 64) return UnknownValue(Component, Info, P, Element, " is not an element of ");
          Bits |= std::int64_t(1) << *Ordinal;
        }
        Info.SetOrd(&Instance, Bits);
        break;
      }
      case TTypeKind::tkString:
        if (!V.IsString()) Wrong(P, "a string");
        Info.SetStr(&Instance, V.Text);
        break;
      case TTypeKind::tkClass:
        if (V.Type == vaNil) {
          if (Info.SetObject) Info.SetObject(&Instance, nullptr);
        } else if (V.Type == vaIdent) {
          // A reference may name a component read later: set it once all
          // are there. One to a component the form does not hold (in another
          // module, or nowhere), or to a placeholder the property cannot
          // take, is kept as stored. It counts as taken once it is set.
          if (!FTaken.empty()) FTaken.back() = false;
          FFixups.push_back([this, &Instance, &Component, &Info, P, Index = FIndex, Flag = FTaken.size() - 1] {
            TComponent* Target =
                SysUtils::SameText(P.Value.Text, FRoot->Name()) ? FRoot : FRoot->FindComponent(P.Value.Text);
            if (!Target && !FStrict) {
              if (FOptions.OnUnresolved)
                FOptions.OnUnresolved(EReadError(FSource, P.Where, P.Name + ": no component named " + P.Value.Text,
                                                 EReadError::TKind::UnresolvedReference, P.Value.Text));
              Component.Keep().Properties.push_back({"", Index, P});
              return;
            }
            if (!Target) Fail(P.Where, P.Name + ": no component named " + P.Value.Text);
            if (Info.SetObject && Info.SetObject(&Instance, Target)) {
              if (Flag < FTaken.size()) FTaken[Flag] = true;
              return;
            }
            if (Target->IsPlaceholder() && !FStrict) return Component.Keep().Properties.push_back({"", Index, P});
            Fail(P.Where, P.Name + ": " + P.Value.Text + " is not " + Article(Info.TypeName) + Info.TypeName);
          });
        } else {
          Wrong(P, "a component's name or nil");
        }
        break;
      case TTypeKind::tkMethod: {
        if (V.Type != vaIdent) Wrong(P, "a handler's name");
        const std::any* Handler = FReal->MethodAddress(V.Text);
        if (!Handler && FOptions.KeepUnboundHandlers) {
          Component.FEventNames.emplace_back(Info.Name, V.Text);
          break;
        }
        if (!Handler) Fail(P.Where, P.Name + ": no event handler named " + V.Text);
        try {
          Info.Set(&Instance, *Handler);
        } catch (const std::bad_any_cast&) {
          Fail(P.Where, P.Name + ": the handler " + V.Text + " is not " + Article(Info.TypeName) + Info.TypeName);
        }
        Component.FEventNames.emplace_back(Info.Name, V.Text);
        break;
      }
    }
  }

  TComponent* FRoot;
  const TComponent* FReal;
  const std::string& FSource;
  const TReadOptions& FOptions;
  std::vector<TComponent*> FCreated;
  std::vector<std::function<void()>> FFixups;
  std::vector<std::pair<const TComponent::TField*, TComponent*>> FBindings;
  std::string FFormClass;  // the root's, as the form names it
  // Each component's properties as read, and whether it took each, in
  // FTaken from First on.
  struct TRead {
    TComponent* Component;
    const std::vector<TProperty>* Properties;
    std::size_t First;
  };
  std::vector<TRead> FRead;
  std::vector<bool> FTaken;
  std::size_t FIndex = 0;  // the place of the one being read
  bool FStrict = false;    // references must resolve
  bool FDone = false;
};

namespace {

// Reads a decoded form into Root, or into a new component of the class the
// form names when Root is nullptr.
TComponent* ReadTree(const TObject& Tree, TComponent* Root, const std::string& Source, const TReadOptions& Options) {
  const TypInfo::TClassInfo* Class = Root ? &Root->ClassType() : TypInfo::GetClass(Tree.ClassName);
  if (!Class)
    throw EReadError(Source, Tree.Where, "unknown class " + Tree.ClassName, EReadError::TKind::UnknownClass,
                     Tree.ClassName);
  if (!Class->Create) throw EReadError(Source, Tree.Where, Tree.ClassName + " is not a component class");
  if (Root) {
    // Tried on a scratch root of the same class first, so that a form that
    // fails leaves the real root as it was.
    std::unique_ptr<TComponent> Scratch(Class->Create(nullptr));
    TLoader::CopyMethods(*Root, *Scratch);
    // The caller is asked about each fault once, on the scratch read; the
    // real read takes the same answers.
    std::map<std::string, TReadAnswer::TAction> Answers;
    TReadOptions Asking = Options, Answered = Options;
    if (Options.OnError) {
      Asking.OnError = [&](const EReadError& Fault) {
        return Answers.insert_or_assign(Fault.Message(), Options.OnError(Fault).Action()).first->second;
      };
      Answered.OnError = [&](const EReadError& Fault) {
        const auto Found = Answers.find(Fault.Message());
        return Found == Answers.end() ? TReadAnswer::Refuse : Found->second;
      };
    }
    Answered.OnUnresolved = nullptr;
    TLoader(Scratch.get(), Root, Source, Asking).Load(Tree);
    TLoader(Root, Root, Source, Answered).Load(Tree);
    return Root;
  }
  std::unique_ptr<TComponent> Made(Class->Create(nullptr));
  TLoader(Made.get(), nullptr, Source, Options).Load(Tree);
  return Made.release();
}

}  // namespace

TComponent* TStream::ReadComponent(TComponent* Root) { return ReadComponent(Root, {}); }

TComponent* TStream::ReadComponent(TComponent* Root, const TReadOptions& Options) {
  std::vector<std::uint8_t> Storage;
  const std::string Source = Options.SourceName.empty() ? "form" : Options.SourceName;
  return ReadTree(Form::ReadBinary(Unread(*this, Storage), Source), Root, Source, Options);
}

TComponent* ReadComponentText(TStream& Input, TComponent* Root, const TReadOptions& Options) {
  std::vector<std::uint8_t> Storage;
  const std::string Source = Options.SourceName.empty() ? "form" : Options.SourceName;
  return ReadTree(Form::ReadText(Chars(Unread(Input, Storage)), Source, Options.CodePage), Root, Source, Options);
}

namespace {
constexpr std::size_t FoldOver = 64;
const std::string FoldedName = "FoldedData";

// Each property of a tree, of its objects and of their collections' items.
void EachProperty(std::vector<TProperty>& Properties, const std::function<void(TProperty&)>& Do) {
  for (TProperty& P : Properties) {
    Do(P);
    for (TItem& Item : P.Value.Items) EachProperty(Item.Properties, Do);
  }
}
void EachProperty(TObject& Node, const std::function<void(TProperty&)>& Do) {
  EachProperty(Node.Properties, Do);
  for (TObject& Child : Node.Children) EachProperty(Child, Do);
}
}  // namespace

std::string FoldedFormText(const std::vector<std::uint8_t>& Binary, TFoldedData& Folded) {
  TObject Tree = ReadBinary(Binary, "form");
  Folded.clear();
  EachProperty(Tree, [&](TProperty& P) {
    if (P.Value.Type != vaBinary || P.Value.Bytes.size() <= FoldOver) return;
    Folded.push_back(std::move(P.Value.Bytes));
    P.Value = Ident(FoldedName + std::to_string(Folded.size()));
  });
  return WriteText(Tree);
}

TComponent* ReadFoldedComponentText(const std::string& Text, const TFoldedData& Folded, TComponent* Root,
                                    const TReadOptions& Options) {
  const std::string Source = Options.SourceName.empty() ? "form" : Options.SourceName;
  TObject Tree = ReadText(Text, Source, Options.CodePage);
  EachProperty(Tree, [&](TProperty& P) {
    if (P.Value.Type != vaIdent || P.Value.Text.rfind(FoldedName, 0) != 0) return;
    const std::string Number = P.Value.Text.substr(FoldedName.size());
    const bool Digits = !Number.empty() && Number.size() <= 9 &&
                        std::all_of(Number.begin(), Number.end(), [](char C) { return C >= '0' && C <= '9'; });
    const std::size_t Index = Digits ? std::stoul(Number) : 0;
    if (Index < 1 || Index > Folded.size())
      throw EReadError(Source, P.Where, P.Name + ": no folded data " + P.Value.Text);
    P.Value = TValue{};
    P.Value.Type = vaBinary;
    P.Value.Bytes = Folded[Index - 1];
  });
  return ReadTree(Tree, Root, Source, Options);
}

// ---- What a design host does ------------------------------------------------------

std::string ComponentsToText(const std::vector<TComponent*>& Components) {
  std::string Text;
  for (TComponent* Component : Components) {
    TMemoryStream Unused;
    TWriter Writer(Unused);
    std::vector<TObject> Top;
    Writer.WriteOne(*Component, Top);
    Text += WriteText(Top.front());
  }
  return Text;
}

std::vector<TComponent*> ReadComponentsText(const std::string& Text, TComponent* Root, TComponent* Parent,
                                            const TReadOptions& Options) {
  const std::vector<TObject> Objects = ReadTextObjects(Text, "pasted text", Options.CodePage);
  return TLoader(Root, Root, "pasted text", Options).LoadInto(Objects, Parent ? *Parent : *Root);
}

namespace {
// The published property a dotted path names, and the object that has it;
// nullptr where there is none.
const TPropInfo* PropertyAt(const TComponent& Component, const std::string& Path, const System::TObject*& Instance) {
  Instance = &Component;
  std::string Rest = Path;
  for (std::size_t Dot; (Dot = Rest.find('.')) != std::string::npos; Rest.erase(0, Dot + 1)) {
    const TPropInfo* Info = Instance->ClassType().FindProperty(Rest.substr(0, Dot));
    if (!Info || !Info->GetObject || !(Instance = Info->GetObject(Instance))) return nullptr;
  }
  return Instance->ClassType().FindProperty(Rest);
}

// One element of a set property ("Anchors.akLeft"), as a design host's
// inspector shows it: True or False.
struct TSetElement {
  const System::TObject* Holder = nullptr;
  const TPropInfo* Info = nullptr;
  std::size_t Bit = 0;
};
std::optional<TSetElement> SetElementAt(const TComponent& Component, const std::string& Path) {
  const std::size_t Dot = Path.rfind('.');
  if (Dot == std::string::npos) return std::nullopt;
  TSetElement Element;
  Element.Info = PropertyAt(Component, Path.substr(0, Dot), Element.Holder);
  if (!Element.Info || Element.Info->Kind != TTypeKind::tkSet || !Element.Info->GetOrd) return std::nullopt;
  const auto Bit = TypInfo::EnumValue(Element.Info->TypeName, Path.substr(Dot + 1));
  if (!Bit || *Bit < 0 || *Bit >= 64) return std::nullopt;
  Element.Bit = std::size_t(*Bit);
  return Element;
}
}  // namespace

std::string ReadTextString(const std::string& Text) {
  const TValue Value = ReadTextValue(Text, "");
  if (!Value.IsString()) throw EReadError("", "", "expected a quoted string, not " + PrintableText(Text, MaxQuoted));
  return Value.Text;
}

std::string TextString(const std::string& Utf8) { return ValueText(StringValue(Utf8)); }

const TPropInfo* FindPropertyPath(const TComponent& Component, const std::string& Path, const System::TObject** Holder) {
  const System::TObject* Instance = nullptr;
  const TPropInfo* Info = PropertyAt(Component, Path, Instance);
  if (Holder) *Holder = Info ? Instance : nullptr;
  return Info;
}

std::string GetPropertyText(const TComponent& Component, const std::string& Path) {
  const System::TObject* Instance = nullptr;
  const TPropInfo* Info = PropertyAt(Component, Path, Instance);
  if (const auto Element = Info ? std::nullopt : SetElementAt(Component, Path))
    return Element->Info->GetOrd(Element->Holder) >> Element->Bit & 1 ? "True" : "False";
  if (!Info) throw EReadError(Component.Name(), "", "no property " + Path);
  switch (Info->Kind) {
    case TTypeKind::tkInteger:
    case TTypeKind::tkEnumeration:
    case TTypeKind::tkSet:
      if (const auto Value = OrdinalValue(*Info, *Instance, true)) return ValueText(*Value);
      return {};
    case TTypeKind::tkString: return ValueText(StringValue(Info->GetStr ? Info->GetStr(Instance) : ""));
    case TTypeKind::tkMethod: return Component.EventName(Path);
    case TTypeKind::tkClass: {
      const System::TObject* Object = Info->GetObject ? Info->GetObject(Instance) : nullptr;
      if (const auto* Referenced = dynamic_cast<const TComponent*>(Object)) return Referenced->Name();
      // Built by appending: g++ 12 warns falsely on "(" + a temporary string.
      std::string Held;
      if (Object) Held.append("(").append(Object->ClassName()).append(")");
      return Held;
    }
  }
  return {};
}

void SetPropertyText(TComponent& Component, const std::string& Path, const std::string& Text) {
  const std::string Source = Component.Name().empty() ? Component.ClassName() : Component.Name();
  TProperty P;
  P.Name = Path;
  try {
    // Nothing at all clears: an event's handler, a string, a reference.
    P.Value = Text.empty() ? StringValue("") : ReadTextValue(Text, "");
    const System::TObject* Holder = nullptr;
    if (const TPropInfo* Info = PropertyAt(Component, Path, Holder); Text.empty() && Info && Info->Kind == TTypeKind::tkClass)
      P.Value.Type = vaNil;
  } catch (const EReadError& E) {
    // The reader's own place ("line 1") says nothing about one value.
    throw EReadError(Source, "", Path + ": " + E.Fault());
  }
  // An element of a set sets the set whole, the other elements as they are.
  const System::TObject* Holder = nullptr;
  if (const auto Element = PropertyAt(Component, Path, Holder) ? std::nullopt : SetElementAt(Component, Path)) {
    if (P.Value.Type != vaTrue && P.Value.Type != vaFalse) throw EReadError(Source, "", Path + ": expected True or False");
    std::int64_t Bits = Element->Info->GetOrd(Element->Holder);
    const std::int64_t Mask = std::int64_t(1) << Element->Bit;
    Bits = P.Value.Type == vaTrue ? Bits | Mask : Bits & ~Mask;
    P.Name = Path.substr(0, Path.rfind('.'));
    P.Value = TValue{};
    P.Value.Type = vaSet;
    const auto* Names = TypInfo::EnumNames(Element->Info->TypeName);
    for (std::size_t Bit = 0; Bit < 64; ++Bit)
      if (Bits >> Bit & 1) P.Value.Set.push_back(Names && Bit < Names->size() ? (*Names)[Bit] : std::to_string(Bit));
  }
  TReadOptions Options;
  Options.KeepUnboundHandlers = true;
  TLoader(Component.Root(), Component.Root(), Source, Options).SetOne(Component, P);
}

// ---- Children, events ------------------------------------------------------------

void TComponent::GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) {
  if (Root == this)
    for (TComponent* Owned : std::vector<TComponent*>(FComponents))
      if (!Owned->HasParent() && !Owned->FHolder) Proc(Owned);
  for (TComponent* Held : std::vector<TComponent*>(FHeld))
    if (Held->Owner() == Root) Proc(Held);
}

namespace {
const TypInfo::TClassInfo*& ThePlaceholderClass() {
  static const TypInfo::TClassInfo* Class = nullptr;
  return Class;
}
}  // namespace

void RegisterPlaceholderClass(TComponentClass Class) { ThePlaceholderClass() = Class; }
TComponentClass PlaceholderClass() { return ThePlaceholderClass(); }

void TComponent::SetMethod(const std::string& Name, std::any Handler) {
  for (auto& [Known, Value] : FMethods)
    if (SysUtils::SameText(Known, Name)) {
      Value = std::move(Handler);
      return;
    }
  FMethods.emplace_back(Name, std::move(Handler));
}

const std::any* TComponent::MethodAddress(const std::string& Name) const {
  for (const auto& [Known, Value] : FMethods)
    if (SysUtils::SameText(Known, Name)) return &Value;
  return nullptr;
}

void TComponent::AddField(TField Field) {
  for (TField& Known : FFields)
    if (SysUtils::SameText(Known.Name, Field.Name)) {
      Known = std::move(Field);
      return;
    }
  FFields.push_back(std::move(Field));
}

const TComponent::TField* TComponent::FieldAddress(const std::string& Name) const {
  for (const TField& Known : FFields)
    if (SysUtils::SameText(Known.Name, Name)) return &Known;
  return nullptr;
}

void TComponent::AssignEvent(const std::string& Property, const std::string& HandlerName) {
  const TPropInfo* Info = ClassType().FindProperty(Property);
  if (!Info || Info->Kind != TTypeKind::tkMethod) throw EComponentError(ClassName() + " has no event " + Property);
  const std::any* Handler = Root()->MethodAddress(HandlerName);
  if (!Handler) throw EComponentError("no event handler named " + HandlerName);
  try {
    Info->Set(this, *Handler);
  } catch (const std::bad_any_cast&) {
    throw EComponentError("the handler " + HandlerName + " is not a " + Info->TypeName);
  }
  std::erase_if(FEventNames, [&](const auto& Entry) { return Entry.first == Property; });
  FEventNames.emplace_back(Property, HandlerName);
}

std::string TComponent::EventName(const std::string& Property) const {
  for (const auto& [Event, Handler] : FEventNames)
    if (Event == Property) return Handler;
  return {};
}

TComponent* TComponent::Root() {
  TComponent* Top = this;
  while (Top->FOwner) Top = Top->FOwner;
  return Top;
}

}  // namespace Classes
