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

// The units the environment keeps these graphic classes in.
const TypInfo::TClassInfo& TIcon::ClassInfo() {
  static const TypInfo::TClassInfo Info{"TIcon", "Graphics", &TGraphic::ClassInfo(), {}, {}};
  return Info;
}
const TypInfo::TClassInfo& TIcon::ClassType() const { return ClassInfo(); }

const TypInfo::TClassInfo& TJPEGImage::ClassInfo() {
  static const TypInfo::TClassInfo Info{"TJPEGImage", "jpeg", &TGraphic::ClassInfo(), {}, {}};
  return Info;
}
const TypInfo::TClassInfo& TJPEGImage::ClassType() const { return ClassInfo(); }

const TypInfo::TClassInfo& TPngImage::ClassInfo() {
  static const TypInfo::TClassInfo Info{"TPngImage", "pngimage", &TGraphic::ClassInfo(), {}, {}};
  return Info;
}
const TypInfo::TClassInfo& TPngImage::ClassType() const { return ClassInfo(); }

const TypInfo::TClassInfo& TPicture::ClassInfo() {
  static const TypInfo::TClassInfo Info{"TPicture", "Graphics", &Classes::TPersistent::ClassInfo(), {}, {}};
  return Info;
}
const TypInfo::TClassInfo& TPicture::ClassType() const { return ClassInfo(); }

}  // namespace Graphics
