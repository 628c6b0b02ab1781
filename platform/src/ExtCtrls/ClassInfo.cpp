// Class information of the ExtCtrls unit: what the image control publishes.
#include "ExtCtrls.hpp"

using namespace TypInfo;
using namespace Controls;

namespace ExtCtrls {

const TClassInfo& TImage::ClassInfo() {
  static TClassInfo Info{"TImage", "ExtCtrls", &TGraphicControl::ClassInfo(),
                         [](Classes::TComponent* AOwner) { return new TImage(AOwner); }, {}};
  constexpr auto Ordinal = TTypeKind::tkEnumeration;
  static const bool Published = (Info.Publish({
      MakeProperty<TControl, TAlign>("Align", "TAlign", Ordinal, &TControl::Align, &TControl::SetAlign, alNone),
      MakeProperty<TControl, TAnchors>("Anchors", "TAnchors", TTypeKind::tkSet, &TControl::Anchors,
                                       &TControl::SetAnchors, AnchorSet({akLeft, akTop})),
      MakeProperty<TImage, bool>("AutoSize", "Boolean", Ordinal, &TImage::AutoSize, &TImage::SetAutoSize, 0),
      MakeProperty<TImage, bool>("Center", "Boolean", Ordinal, &TImage::Center, &TImage::SetCenter, 0),
      MakeProperty<TControl, TSizeConstraints*>("Constraints", "TSizeConstraints", TTypeKind::tkClass,
                                                &TControl::Constraints, &TControl::SetConstraints),
      MakeProperty<TControl, TCursor>("DragCursor", "TCursor", TTypeKind::tkInteger, &TControl::DragCursor,
                                      &TControl::SetDragCursor, crDrag),
      MakeProperty<TControl, TDragKind>("DragKind", "TDragKind", Ordinal, &TControl::DragKind,
                                        &TControl::SetDragKind, dkDrag),
      MakeProperty<TControl, TDragMode>("DragMode", "TDragMode", Ordinal, &TControl::DragMode,
                                        &TControl::SetDragMode, dmManual),
      MakeProperty<TControl, bool>("Enabled", "Boolean", Ordinal, &TControl::Enabled, &TControl::SetEnabled, 1,
                                   StoredBy<TControl>("IsEnabledStored", &TControl::IsEnabledStored)),
      MakeProperty<TImage, bool>("IncrementalDisplay", "Boolean", Ordinal, &TImage::IncrementalDisplay,
                                 &TImage::SetIncrementalDisplay, 0),
      MakeProperty<TControl, bool>("ParentShowHint", "Boolean", Ordinal, &TControl::ParentShowHint,
                                   &TControl::SetParentShowHint, 1),
      MakeProperty<TImage, Graphics::TPicture*>("Picture", "TPicture", TTypeKind::tkClass, &TImage::Picture,
                                                &TImage::SetPicture),
      MakeProperty<TControl, Menus::TPopupMenu*>("PopupMenu", "TPopupMenu", TTypeKind::tkClass,
                                                 &TControl::PopupMenu, &TControl::SetPopupMenu),
      MakeProperty<TControl, bool>("ShowHint", "Boolean", Ordinal, &TControl::ShowHint, &TControl::SetShowHint,
                                   std::nullopt, StoredBy<TControl>("IsShowHintStored", &TControl::IsShowHintStored)),
      MakeProperty<TImage, bool>("Stretch", "Boolean", Ordinal, &TImage::Stretch, &TImage::SetStretch, 0),
      MakeProperty<TImage, bool>("Transparent", "Boolean", Ordinal, &TImage::Transparent, &TImage::SetTransparent,
                                 0),
      MakeProperty<TControl, bool>("Visible", "Boolean", Ordinal, &TControl::Visible, &TControl::SetVisible, 1,
                                   StoredBy<TControl>("IsVisibleStored", &TControl::IsVisibleStored)),
      MakeEventProperty<TControl>("OnClick", "TNotifyEvent", &TControl::OnClick,
                                  StoredBy<TControl>("IsOnClickStored", &TControl::IsOnClickStored)),
      MakeEventProperty<TControl>("OnDblClick", "TNotifyEvent", &TControl::OnDblClick),
      MakeEventProperty<TControl>("OnDragDrop", "TDragDropEvent", &TControl::OnDragDrop),
      MakeEventProperty<TControl>("OnDragOver", "TDragOverEvent", &TControl::OnDragOver),
      MakeEventProperty<TControl>("OnEndDock", "TEndDragEvent", &TControl::OnEndDock),
      MakeEventProperty<TControl>("OnEndDrag", "TEndDragEvent", &TControl::OnEndDrag),
      MakeEventProperty<TControl>("OnMouseDown", "TMouseEvent", &TControl::OnMouseDown),
      MakeEventProperty<TControl>("OnMouseMove", "TMouseMoveEvent", &TControl::OnMouseMove),
      MakeEventProperty<TControl>("OnMouseUp", "TMouseEvent", &TControl::OnMouseUp),
      MakeEventProperty<TImage>("OnProgress", "TProgressEvent", &TImage::OnProgress),
      MakeEventProperty<TControl>("OnStartDock", "TStartDockEvent", &TControl::OnStartDock),
      MakeEventProperty<TControl>("OnStartDrag", "TStartDragEvent", &TControl::OnStartDrag),
  }), true);
  (void)Published;
  return Info;
}
const TClassInfo& TImage::ClassType() const { return ClassInfo(); }

}  // namespace ExtCtrls
