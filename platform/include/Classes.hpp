// The Classes unit: persistent objects, components and their ownership,
// class registration and the component palette.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "System.hpp"
#include "TypInfo.hpp"

namespace Classes {

class EStreamError : public System::Exception { using Exception::Exception; };
class EFOpenError : public EStreamError { using EStreamError::EStreamError; };
class EReadError : public EStreamError { using EStreamError::EStreamError; };
class EWriteError : public EStreamError { using EStreamError::EStreamError; };
class EComponentError : public System::Exception { using Exception::Exception; };

class TPersistent : public System::TObject {
public:
  static const TypInfo::TClassInfo& ClassInfo();
  const TypInfo::TClassInfo& ClassType() const override;
  // Takes on the content of Source; raises EConvertError when this class
  // does not know how.
  virtual void Assign(const TPersistent* Source);
};

class EConvertError : public System::Exception { using Exception::Exception; };

enum class TOperation { opInsert, opRemove };

class TComponent : public TPersistent {
public:
  explicit TComponent(TComponent* AOwner);
  // Destroys every component it owns, then leaves its own owner's list.
  ~TComponent() override;
  static const TypInfo::TClassInfo& ClassInfo();
  const TypInfo::TClassInfo& ClassType() const override;

  TComponent* Owner() const { return FOwner; }
  const std::string& Name() const { return FName; }
  void SetName(const std::string& Value);
  long Tag() const { return FTag; }
  void SetTag(long Value) { FTag = Value; }
  int ComponentCount() const { return int(FComponents.size()); }
  TComponent* Components(int Index) const;
  TComponent* FindComponent(const std::string& AName) const;

  // Asks to be told through Notification when AComponent is destroyed.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

protected:
  virtual void Notification(TComponent* AComponent, TOperation Operation);

private:
  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent);

  TComponent* FOwner = nullptr;
  std::string FName;
  long FTag = 0;
  std::vector<TComponent*> FComponents;       // owned: destroyed with this one
  std::vector<TComponent*> FFreeNotifies;     // told when this one goes
};

// Visits every component that exists, in no particular order.
void ForEachComponent(const std::function<void(const TComponent&)>& Visit);

using TComponentClass = const TypInfo::TClassInfo*;

// Puts the classes on the named page of the component palette, in order.
void RegisterComponents(const std::string& Page, std::initializer_list<TComponentClass> ComponentClasses);

struct TPalettePage {
  std::string Name;
  std::vector<TComponentClass> Classes;
};
// What the design host shows: the pages in order of first registration.
const std::vector<TPalettePage>& PalettePages();
void ClearPalette();
// Takes the class off every page; a page left empty goes.
void UnregisterComponentClass(TComponentClass Class);

using TypInfo::FindClass;
using TypInfo::GetClass;
using TypInfo::RegisterClass;

}  // namespace Classes
