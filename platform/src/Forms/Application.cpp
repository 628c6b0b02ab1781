#include <iostream>

#include "Forms.hpp"
#include "SysUtils.hpp"
#include "Windows.hpp"
#include "os/Os.hpp"

namespace Forms {

TApplication* TApplicationReference::operator->() const {
  // Made on first use and never destroyed: forms it owns may hold
  // components of packages that are gone by the time statics are.
  static TApplication* const The = new TApplication(nullptr);
  return The;
}

TApplication::TApplication(Classes::TComponent* AOwner) : TComponent(AOwner) {
  const std::string Program = Os::ModuleFileName(0);
  const std::string Base = Program.substr(Program.find_last_of(Os::PathSeparators) + 1);
  FTitle = Base.substr(0, Base.rfind('.'));
}

TApplication::~TApplication() = default;

void TApplication::Initialize() { HasWindows(); }

bool TApplication::HasWindows(std::string* Why) { return Os::OpenWindowSystem(Why); }
bool TApplication::HasDisplay(std::string* Why) { return Os::OpenDisplay(Why); }

void TApplication::SetMainForm(Classes::TComponent* Form) {
  FMainForm = dynamic_cast<TCustomForm*>(Form);
  if (FMainForm) FreeNotification(FMainForm);
}

void TApplication::Notification(Classes::TComponent* AComponent, Classes::TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == Classes::TOperation::opRemove && AComponent == FMainForm) FMainForm = nullptr;
}

void TApplication::Run() {
  if (!FMainForm) return;
  std::string Why;
  if (!HasWindows(&Why)) {
    const std::string Form = FMainForm->Caption().empty() ? FMainForm->Name() : FMainForm->Caption();
    throw Classes::EComponentError(Form + ": cannot show the form: " + Why);
  }
  FTerminated = false;
  FMainForm->Show();
  // A loop ends early when a modal form nested in it closes.
  do Os::RunMessageLoop();
  while (!FTerminated && FMainForm && FMainForm->Visible());
}

void TApplication::Terminate() {
  FTerminated = true;
  Os::QuitMessageLoop();
}

void TApplication::ProcessMessages() { Os::ProcessMessages(); }

void TApplication::HandleException(System::TObject* Sender, const std::exception& E) {
  if (OnException) OnException(Sender, E);
  else ShowException(E);
}

void TApplication::ShowException(const std::exception& E) {
  if (Windows::MessageBoxA(FMainForm && FMainForm->HandleAllocated() ? FMainForm->Handle() : 0, E.what(),
                           FTitle.c_str(), Windows::MB_OK | Windows::MB_ICONHAND) == 0)
    std::cerr << FTitle << ": " << E.what() << std::endl;
}

}  // namespace Forms
