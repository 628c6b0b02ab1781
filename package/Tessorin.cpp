#include "Tessorin.hpp"

#include "LvFltImg.hpp"

namespace Tessorin {

namespace {
const SysUtils::TUnitEntry Units[] = {
    {"SysInit", nullptr, nullptr},
    {"Tessorin", nullptr, nullptr},
    {"LvFltImg", &LvFltImg::Initialization, &LvFltImg::Finalization},
};
const SysUtils::TPackageUnitTable Table{int(std::size(Units)), Units};
}  // namespace

const SysUtils::TPackageUnitTable* GetPackageInfoTable() { return &Table; }
void PackageLoad() { SysUtils::InitializePackage(Table); }
void PackageUnload() { SysUtils::FinalizePackage(Table); }

}  // namespace Tessorin

const SysUtils::TPackageUnitTable* GetPackageInfoTable() { return Tessorin::GetPackageInfoTable(); }
void Initialize() { Tessorin::PackageLoad(); }
void Finalize() { Tessorin::PackageUnload(); }
