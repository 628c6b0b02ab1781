// Class information: what the framework knows about a class at run time.
// Registration on the palette, finding a class by name, inspecting a package
// and storing forms all read the one table each class publishes here.
#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "System.hpp"

namespace Classes { class TComponent; }

namespace TypInfo {

enum class TTypeKind { tkInteger, tkEnumeration, tkSet, tkClass, tkMethod, tkString };

struct TClassInfo;

// Whether a published property's value is written when a form is stored.
struct TStoredRule {
  std::string Predicate;  // empty: always stored
  std::function<bool(const System::TObject*)> IsStored;

  static TStoredRule Always() { return {}; }
  bool Stored(const System::TObject* Instance) const { return !IsStored || IsStored(Instance); }
};

struct TPropInfo {
  std::string Name;
  std::string TypeName;
  TTypeKind Kind = TTypeKind::tkInteger;
  // Values travel as std::any holding the property's own C++ type
  // (bool, int, an enumeration, a pointer to an object, an event).
  std::function<std::any(const System::TObject*)> Get;
  std::function<void(System::TObject*, const std::any&)> Set;  // empty: read-only
  std::optional<std::int64_t> Default;                          // declared default ordinal
  TStoredRule Stored;
  const TClassInfo* DeclaringClass = nullptr;

  // The value as form files see it, for the kinds that have such a view:
  // integers, enumerations and sets as ordinals (a set's bit n is its
  // element of ordinal n), strings as strings, objects as objects. Filled
  // by MakeProperty; empty where the kind has none or the property is
  // read-only.
  std::function<std::int64_t(const System::TObject*)> GetOrd;
  std::function<void(System::TObject*, std::int64_t)> SetOrd;
  std::function<std::string(const System::TObject*)> GetStr;
  std::function<void(System::TObject*, const std::string&)> SetStr;
  std::function<System::TObject*(const System::TObject*)> GetObject;
  // False when the object is not of the property's class.
  std::function<bool(System::TObject*, System::TObject*)> SetObject;
  // For an object property that may hold none, such as a reference the
  // holder does not own: makes an object of the property's class that the
  // holder keeps, for a stored form to be read into; SetObject then hands
  // it to the property.
  std::function<System::TObject*(System::TObject*)> Make;
};

struct TClassInfo {
  std::string ClassName;
  std::string UnitName;
  const TClassInfo* Parent = nullptr;
  // Stands in for the virtual constructor Create(AOwner); empty for classes
  // that are not components.
  std::function<Classes::TComponent*(Classes::TComponent* AOwner)> Create;
  // Properties this class declares in its own published section, in order.
  std::vector<TPropInfo> OwnProperties;

