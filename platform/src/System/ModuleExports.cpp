// Exported names demangled for people, within a budget worked out from each
// name before the demangler is asked.
#include "System/ModuleExports.hpp"

#include <cctype>
#include <cstdlib>
#include <cxxabi.h>
#include <map>
#include <memory>

namespace SysUtils {

namespace {

// The demangler prints a back-reference by printing again what it refers
// to, so a name of a few hundred bytes can demangle to gigabytes, and it
// takes as long as it prints. It cannot be stopped part way, so what it
// could print is bounded from the name alone before it is asked: no token
// prints more than MaxPerByte bytes for each of its own (the longest being
// "Ss", std::basic_string<...>), a constructor or destructor prints a name
// of at most the whole name again, and each back-reference at most what
// the rest can print: twice for a substitution, which only refers to what
// came before it; four times for a template parameter, which the demangler
// may follow into itself once; and for a pack expansion once for each
// element a pack can have. A name whose bound passes the budget is shown
// as it is.
constexpr std::uint64_t MaxPerByte = 36;
constexpr std::uint64_t Saturated = std::uint64_t(1) << 62;

bool IsSeqDigit(char C) { return (C >= '0' && C <= '9') || (C >= 'A' && C <= 'Z'); }

std::uint64_t Times(std::uint64_t Bound, std::uint64_t Factor) {
  return Bound > Saturated / Factor ? Saturated : Bound * Factor;
}

}  // namespace

std::uint64_t DemangledBound(std::string_view Name) {
  const std::uint64_t Length = Name.size();
  std::uint64_t Bound = Times(Length + 1, MaxPerByte);
  std::uint64_t Factor = 1;
  auto Refers = [&](std::size_t At, auto IsDigit) {  // <letter> [digits] _
    std::size_t End = At + 1;
    while (End < Name.size() && IsDigit(Name[End])) ++End;
    return End < Name.size() && Name[End] == '_';
  };
  // Every place where a token could start is counted, inside identifiers
  // too: counting too many only makes the bound larger.
  for (std::size_t I = 0; I < Name.size(); ++I) {
    const char C = Name[I], Next = I + 1 < Name.size() ? Name[I + 1] : '\0';
    if (C == 'S' && Refers(I, IsSeqDigit)) Factor = Times(Factor, 2);
    if (C == 'T' && Refers(I, [](char D) { return D >= '0' && D <= '9'; })) Factor = Times(Factor, 4);
    if ((C == 's' && (Next == 'Z' || Next == 'P')) || (C == 'D' && Next == 'p')) Factor = Times(Factor, Length + 1);
    if ((C == 'C' && ((Next >= '1' && Next <= '5') || Next == 'I')) || (C == 'D' && Next >= '0' && Next <= '5'))
      Bound += Length;
  }
  return Times(Bound, Factor);
}

namespace {

// What the demangled names of one module may print together: past it the
// rest are shown as they are.
constexpr std::uint64_t TotalDemangled = 64 << 20;

std::string Demangle(const std::string& Name, std::uint64_t& Printed) {
  if (DemangledBound(Name) > DemangleBudget || Printed > TotalDemangled) return Name;
  int Status = 0;
  std::unique_ptr<char, void (*)(void*)> Plain(abi::__cxa_demangle(Name.c_str(), nullptr, nullptr, &Status), std::free);
  if (Status != 0 || !Plain) return Name;
  std::string Result = Plain.get();
  Printed += Result.size();
  return Result;
}

// Which variant of a constructor or destructor a mangled name is: the
// marker follows the class's own name, just before its parameters.
std::string Variant(const std::string& Mangled) {
  static const std::pair<const char*, const char*> Markers[] = {
      {"C1E", "complete object"}, {"C2E", "base object"},     {"C3E", "allocating"},
      {"D0E", "deleting"},        {"D1E", "complete object"}, {"D2E", "base object"}};
  for (std::size_t At = 1; At + 3 <= Mangled.size(); ++At) {
    const char Before = Mangled[At - 1];
    if (!(std::isalpha(static_cast<unsigned char>(Before)) || Before == '_')) continue;
    for (const auto& [Marker, Label] : Markers)
      if (Mangled.compare(At, 3, Marker) == 0) return Label;
  }
  return Mangled;
}

}  // namespace

std::vector<std::string> NameExports(const std::vector<std::string>& Mangled) {
  std::vector<std::string> Plain;
  std::map<std::string, int> Count;
  std::uint64_t Printed = 0;
  for (const std::string& Name : Mangled) ++Count[Plain.emplace_back(Demangle(Name, Printed))];
  std::vector<std::string> Result;
  for (std::size_t I = 0; I < Mangled.size(); ++I)
    Result.push_back(Count[Plain[I]] == 1 ? Plain[I] : Plain[I] + " [" + Variant(Mangled[I]) + "]");
  return Result;
}

}  // namespace SysUtils
