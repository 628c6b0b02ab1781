// Class information of the Controls, Forms and Menus units.
#include "Controls.hpp"
#include "Forms.hpp"
#include "Menus.hpp"

using namespace TypInfo;

namespace Controls {

namespace {

// A size as a stored form sets it. A form's client area must be one its
// surface can hold, and a control no larger than a form can show, within
// the limits every bitmap keeps; a size past them is refused and the old
// one kept. Code may still size either freely: a hidden form needs no surface.
TPropInfo Bounded(TPropInfo Info) {
  Info.SetOrd = [Set = Info.SetOrd](System::TObject* Object, std::int64_t Value) {
    auto& Control = *static_cast<TControl*>(Object);
    const Graphics::TRect Before = Control.BoundsRect();
    Set(Object, Value);
    const bool Form = dynamic_cast<const Forms::TCustomForm*>(&Control);
    const std::int64_t Width = Form ? Control.ClientWidth() : Control.Width();
    const std::int64_t Height = Form ? Control.ClientHeight() : Control.Height();
    const Graphics::TImageLimits Limits = Graphics::GetImageLimits();
    if (Width <= Limits.MaxSide && Height <= Limits.MaxSide && std::uint64_t(Width * Height) <= Limits.MaxPixels)
      return;
    Control.SetBounds(Before.Left, Before.Top, Before.Width(), Before.Height());
    throw Classes::EComponentError(std::string(Form ? "a client area of " : "") + std::to_string(Width) + " x " +
                                   std::to_string(Height) + " pixels is larger than a form can show (" +
                                   std::to_string(Limits.MaxSide) + " pixels a side, " +
                                   std::to_string(Limits.MaxPixels) + " in all)");
  };
  return Info;
}

}  // namespace

const TClassInfo& TSizeConstraints::ClassInfo() {
  static TClassInfo Info{"TSizeConstraints", "Controls", &Classes::TPersistent::ClassInfo(), {}, {}};
  static const bool Published = (Info.Publish({
      MakeProperty<TSizeConstraints, int>("MaxHeight", "TConstraintSize", TTypeKind::tkInteger,
                                          &TSizeConstraints::MaxHeight, &TSizeConstraints::SetMaxHeight, 0),
      MakeProperty<TSizeConstraints, int>("MaxWidth", "TConstraintSize", TTypeKind::tkInteger,
                                          &TSizeConstraints::MaxWidth, &TSizeConstraints::SetMaxWidth, 0),
      MakeProperty<TSizeConstraints, int>("MinHeight", "TConstraintSize", TTypeKind::tkInteger,
                                          &TSizeConstraints::MinHeight, &TSizeConstraints::SetMinHeight, 0),
      MakeProperty<TSizeConstraints, int>("MinWidth", "TConstraintSize", TTypeKind::tkInteger,
                                          &TSizeConstraints::MinWidth, &TSizeConstraints::SetMinWidth, 0),
  }), true);
  (void)Published;
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
    // crSizeAll before crSize, its old name: -22 is written as crSizeAll.
    RegisterIdents("TCursor", {{crDefault, "crDefault"}, {crNone, "crNone"}, {crArrow, "crArrow"},
                               {crCross, "crCross"}, {crIBeam, "crIBeam"}, {crSizeAll, "crSizeAll"},
                               {crSize, "crSize"}, {crSizeNESW, "crSizeNESW"}, {crSizeNS, "crSizeNS"},
                               {crSizeNWSE, "crSizeNWSE"}, {crSizeWE, "crSizeWE"}, {crUpArrow, "crUpArrow"},
                               {crHourGlass, "crHourGlass"}, {crDrag, "crDrag"}, {crNoDrop, "crNoDrop"},
                               {crHSplit, "crHSplit"}, {crVSplit, "crVSplit"}, {crMultiDrag, "crMultiDrag"},
                               {crSQLWait, "crSQLWait"}, {crNo, "crNo"}, {crAppStart, "crAppStart"},
                               {crHelp, "crHelp"}, {crHandPoint, "crHandPoint"}});
    return true;
  }();
  (void)Named;
  static const bool Published = (Info.Publish({
      MakeProperty<TControl, int>("Left", "Integer", TTypeKind::tkInteger, &TControl::Left, &TControl::SetLeft),
      MakeProperty<TControl, int>("Top", "Integer", TTypeKind::tkInteger, &TControl::Top, &TControl::SetTop),
      Bounded(MakeProperty<TControl, int>("Width", "Integer", TTypeKind::tkInteger, &TControl::Width,
                                          &TControl::SetWidth)),
      Bounded(MakeProperty<TControl, int>("Height", "Integer", TTypeKind::tkInteger, &TControl::Height,
                                          &TControl::SetHeight)),
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

// Made only by a reader keeping what it does not know, never found by name.
const TClassInfo& TPlaceholder::ClassInfo() {
  static const TClassInfo Info{"TPlaceholder", "Controls", &TWinControl::ClassInfo(),
                               [](Classes::TComponent* AOwner) { return new TPlaceholder(AOwner); }, {}};
  return Info;
}
const TClassInfo& TPlaceholder::ClassType() const { return ClassInfo(); }
namespace {
const bool PlaceholderRegistered = (Classes::RegisterPlaceholderClass(&TPlaceholder::ClassInfo()), true);
}

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

const TClassInfo& TApplication::ClassInfo() {
  static const TClassInfo Info{"TApplication", "Forms", &Classes::TComponent::ClassInfo(), {}, {}};
  return Info;
}
const TClassInfo& TApplication::ClassType() const { return ClassInfo(); }

const TClassInfo& TForm::ClassInfo() {
  using Controls::TControl;
  static TClassInfo Info{"TForm", "Forms", &TCustomForm::ClassInfo(),
                         [](Classes::TComponent* AOwner) { return new TForm(AOwner); }, {}};
  static const bool Named = [] {
    RegisterEnumNames("TBorderIcons", {"biSystemMenu", "biMinimize", "biMaximize", "biHelp"});
    RegisterEnumNames("TFormBorderStyle",
                      {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"});
    RegisterEnumNames("TPosition", {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly",
                                    "poScreenCenter", "poMainFormCenter", "poOwnerFormCenter"});
    RegisterEnumNames("TFormStyle", {"fsNormal", "fsMDIChild", "fsMDIForm", "fsStayOnTop"});
    RegisterEnumNames("TWindowState", {"wsNormal", "wsMinimized", "wsMaximized"});
    Graphics::RegisterGraphicsIdents();
    return true;
  }();
  (void)Named;
  constexpr auto Ordinal = TTypeKind::tkEnumeration;
  constexpr auto Integer = TTypeKind::tkInteger;
  const auto SizeStored = StoredBy<TCustomForm>("IsFormSizeStored", &TCustomForm::IsFormSizeStored);
  const auto ClientStored = StoredBy<TCustomForm>("IsClientSizeStored", &TCustomForm::IsClientSizeStored);
  static const bool Published = (Info.Publish({
      Controls::Bounded(MakeProperty<TControl, int>("Width", "Integer", Integer, &TControl::Width,
                                                    &TControl::SetWidth, std::nullopt, SizeStored)),
      Controls::Bounded(MakeProperty<TControl, int>("Height", "Integer", Integer, &TControl::Height,
                                                    &TControl::SetHeight, std::nullopt, SizeStored)),
      MakeProperty<TCustomForm, bool>("AutoScroll", "Boolean", Ordinal, &TCustomForm::AutoScroll,
                                      &TCustomForm::SetAutoScroll, 1),
      MakeProperty<TCustomForm, TBorderIcons>("BorderIcons", "TBorderIcons", TTypeKind::tkSet,
                                              &TCustomForm::BorderIcons, &TCustomForm::SetBorderIcons,
                                              1 << biSystemMenu | 1 << biMinimize | 1 << biMaximize),
      MakeProperty<TCustomForm, TFormBorderStyle>("BorderStyle", "TFormBorderStyle", Ordinal,
                                                  &TCustomForm::BorderStyle, &TCustomForm::SetBorderStyle,
                                                  bsSizeable),
      MakeProperty<TCustomForm, std::string>("Caption", "TCaption", TTypeKind::tkString, &TCustomForm::Caption,
                                             &TCustomForm::SetCaption),
      Controls::Bounded(MakeProperty<TCustomForm, int>("ClientHeight", "Integer", Integer, &TControl::ClientHeight,
                                                       &TCustomForm::SetClientHeight, std::nullopt, ClientStored)),
      Controls::Bounded(MakeProperty<TCustomForm, int>("ClientWidth", "Integer", Integer, &TControl::ClientWidth,
                                                       &TCustomForm::SetClientWidth, std::nullopt, ClientStored)),
      // A control's colour defaults to clWindow; a form starts at clBtnFace,
      // which is therefore stored.
      MakeProperty<TCustomForm, std::int32_t>("Color", "TColor", Integer, &TCustomForm::Color,
                                              &TCustomForm::SetColor, std::int32_t(Graphics::clWindow)),
      MakeProperty<TControl, bool>("Enabled", "Boolean", Ordinal, &TControl::Enabled, &TControl::SetEnabled, 1),
      MakeProperty<TCustomForm, Graphics::TFont*>("Font", "TFont", TTypeKind::tkClass, &TCustomForm::Font,
                                                  &TCustomForm::SetFont),
      MakeProperty<TCustomForm, TFormStyle>("FormStyle", "TFormStyle", Ordinal, &TCustomForm::FormStyle,
                                            &TCustomForm::SetFormStyle, fsNormal),
      MakeProperty<TCustomForm, int>("HelpContext", "THelpContext", Integer, &TCustomForm::HelpContext,
                                     &TCustomForm::SetHelpContext, 0),
      MakeProperty<TCustomForm, bool>("KeyPreview", "Boolean", Ordinal, &TCustomForm::KeyPreview,
                                      &TCustomForm::SetKeyPreview, 0),
      MakeProperty<TCustomForm, bool>("OldCreateOrder", "Boolean", Ordinal, &TCustomForm::OldCreateOrder,
                                      &TCustomForm::SetOldCreateOrder),
      // Stored last, with TextHeight, as a defined property.
      MakeProperty<TCustomForm, int>("PixelsPerInch", "Integer", Integer, &TCustomForm::PixelsPerInch,
                                     &TCustomForm::SetPixelsPerInch, std::nullopt,
                                     {"False", [](const System::TObject*) { return false; }}),
      MakeProperty<TControl, Menus::TPopupMenu*>("PopupMenu", "TPopupMenu", TTypeKind::tkClass,
                                                 &TControl::PopupMenu, &TControl::SetPopupMenu),
      MakeProperty<TCustomForm, TPosition>("Position", "TPosition", Ordinal, &TCustomForm::Position,
                                           &TCustomForm::SetPosition, poDesigned),
      MakeProperty<TCustomForm, bool>("Scaled", "Boolean", Ordinal, &TCustomForm::Scaled, &TCustomForm::SetScaled,
                                      1),
      MakeProperty<TControl, bool>("ShowHint", "Boolean", Ordinal, &TControl::ShowHint, &TControl::SetShowHint,
                                   std::nullopt, StoredBy<TControl>("IsShowHintStored", &TControl::IsShowHintStored)),
      MakeProperty<TCustomForm, bool>("Visible", "Boolean", Ordinal, &TCustomForm::StoredVisible,
                                      &TCustomForm::SetStoredVisible, 0),
      MakeProperty<TCustomForm, TWindowState>("WindowState", "TWindowState", Ordinal, &TCustomForm::WindowState,
                                              &TCustomForm::SetWindowState, wsNormal),
      MakeEventProperty<TCustomForm>("OnActivate", "TNotifyEvent", &TCustomForm::OnActivate),
      MakeEventProperty<TControl>("OnClick", "TNotifyEvent", &TControl::OnClick),
      MakeEventProperty<TCustomForm>("OnClose", "TCloseEvent", &TCustomForm::OnClose),
      MakeEventProperty<TCustomForm>("OnCloseQuery", "TCloseQueryEvent", &TCustomForm::OnCloseQuery),
      MakeEventProperty<TCustomForm>("OnCreate", "TNotifyEvent", &TCustomForm::OnCreate),
      MakeEventProperty<TControl>("OnDblClick", "TNotifyEvent", &TControl::OnDblClick),
      MakeEventProperty<TCustomForm>("OnDeactivate", "TNotifyEvent", &TCustomForm::OnDeactivate),
      MakeEventProperty<TCustomForm>("OnDestroy", "TNotifyEvent", &TCustomForm::OnDestroy),
      MakeEventProperty<TCustomForm>("OnHide", "TNotifyEvent", &TCustomForm::OnHide),
      MakeEventProperty<TCustomForm>("OnKeyDown", "TKeyEvent", &TCustomForm::OnKeyDown),
      MakeEventProperty<TCustomForm>("OnKeyPress", "TKeyPressEvent", &TCustomForm::OnKeyPress),
      MakeEventProperty<TCustomForm>("OnKeyUp", "TKeyEvent", &TCustomForm::OnKeyUp),
      MakeEventProperty<TControl>("OnMouseDown", "TMouseEvent", &TControl::OnMouseDown),
      MakeEventProperty<TControl>("OnMouseMove", "TMouseMoveEvent", &TControl::OnMouseMove),
      MakeEventProperty<TControl>("OnMouseUp", "TMouseEvent", &TControl::OnMouseUp),
      MakeEventProperty<TCustomForm>("OnPaint", "TNotifyEvent", &TCustomForm::OnPaint),
      MakeEventProperty<TCustomForm>("OnResize", "TNotifyEvent", &TCustomForm::OnResize),
      MakeEventProperty<TCustomForm>("OnShow", "TNotifyEvent", &TCustomForm::OnShow),
  }), true);
  (void)Published;
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
