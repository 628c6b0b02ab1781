#include "System.hpp"

#include "TypInfo.hpp"

namespace System {

const TypInfo::TClassInfo& TObject::ClassInfo() {
  static const TypInfo::TClassInfo Info{"TObject", "System", nullptr, {}, {}};
  return Info;
}

const TypInfo::TClassInfo& TObject::ClassType() const { return ClassInfo(); }

std::string TObject::ClassName() const { return ClassType().ClassName; }

bool TObject::InheritsFrom(const TypInfo::TClassInfo& Class) const { return ClassType().InheritsFrom(Class); }

}  // namespace System
