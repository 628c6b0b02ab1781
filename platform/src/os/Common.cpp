// What both sides of the seam share: exported names as people read them
// (demangled, a constructor's or destructor's variants told apart), and
// sizes as people read them, names for temporary files.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cxxabi.h>
#include <map>
#include <memory>
#include <random>

#include "os/Os.hpp"

namespace Os {

namespace {

std::string Demangle(const char* Name) {
  int Status = 0;
  std::unique_ptr<char, void (*)(void*)> Plain(abi::__cxa_demangle(Name, nullptr, nullptr, &Status), std::free);
  return Status == 0 && Plain ? Plain.get() : Name;
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
  for (const std::string& Name : Mangled) ++Count[Plain.emplace_back(Demangle(Name.c_str()))];
  std::vector<std::string> Result;
  for (std::size_t I = 0; I < Mangled.size(); ++I)
    Result.push_back(Count[Plain[I]] == 1 ? Plain[I] : Plain[I] + " [" + Variant(Mangled[I]) + "]");
  return Result;
}

std::string ByteCount(std::uint64_t Count) { return std::to_string(Count) + (Count == 1 ? " byte" : " bytes"); }

std::string SizeText(std::uint64_t Bytes) {
  static const char* const Units[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
  int Unit = 0;
  double Value = double(Bytes);
  while (Value >= 1024 && Unit < 4) Value /= 1024, ++Unit;
  if (Unit == 0) return ByteCount(Bytes);
  char Text[32];
  if (Value == double(std::uint64_t(Value)))
    std::snprintf(Text, sizeof Text, "%llu %s", static_cast<unsigned long long>(Value), Units[Unit]);
  else
    std::snprintf(Text, sizeof Text, "%.1f %s", Value, Units[Unit]);
  return Text;
}

std::string TemporaryName(const std::string& Folder) {
  static std::mt19937_64 Random{std::random_device{}()};
  static const char Letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string Name = Folder + PathSeparators[0] + ".tessorin-";
  for (int I = 0; I < 10; ++I) Name += Letters[Random() % (sizeof Letters - 1)];
  return Name;
}

}  // namespace Os
