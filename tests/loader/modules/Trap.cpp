// A package whose code, once run, leaves a mark: the file named by
// TESSORIN_TRAP. Inspecting it as data must leave none. It has no Register
// procedure.
#include <cstdio>
#include <cstdlib>

#include "SysUtils.hpp"

#include "Export.hpp"

namespace {
const SysUtils::TUnitEntry Units[] = {{"FakeTrap", nullptr, nullptr}};
const SysUtils::TPackageUnitTable Table{1, Units};
void Detach();
const void* Self() { return reinterpret_cast<const void*>(&Detach); }
__attribute__((constructor)) void Attach() {
  if (const char* Mark = std::getenv("TESSORIN_TRAP"))
    if (std::FILE* File = std::fopen(Mark, "w")) std::fclose(File);
  SysUtils::RegisterModule(Self());
}
__attribute__((destructor)) void Detach() { SysUtils::UnregisterModule(Self()); }
}  // namespace

extern "C" EXPORT const SysUtils::TPackageUnitTable* GetPackageInfoTable() { return &Table; }
extern "C" EXPORT void Initialize() { SysUtils::InitializePackage(Table); }
extern "C" EXPORT void Finalize() { SysUtils::FinalizePackage(Table); }
