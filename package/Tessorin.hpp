// The package unit Tessorin: the package's entry points.
#pragma once

#include "SysUtils.hpp"

#ifdef _WIN32
#define TESSORIN_EXPORT  // Tessorin.def lists the exports
#else
#define TESSORIN_EXPORT __attribute__((visibility("default")))
#endif

namespace Tessorin {

// The package's units in initialisation order: SysInit, Tessorin, LvFltImg.
TESSORIN_EXPORT const SysUtils::TPackageUnitTable* GetPackageInfoTable();
// Hands the table to the framework's package loader and unloader.
TESSORIN_EXPORT void PackageLoad();
TESSORIN_EXPORT void PackageUnload();

}  // namespace Tessorin

// The same entry points under the names the package loader looks up.
extern "C" {
TESSORIN_EXPORT const SysUtils::TPackageUnitTable* GetPackageInfoTable();
TESSORIN_EXPORT void Initialize();
TESSORIN_EXPORT void Finalize();
}
