// Class information of the Controls, Forms and Menus units.
#include "Controls.hpp"
#include "Forms.hpp"
#include "Menus.hpp"

using namespace TypInfo;

namespace Controls {

const TClassInfo& TSizeConstraints::ClassInfo() {
  static const TClassInfo Info{"TSizeConstraints", "Controls", &Classes::TPersistent::ClassInfo(), {}, {}};
  return Info;
}
const TClassInfo& TSizeConstraints::ClassType() const { return ClassInfo(); }

const TClassInfo& TControl::ClassInfo() {
  static TClassInfo Info{"TControl", "Controls", &Classes::TComponent::ClassInfo(),
                         [](Classes::TComponent* AOwner) { return new TControl(AOwner); }, {}};
  // The names stored forms write for the values of the unit's types.
  static const bool Named = [] {
    RegisterEnumNames("TAlign", {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient"});
    RegisterEnumNames("TAnchors", {"akLeft", "akTop", "akRight", "akBottom"});
    RegisterEnumNames("TDragMode", {"dmManual", "dmAutomatic"});
    RegisterEnumNames("TDragKind", {"dkDrag", "dkDock"});
    RegisterIdents("TCursor", {{crDefault, "crDefault"}, {crArrow, "crArrow"}, {crCross, "crCross"},
                               {crDrag, "crDrag"}, {crHandPoint, "crHandPoint"}});
    return true;
  }();
  (void)Named;
  static const bool Published = (Info.Publish({
      MakeProperty<TControl, int>("Left", "Integer", TTypeKind::tkInteger, &TControl::Left, &TControl::SetLeft),
      MakeProperty<TControl, int>("Top", "Integer", TTypeKind::tkInteger, &TControl::Top, &TControl::SetTop),
      MakeProperty<TControl, int>("Width", "Integer", TTypeKind::tkInteger, &TControl::Width, &TControl::SetWidth),
      MakeProperty<TControl, int>("Height", "Integer", TTypeKind::tkInteger, &TControl::Height,
                                  &TControl::SetHeight),
      MakeProperty<TControl, TCursor>("Cursor", "TCursor", TTypeKind::tkInteger, &TControl::Cursor,
                                      &TControl::SetCursor, crDefault),
      MakeProperty<TControl, std::string>("Hint", "string", TTypeKind::tkString, &TControl::Hint,
                                          &TControl::SetHint),
  }), true);
  (void)Published;
  return Info;
}
const TClassInfo& TControl::ClassType() const { return ClassInfo(); }

const TClassInfo& TWinControl::ClassInfo() {
  static const TClassInfo Info{"TWinControl", "Controls", &TControl::ClassInfo(),
                               [](Classes::TComponent* AOwner) { return new TWinControl(AOwner); }, {}};
  return Info;
}
const TClassInfo& TWinControl::ClassType() const { return ClassInfo(); }

const TClassInfo& TGraphicControl::ClassInfo() {
  static const TClassInfo Info{"TGraphicControl", "Controls", &TControl::ClassInfo(),
                               [](Classes::TComponent* AOwner) { return new TGraphicControl(AOwner); }, {}};
  return Info;
}
const TClassInfo& TGraphicControl::ClassType() const { return ClassInfo(); }

}  // namespace Controls

namespace Forms {

const TClassInfo& TCustomForm::ClassInfo() {
  static const TClassInfo Info{"TCustomForm", "Forms", &Controls::TWinControl::ClassInfo(),
                               [](Classes::TComponent* AOwner) { return new TCustomForm(AOwner); }, {}};
  return Info;
}
const TClassInfo& TCustomForm::ClassType() const { return ClassInfo(); }

const TClassInfo& TForm::ClassInfo() {
  static const TClassInfo Info{"TForm", "Forms", &TCustomForm::ClassInfo(),
                               [](Classes::TComponent* AOwner) { return new TForm(AOwner); }, {}};
  return Info;
}
const TClassInfo& TForm::ClassType() const { return ClassInfo(); }

}  // namespace Forms

namespace Menus {

const TClassInfo& TPopupMenu::ClassInfo() {
  static const TClassInfo Info{"TPopupMenu", "Menus", &Classes::TComponent::ClassInfo(),
                               [](Classes::TComponent* AOwner) { return new TPopupMenu(AOwner); }, {}};
  return Info;
}
const TClassInfo& TPopupMenu::ClassType() const { return ClassInfo(); }

void TPopupMenu::Popup(int, int) {
  ++FPopups;
  if (OnPopup) OnPopup(this);
}

}  // namespace Menus
