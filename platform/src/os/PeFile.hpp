// The module readers' old names, kept until fuzz/ names them where they now
// live, System/PeFile.hpp and System/ModuleExports.hpp: nothing here calls
// the system.
#pragma once

#include "System/ModuleExports.hpp"
#include "System/PeFile.hpp"

namespace Os {
namespace Pe = SysUtils::Pe;
using SysUtils::DemangleBudget;
using SysUtils::DemangledBound;
using SysUtils::NameExports;
}  // namespace Os
