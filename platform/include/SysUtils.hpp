// The SysUtils unit: package modules and their records.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "System.hpp"
#include "Windows.hpp"

namespace SysUtils {

// Whether two texts are the same without regard to the case of ASCII
// letters, as the framework compares names.
inline bool SameText(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (std::size_t I = 0; I < A.size(); ++I) {
    const auto Lower = [](char C) { return C >= 'A' && C <= 'Z' ? char(C - 'A' + 'a') : C; };
    if (Lower(A[I]) != Lower(B[I])) return false;
  }
  return true;
}

// Whether Text is an identifier: a letter or '_', then letters, digits and '_'.
inline bool IsValidIdent(std::string_view Text) {
  const auto Letter = [](char C) { return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || C == '_'; };
  if (Text.empty() || !Letter(Text[0])) return false;
  for (char C : Text)
    if (!Letter(C) && !(C >= '0' && C <= '9')) return false;
  return true;
}

// Text in a single-byte Windows code page (874, 1250 to 1258), as a file
// written before UTF-8 holds it, in UTF-8. A byte the code page leaves
// undefined is the character of its value. Raises System::Exception for
// a code page not among them.
std::string CodePageToUtf8(std::string_view Text, int CodePage);
bool IsSingleByteCodePage(int CodePage);
std::vector<int> SingleByteCodePages();
// Whether Text is well-formed UTF-8 throughout.
bool IsUtf8(std::string_view Text);

class EPackageError : public System::Exception { using Exception::Exception; };

// Text read from a module, such as a name or a key, as it may be shown on
// one line: UTF-8 as it is, but a backslash doubled, and control
// characters, line and paragraph separators, direction overrides and bytes
// that are not UTF-8 escaped (\x1B, \u202E).
std::string PrintableText(std::string_view Text);

// Package flags as PACKAGEINFO records them.
constexpr std::uint32_t pfNeverBuild = 0x1;
constexpr std::uint32_t pfDesignOnly = 0x2;
constexpr std::uint32_t pfRunOnly = 0x4;
constexpr std::uint32_t pfIgnoreDupUnits = 0x8;

// Unit flags.
constexpr std::uint8_t ufMainUnit = 0x01;
constexpr std::uint8_t ufPackageUnit = 0x02;
constexpr std::uint8_t ufWeakUnit = 0x04;
constexpr std::uint8_t ufOrgWeakUnit = 0x08;
constexpr std::uint8_t ufImplicitUnit = 0x10;

struct TPackageUnit {
  std::string Name;
  std::uint8_t Flags = 0;
  friend bool operator==(const TPackageUnit&, const TPackageUnit&) = default;
};

// A package's composition: what it requires and what units it contains.
struct TPackageInfo {
  std::uint32_t Flags = 0;
  std::vector<std::string> Requires;
  std::vector<TPackageUnit> Contains;
  friend bool operator==(const TPackageInfo&, const TPackageInfo&) = default;
};

// The PACKAGEINFO record: little-endian
//   u32 Flags; u32 RequiresCount; RequiresCount x { u8 Hash; NUL-terminated name }
//   u32 ContainsCount; ContainsCount x { u8 Flags; u8 Hash; NUL-terminated name }
// where Hash is PackageNameHash of the name.
std::uint8_t PackageNameHash(const std::string& Name);
std::vector<std::uint8_t> EncodePackageInfo(const TPackageInfo& Info);
// Raises EPackageError "<Where>: <fault>" on anything malformed.
TPackageInfo DecodePackageInfo(std::span<const std::uint8_t> Data, const std::string& Where);

// The version block (VS_VERSIONINFO) read back.
struct TFixedFileInfo {
  std::uint32_t Signature = 0, StrucVersion = 0;
  std::uint32_t FileVersionMS = 0, FileVersionLS = 0, ProductVersionMS = 0, ProductVersionLS = 0;
  std::uint32_t FileFlagsMask = 0, FileFlags = 0, FileOS = 0, FileType = 0, FileSubtype = 0;
  std::uint32_t FileDateMS = 0, FileDateLS = 0;
};
struct TVersionString {
  std::string Key, Value;
  friend bool operator==(const TVersionString&, const TVersionString&) = default;
};
struct TVersionInfo {
  TFixedFileInfo Fixed;
  std::string StringTableKey;                  // e.g. "042904E8"
  std::vector<TVersionString> Strings;         // in stored order
  std::vector<std::uint32_t> Translations;     // language in the low word, code page in the high
};
std::vector<std::uint8_t> EncodeVersionInfo(const TVersionInfo& Info);
// Raises EPackageError "<Where>: <fault>" on anything malformed.
TVersionInfo DecodeVersionInfo(std::span<const std::uint8_t> Data, const std::string& Where);

// ---- Resources --------------------------------------------------------------

// The binary resource-file layout that resource compilers write and Windows
// tools read (.res): a series of entries, each with a header (data size,
// header size, type and name as ordinals or UTF-16 strings, language) and
// its data, both padded to four bytes, after one empty entry. A module
// carries its resources as such a file.
std::vector<std::uint8_t> EncodeResources(std::span<const Windows::TResourceEntry> Entries);
// The entries' data point into Data. Raises EPackageError "<Where>: <fault>"
// on anything malformed.
std::vector<Windows::TResourceEntry> DecodeResources(std::span<const std::uint8_t> Data, const std::string& Where);
// "BITMAP", "ICON", "GROUP_ICON", "RCDATA", "VERSION" and the other standard
// types; "#<number>" for the rest.
std::string ResourceTypeName(std::uint16_t Type);

// A module file read as data, as a design host inspects a package: nothing
// in it runs. Raises Classes::EFOpenError when the file cannot be opened,
// and EPackageError naming the file and the fault when it is not a complete,
// well-formed module.
class TModuleFile {
public:
  explicit TModuleFile(const std::string& FileName);
  ~TModuleFile();
  TModuleFile(const TModuleFile&) = delete;
  TModuleFile& operator=(const TModuleFile&) = delete;

