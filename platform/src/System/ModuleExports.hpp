// Exported names as people read them: demangled within a budget, a
// constructor's or destructor's variants told apart. Every module reader
// names its exports through here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace SysUtils {

// Demangled exported names, each distinct entry once: where several mangled
// names demangle alike (a constructor's or destructor's variants), each says
// which it is in brackets. A name that could demangle to more than
// DemangleBudget bytes is shown as it is, and so is every name once the
// module's names have printed 64 MiB together.
std::vector<std::string> NameExports(const std::vector<std::string>& Mangled);
constexpr std::uint64_t DemangleBudget = 1 << 20;
// At least as many bytes as the name can demangle to, worked out from the
// name alone; the demangler is asked only within the budget.
std::uint64_t DemangledBound(std::string_view Name);

}  // namespace SysUtils