  // Appends properties to this class's own published section.
  TClassInfo& Publish(std::vector<TPropInfo> Properties);
  bool InheritsFrom(const TClassInfo& Other) const;
  // Every published property, the ancestors' first; a property declared
  // again by a descendant takes the place of the ancestor's entry.
  std::vector<const TPropInfo*> PublishedProperties() const;
  const TPropInfo* FindProperty(const std::string& Name) const;
};

// The class registry behind RegisterClass and FindClass.
void RegisterClass(const TClassInfo& Class);
void UnregisterClass(const TClassInfo& Class);
std::vector<const TClassInfo*> RegisteredClasses();
const TClassInfo* GetClass(const std::string& ClassName);
const TClassInfo& FindClass(const std::string& ClassName);  // raises EClassNotFound

class EClassNotFound : public System::Exception { using Exception::Exception; };

// Builds a property entry from a getter and a setter of class C. A read-only
// property passes nullptr as the setter.
template <class C, class T, class Getter, class Setter>
TPropInfo MakeProperty(std::string Name, std::string TypeName, TTypeKind Kind, Getter Get, Setter Set,
                       std::optional<std::int64_t> Default = std::nullopt,
                       TStoredRule Stored = TStoredRule::Always()) {
  TPropInfo Info;
  Info.Name = std::move(Name);
  Info.TypeName = std::move(TypeName);
  Info.Kind = Kind;
  Info.Get = [Get](const System::TObject* Object) -> std::any {
    return std::any(T((static_cast<const C*>(Object)->*Get)()));
  };
  if constexpr (!std::is_same_v<Setter, std::nullptr_t>) {
    Info.Set = [Set](System::TObject* Object, const std::any& Value) {
      (static_cast<C*>(Object)->*Set)(std::any_cast<T>(Value));
    };
  }
  if constexpr (std::is_integral_v<T> || std::is_enum_v<T>) {
    Info.GetOrd = [Get](const System::TObject* Object) {
      return std::int64_t(T((static_cast<const C*>(Object)->*Get)()));
    };
    if constexpr (!std::is_same_v<Setter, std::nullptr_t>)
      Info.SetOrd = [Set](System::TObject* Object, std::int64_t Value) { (static_cast<C*>(Object)->*Set)(T(Value)); };
  } else if constexpr (std::is_same_v<T, std::string>) {
    Info.GetStr = [Get](const System::TObject* Object) { return std::string((static_cast<const C*>(Object)->*Get)()); };
    if constexpr (!std::is_same_v<Setter, std::nullptr_t>)
      Info.SetStr = [Set](System::TObject* Object, const std::string& Value) { (static_cast<C*>(Object)->*Set)(Value); };
  } else if constexpr (std::is_pointer_v<T>) {
    Info.GetObject = [Get](const System::TObject* Object) -> System::TObject* {
      return (static_cast<const C*>(Object)->*Get)();
    };
    if constexpr (!std::is_same_v<Setter, std::nullptr_t>)
      Info.SetObject = [Set](System::TObject* Object, System::TObject* Value) {
        auto* Typed = dynamic_cast<T>(Value);
        if (Value && !Typed) return false;
        (static_cast<C*>(Object)->*Set)(Typed);
        return true;
      };
  }
  Info.Default = Default;
  Info.Stored = std::move(Stored);
  return Info;
}

// A published event: a public field of class C holding a std::function.
template <class C, class T>
TPropInfo MakeEventProperty(std::string Name, std::string TypeName, T C::*Field,
                            TStoredRule Stored = TStoredRule::Always()) {
  TPropInfo Info;
  Info.Name = std::move(Name);
  Info.TypeName = std::move(TypeName);
  Info.Kind = TTypeKind::tkMethod;
  Info.Get = [Field](const System::TObject* Object) -> std::any { return static_cast<const C*>(Object)->*Field; };
  Info.Set = [Field](System::TObject* Object, const std::any& Value) {
    static_cast<C*>(Object)->*Field = std::any_cast<T>(Value);
  };
  Info.Stored = std::move(Stored);
  return Info;
}

// The names of an ordinal type's values as form files write them: an
// enumeration's (or a set's elements') by ordinal, and the named values of
// an integer type (cursors: crDrag is -12). Registered once per type name.
void RegisterEnumNames(const std::string& TypeName, std::vector<std::string> Names);
const std::vector<std::string>* EnumNames(const std::string& TypeName);
// The ordinal of a named value, without regard to case.
std::optional<std::int64_t> EnumValue(const std::string& TypeName, const std::string& Name);
void RegisterIdents(const std::string& TypeName, std::vector<std::pair<std::int64_t, std::string>> Idents);
// The named values of an integer type, in the order registered.
std::vector<std::string> IdentNames(const std::string& TypeName);
std::optional<std::string> IntToIdent(const std::string& TypeName, std::int64_t Value);
std::optional<std::int64_t> IdentToInt(const std::string& TypeName, const std::string& Ident);

// A stored-rule from a predicate member function of class C.
template <class C>
TStoredRule StoredBy(std::string Name, bool (C::*Predicate)() const) {
  return {std::move(Name), [Predicate](const System::TObject* Object) -> bool {
            return (static_cast<const C*>(Object)->*Predicate)();
          }};
}

}  // namespace TypInfo