  const std::string& FileName() const { return FFileName; }
  // Data point into the mapped file and live as long as this object.
  const std::vector<Windows::TResourceEntry>& Resources() const { return FResources; }
  // The package information, or EPackageError "not a package" without one.
  TPackageInfo PackageInfo() const;
  // The exported names, demangled, each distinct entry once, in symbol
  // table order. Where several symbols demangle alike (a constructor or
  // destructor's variants), each says which it is in brackets.
  std::vector<std::string> Exports() const;
  // The file as a module handle that resource lookups accept: on Windows
  // the file loaded as a data file.
  Windows::HMODULE Handle() const;

private:
  struct TImage;
  std::string FFileName;
  std::unique_ptr<TImage> FImage;
  std::vector<Windows::TResourceEntry> FResources;
};

// ---- Package modules --------------------------------------------------------

// A package's table of units, in initialisation order. Either routine may
// be missing.
struct TUnitEntry {
  const char* Name;
  void (*Init)();
  void (*FInit)();
};
struct TPackageUnitTable {
  int UnitCount;
  const TUnitEntry* Units;
};
using TGetPackageInfoTable = const TPackageUnitTable* (*)();
using TPackageEntry = void (*)();

// The framework's list of modules. A module's entry point registers it on
// attach and unregisters it on detach.
struct TLibModule {
  Windows::HMODULE Instance = 0;
  Windows::HMODULE ResInstance = 0;  // the resource module, or Instance itself
  std::string FileName;
  std::string ResFileName;
  int LoadCount = 0;                 // LoadPackage calls not yet undone
};
// Called by a module's entry point: AddressInModule is any address inside
// the module. Reads the module's resources from its memory and looks for a
// resource module beside the module file, named after it with the user's
// language as the extension ("Tessorin.de_DE", then "Tessorin.de"), which
// is read as data and serves the resources instead.
void RegisterModule(const void* AddressInModule);
// Takes the module off the list and frees its resource module if that is
// a different module.
void UnregisterModule(const void* AddressInModule);
std::vector<TLibModule> LibModules();
// The module that serves Instance's resources.
Windows::HMODULE FindResourceHInstance(Windows::HMODULE Instance);

// The package loader and unloader the entry points Initialize and Finalize
// hand their table to: initialisation in table order, finalisation in
// reverse. Each run is written to the unit log.
void InitializePackage(const TPackageUnitTable& Table);
void FinalizePackage(const TPackageUnitTable& Table);
// "Initialize <unit>" and "Finalize <unit>" lines, oldest first.
std::vector<std::string> UnitLog();
void ClearUnitLog();

// Loads a package module: reads the file as data first and refuses anything
// that is not a complete package without running it, then loads it and the
// packages it requires, and initialises its units. Loading a loaded package
// again counts; each load wants its UnloadPackage. Raises EPackageError
// naming the file and the fault; nothing stays loaded then.
Windows::HMODULE LoadPackage(const std::string& FileName);
// Finalises the package's units on its last unload, forgets the classes it
// registered, and unloads the module.
void UnloadPackage(Windows::HMODULE Module);
TPackageInfo GetPackageInfo(Windows::HMODULE Module);
// TModuleFile(FileName).Exports().
std::vector<std::string> ModuleExports(const std::string& FileName);
// An exported symbol of a loaded package, or nullptr.
void* GetProcAddress(Windows::HMODULE Module, const char* Name);

}  // namespace SysUtils
