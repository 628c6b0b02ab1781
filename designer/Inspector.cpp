// The object inspector's rows: the published properties the selected
// components share, as the property table lists them, with the values
// and the stored-or-default state the form's writer gives them.
#include <algorithm>

#include "Internal.hpp"
#include "SysUtils.hpp"

namespace Design {

using Classes::TComponent;
using TypInfo::TPropInfo;
using TypInfo::TTypeKind;

namespace {

// What the writer stores for each selected component.
struct TStored {
  std::vector<std::vector<std::string>> Paths;
  // Whether every component stores Path, or a property of the object it holds.
  bool All(const std::string& Path) const {
    return std::all_of(Paths.begin(), Paths.end(), [&](const std::vector<std::string>& Of) {
      return std::any_of(Of.begin(), Of.end(), [&](const std::string& P) { return P == Path || P.rfind(Path + ".", 0) == 0; });
    });
  }
};

class TRowMaker {
public:
  TRowMaker(const std::vector<TComponent*>& Selection, const std::vector<TComponent*>& All,
            const std::function<bool(const std::string&)>& Expanded, bool Events)
      : FSelection(Selection), FAll(All), FExpanded(Expanded), FEvents(Events) {
    for (const TComponent* C : Selection) FStored.Paths.push_back(Classes::StoredProperties(*C));
  }

  void Rows(const System::TObject& Instance, const std::string& Prefix, int Depth, std::vector<TInspectorRow>& Out) const {
    std::vector<const TPropInfo*> List = Instance.ClassType().PublishedProperties();
    std::stable_sort(List.begin(), List.end(),
                     [](const TPropInfo* A, const TPropInfo* B) { return SysUtils::LowerCase(A->Name) < SysUtils::LowerCase(B->Name); });
    for (const TPropInfo* Info : List) {
      if ((Info->Kind == TTypeKind::tkMethod) != FEvents) continue;
      const std::string Path = Prefix + Info->Name;
      if (!Shared(Path, *Info)) continue;
      TInspectorRow Row;
      Row.Path = Path;
      Row.Name = Info->Name;
      Row.Depth = Depth;
      Row.NotDefault = FStored.All(Path);
      Row.ReadOnly = !(Info->SetOrd || Info->SetStr || Info->SetObject || Info->Set);
      Row.Value = Value(Path);
      Describe(Instance, *Info, Row);
      const bool Open = Row.Expandable && FExpanded(Path);
      Out.push_back(std::move(Row));
      if (!Open) continue;
      if (Info->Kind == TTypeKind::tkSet) {
        const auto* Names = TypInfo::EnumNames(Info->TypeName);
        for (std::size_t B = 0; Names && B < Names->size(); ++B) {
          const std::string Element = Path + "." + (*Names)[B];
          const std::string Is = Value(Element);
          Out.push_back({Element, (*Names)[B], Depth + 1, Is, TRowKind::SetElement, Is == "True", Out.back().ReadOnly,
                         false, {"False", "True"}});
        }
      } else {
        Rows(*Info->GetObject(&Instance), Path + ".", Depth + 1, Out);
      }
    }
  }

private:
  // Whether every selected component has the property, of the same type.
  bool Shared(const std::string& Path, const TPropInfo& Info) const {
    return std::all_of(FSelection.begin() + 1, FSelection.end(), [&](const TComponent* C) {
      const TPropInfo* Other = Classes::FindPropertyPath(*C, Path);
      return Other && Other->Kind == Info.Kind && Other->TypeName == Info.TypeName;
    });
  }

  // The value all selected components have, or nothing where they differ.
  std::string Value(const std::string& Path) const {
    const std::string First = Classes::GetPropertyText(*FSelection.front(), Path);
    for (std::size_t I = 1; I < FSelection.size(); ++I)
      if (Classes::GetPropertyText(*FSelection[I], Path) != First) return {};
    return First;
  }

  // Whether the selected components hold a picture, where all agree.
  std::string GraphicText(const System::TObject& Instance, const TPropInfo& Info, const std::string& Path) const {
    const auto Of = [](const System::TObject* Object) { return HasGraphic(Object) ? "(TBitmap)" : "(None)"; };
    const std::string First = Of(Info.GetObject(&Instance));
    if (&Instance != FSelection.front()) return First;
    for (const TComponent* C : FSelection)
      if (const TPropInfo* Other = Classes::FindPropertyPath(*C, Path); !Other || Of(Other->GetObject(C)) != First)
        return {};
    return First;
  }

  void Describe(const System::TObject& Instance, const TPropInfo& Info, TInspectorRow& Row) const {
    switch (Info.Kind) {
      case TTypeKind::tkInteger:
        Row.Kind = Info.TypeName == "TColor" ? TRowKind::Color : Info.TypeName == "TCursor" ? TRowKind::Cursor
                                                                                           : TRowKind::Integer;
        Row.Choices = TypInfo::IdentNames(Info.TypeName);
        break;
      case TTypeKind::tkEnumeration:
        Row.Kind = Info.TypeName == "Boolean" ? TRowKind::Boolean : TRowKind::Enumeration;
        if (const auto* Names = TypInfo::EnumNames(Info.TypeName)) Row.Choices = *Names;
        break;
      case TTypeKind::tkSet: Row.Kind = TRowKind::Set, Row.Expandable = true; break;
      case TTypeKind::tkString: Row.Kind = TRowKind::String; break;
      case TTypeKind::tkMethod: Row.Kind = TRowKind::Event; break;
      case TTypeKind::tkClass:
        if (IsGraphic(Info)) {
          Row.Kind = TRowKind::Graphic;
          Row.Value = GraphicText(Instance, Info, Row.Path);
        } else if (IsReference(Info)) {
          Row.Kind = TRowKind::Reference;
          const TypInfo::TClassInfo* Class = TypInfo::GetClass(Info.TypeName);
          for (TComponent* C : FAll)
            if (std::find(FSelection.begin(), FSelection.end(), C) == FSelection.end() &&
                C->ClassType().InheritsFrom(*Class))
              Row.Choices.push_back(C->Name());
        } else {
          Row.Kind = TRowKind::Object;
          Row.Expandable = Info.GetObject && Info.GetObject(&Instance);
        }
        break;
    }
  }

  const std::vector<TComponent*>& FSelection;
  const std::vector<TComponent*>& FAll;
  const std::function<bool(const std::string&)>& FExpanded;
  bool FEvents;
  TStored FStored;
};

}  // namespace

void TDesigner::SetExpanded(const std::string& Path, bool Expanded) {
  std::erase(FExpanded, Path);
  if (Expanded) FExpanded.push_back(Path);
}

bool TDesigner::Expanded(const std::string& Path) const {
  return std::find(FExpanded.begin(), FExpanded.end(), Path) != FExpanded.end();
}

std::vector<TInspectorRow> TDesigner::Rows(bool Events) const {
  const std::vector<TComponent*> All = Components();
  const std::function<bool(const std::string&)> IsExpanded = [this](const std::string& Path) { return Expanded(Path); };
  std::vector<TInspectorRow> Out;
  TRowMaker(FSelection, All, IsExpanded, Events).Rows(*FSelection.front(), "", 0, Out);
  return Out;
}

std::vector<TInspectorRow> TDesigner::Properties() const { return Rows(false); }
std::vector<TInspectorRow> TDesigner::Events() const { return Rows(true); }

}  // namespace Design
