// What the component publishes: its filter, and 24 of the image control's
// properties declared again, with the image control's accessors, defaults
// and storage rules.
#include "LvFltImg.hpp"

namespace LvFltImg {

using namespace TypInfo;

const TClassInfo& TLvFilterImage::ClassInfo() {
  static TClassInfo Info{"TLvFilterImage", "LvFltImg", &ExtCtrls::TImage::ClassInfo(),
                         [](Classes::TComponent* AOwner) { return new TLvFilterImage(AOwner); }, {}};
  static const bool Published = [] {
    std::vector<TPropInfo> Own{
        MakeProperty<TLvFilterImage, Graphics::TBitmap*>("FilterBitMap", "TBitmap", TTypeKind::tkClass,
                                                         &TLvFilterImage::FilterBitMap,
                                                         &TLvFilterImage::SetFilterBitMap)};
    // A stored form's filter is read into a bitmap the component keeps.
    Own[0].Make = [](System::TObject* Holder) -> System::TObject* {
      auto* Image = static_cast<TLvFilterImage*>(Holder);
      Image->FStoredFilter = std::make_unique<Graphics::TBitmap>();
      return Image->FStoredFilter.get();
    };
    for (const char* Name : {"Align", "AutoSize", "Center", "DragCursor", "DragMode", "Enabled",
                             "IncrementalDisplay", "ParentShowHint", "Picture", "PopupMenu", "ShowHint", "Stretch",
                             "Transparent", "Visible", "OnClick", "OnDblClick", "OnDragDrop", "OnDragOver",
                             "OnEndDrag", "OnMouseDown", "OnMouseMove", "OnMouseUp", "OnProgress", "OnStartDrag"})
      Own.push_back(*ExtCtrls::TImage::ClassInfo().FindProperty(Name));
    Info.Publish(std::move(Own));
    return true;
  }();
  (void)Published;
  return Info;
}

const TClassInfo& TLvFilterImage::ClassType() const { return ClassInfo(); }

}  // namespace LvFltImg
