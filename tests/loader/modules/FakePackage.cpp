// Modules for the loader's tests: a package named FAKE_NAME, whose
// resources the build embeds, with the entry points a package has.
#include "SysUtils.hpp"

#include "Export.hpp"

namespace {
const SysUtils::TUnitEntry Units[] = {{FAKE_NAME, nullptr, nullptr}};
const SysUtils::TPackageUnitTable Table{1, Units};
void Detach();
const void* Self() { return reinterpret_cast<const void*>(&Detach); }
__attribute__((constructor)) void Attach() { SysUtils::RegisterModule(Self()); }
__attribute__((destructor)) void Detach() { SysUtils::UnregisterModule(Self()); }
}  // namespace

extern "C" EXPORT const SysUtils::TPackageUnitTable* GetPackageInfoTable() { return &Table; }
extern "C" EXPORT void Initialize() { SysUtils::InitializePackage(Table); }
extern "C" EXPORT void Finalize() { SysUtils::FinalizePackage(Table); }
