#include "Graphics.hpp"

namespace Graphics {

const TypInfo::TClassInfo& TGraphic::ClassInfo() {
  static const TypInfo::TClassInfo Info{"TGraphic", "Graphics", &Classes::TPersistent::ClassInfo(), {}, {}};
  return Info;
}
const TypInfo::TClassInfo& TGraphic::ClassType() const { return ClassInfo(); }

const TypInfo::TClassInfo& TBitmap::ClassInfo() {
  static const TypInfo::TClassInfo Info{"TBitmap", "Graphics", &TGraphic::ClassInfo(), {}, {}};
  return Info;
}
const TypInfo::TClassInfo& TBitmap::ClassType() const { return ClassInfo(); }

const TypInfo::TClassInfo& TPicture::ClassInfo() {
  static const TypInfo::TClassInfo Info{"TPicture", "Graphics", &Classes::TPersistent::ClassInfo(), {}, {}};
  return Info;
}
const TypInfo::TClassInfo& TPicture::ClassType() const { return ClassInfo(); }

}  // namespace Graphics
