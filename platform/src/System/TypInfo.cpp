#include "TypInfo.hpp"

#include <algorithm>
#include <map>

#include "SysUtils.hpp"

namespace TypInfo {

TClassInfo& TClassInfo::Publish(std::vector<TPropInfo> Properties) {
  for (TPropInfo& Property : Properties) {
    Property.DeclaringClass = this;
    OwnProperties.push_back(std::move(Property));
  }
  return *this;
}

bool TClassInfo::InheritsFrom(const TClassInfo& Other) const {
  for (const TClassInfo* Class = this; Class; Class = Class->Parent)
    if (Class == &Other) return true;
  return false;
}

std::vector<const TPropInfo*> TClassInfo::PublishedProperties() const {
  std::vector<const TPropInfo*> Result = Parent ? Parent->PublishedProperties() : std::vector<const TPropInfo*>{};
  for (const TPropInfo& Own : OwnProperties) {
    auto Same = std::find_if(Result.begin(), Result.end(), [&](const TPropInfo* P) { return P->Name == Own.Name; });
    if (Same != Result.end())
      *Same = &Own;
    else
      Result.push_back(&Own);
  }
  return Result;
}

const TPropInfo* TClassInfo::FindProperty(const std::string& Name) const {
  for (const TPropInfo* Prop : PublishedProperties())
    if (SysUtils::SameText(Prop->Name, Name)) return Prop;
  return nullptr;
}

namespace {
// Class names, like every name the framework looks up, ignore case.
struct TNoCase {
  bool operator()(const std::string& A, const std::string& B) const {
    return std::lexicographical_compare(A.begin(), A.end(), B.begin(), B.end(), [](char X, char Y) {
      return SysUtils::LowerChar(X) < SysUtils::LowerChar(Y);
    });
  }
};
std::map<std::string, const TClassInfo*, TNoCase>& Registry() {
  static std::map<std::string, const TClassInfo*, TNoCase> Classes;
  return Classes;
}
}  // namespace

void RegisterClass(const TClassInfo& Class) { Registry()[Class.ClassName] = &Class; }

void UnregisterClass(const TClassInfo& Class) {
  auto Found = Registry().find(Class.ClassName);
  if (Found != Registry().end() && Found->second == &Class) Registry().erase(Found);
}

std::vector<const TClassInfo*> RegisteredClasses() {
  std::vector<const TClassInfo*> Result;
  for (const auto& [Name, Class] : Registry()) Result.push_back(Class);
  return Result;
}

const TClassInfo* GetClass(const std::string& ClassName) {
  auto Found = Registry().find(ClassName);
  return Found == Registry().end() ? nullptr : Found->second;
}

const TClassInfo& FindClass(const std::string& ClassName) {
  if (const TClassInfo* Class = GetClass(ClassName)) return *Class;
  throw EClassNotFound("Class " + ClassName + " not found");
}

namespace {
struct TNames {
  std::map<std::string, std::vector<std::string>> Enums;
  std::map<std::string, std::vector<std::pair<std::int64_t, std::string>>> Idents;
};
TNames& Names() {
  static TNames TheNames{{{"Boolean", {"False", "True"}}}, {}};
  return TheNames;
}
}  // namespace

void RegisterEnumNames(const std::string& TypeName, std::vector<std::string> Values) {
  Names().Enums[TypeName] = std::move(Values);
}

const std::vector<std::string>* EnumNames(const std::string& TypeName) {
  auto Found = Names().Enums.find(TypeName);
  return Found == Names().Enums.end() ? nullptr : &Found->second;
}

std::optional<std::int64_t> EnumValue(const std::string& TypeName, const std::string& Name) {
  if (const auto* Values = EnumNames(TypeName))
    for (std::size_t I = 0; I < Values->size(); ++I)
      if (SysUtils::SameText((*Values)[I], Name)) return std::int64_t(I);
  return std::nullopt;
}

void RegisterIdents(const std::string& TypeName, std::vector<std::pair<std::int64_t, std::string>> Idents) {
  Names().Idents[TypeName] = std::move(Idents);
}

std::vector<std::string> IdentNames(const std::string& TypeName) {
  std::vector<std::string> Out;
  if (auto Found = Names().Idents.find(TypeName); Found != Names().Idents.end())
    for (const auto& Entry : Found->second) Out.push_back(Entry.second);
  return Out;
}

std::optional<std::string> IntToIdent(const std::string& TypeName, std::int64_t Value) {
  auto Found = Names().Idents.find(TypeName);
  if (Found != Names().Idents.end())
    for (const auto& [Number, Ident] : Found->second)
      if (Number == Value) return Ident;
  return std::nullopt;
}

std::optional<std::int64_t> IdentToInt(const std::string& TypeName, const std::string& Ident) {
  auto Found = Names().Idents.find(TypeName);
  if (Found != Names().Idents.end())
    for (const auto& [Number, Name] : Found->second)
      if (SysUtils::SameText(Name, Ident)) return Number;
  return std::nullopt;
}

}  // namespace TypInfo
