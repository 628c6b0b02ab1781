// The System unit: the root class and the exception hierarchy's base.
#pragma once

#include <exception>
#include <functional>
#include <string>

namespace TypInfo { struct TClassInfo; }

namespace System {

class TObject {
public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;

  static const TypInfo::TClassInfo& ClassInfo();
  // The class this object was created as; every class overrides it.
  virtual const TypInfo::TClassInfo& ClassType() const;
  std::string ClassName() const;
  bool InheritsFrom(const TypInfo::TClassInfo& Class) const;
};

class Exception : public std::exception {
public:
  explicit Exception(std::string Message) : FMessage(std::move(Message)) {}
  const std::string& Message() const noexcept { return FMessage; }
  const char* what() const noexcept override { return FMessage.c_str(); }

private:
  std::string FMessage;
};

class EOutOfMemory : public Exception { using Exception::Exception; };

using TNotifyEvent = std::function<void(TObject* Sender)>;

}  // namespace System
