// The Menus unit: as much of a popup menu as a control's PopupMenu needs.
#pragma once

#include <string>
#include <vector>

#include "Classes.hpp"

namespace Menus {

class TPopupMenu : public Classes::TComponent {
public:
  using TComponent::TComponent;
  static const TypInfo::TClassInfo& ClassInfo();
  const TypInfo::TClassInfo& ClassType() const override;

  std::vector<std::string> Items;
  System::TNotifyEvent OnPopup;
  void Popup(int X, int Y);
  bool PoppedUp() const { return FPopups > 0; }

private:
  int FPopups = 0;
};

}  // namespace Menus
