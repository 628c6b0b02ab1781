// The SysUtils unit: text and byte helpers every unit shares, the bounded
// byte reader and writer, package modules and their records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "System.hpp"
#include "Windows.hpp"

namespace SysUtils {

// ASCII letters in lower or upper case, every other byte as it is, as the
// framework changes the case of names whatever the user's locale.
constexpr char LowerChar(char C) { return C >= 'A' && C <= 'Z' ? char(C - 'A' + 'a') : C; }
constexpr char UpperChar(char C) { return C >= 'a' && C <= 'z' ? char(C - 'a' + 'A') : C; }
std::string LowerCase(std::string_view Text);
std::string UpperCase(std::string_view Text);

// Whether two texts are the same without regard to the case of ASCII
// letters, as the framework compares names.
inline bool SameText(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (std::size_t I = 0; I < A.size(); ++I)
    if (LowerChar(A[I]) != LowerChar(B[I])) return false;
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
// The same for at most the first Max bytes (whole characters), then
// "... (<size> bytes)" when there was more.
std::string PrintableText(std::string_view Text, std::size_t Max);

// UTF-8. The code point at Pos, moving Pos past it; for a byte that begins
// no well-formed sequence (an overlong form, a surrogate, a code point past
// U+10FFFF, a sequence cut short, a stray continuation byte)
// NoCodePoint, moving Pos past that byte alone. Pos must be inside Text.
constexpr char32_t NoCodePoint = 0xFFFFFFFF;
char32_t NextCodePoint(std::string_view Text, std::size_t& Pos);
// Code must be a code point (up to U+10FFFF).
void AppendUtf8(std::string& Out, char32_t Code);

// The program's arguments in UTF-8, its own name first: on Windows read
// again from the system's wide command line, so that a name outside the
// ANSI code page arrives whole; elsewhere argv as it is.
std::vector<std::string> CommandLineArguments(int argc, char** argv);
// Whether two file names (UTF-8) are the same name to the system's files:
// on Windows ignoring case as its file systems do, in every script;
// elsewhere byte for byte.
bool SameFileName(std::string_view A, std::string_view B);
// The system's own words for one of its error codes (errno on Linux,
// GetLastError on Windows), without a final full stop.
std::string SysErrorMessage(unsigned Error);
// The last component of a path: what follows the last of the system's path
// separators ('/' and, on Windows, '\\'), or all of it.
std::string ExtractFileName(std::string_view Path);
// Writes UTF-8 text to standard output (Stream 1) or standard error (2) as
// the system shows it: on Windows every character on a console, and to a
// file or pipe in the console's code page (UTF-8 where the user chose it);
// elsewhere the bytes as they are.
void WriteStandardText(int Stream, std::string_view Text);

// "1 byte", "200 bytes": a count of bytes as messages give it.
std::string ByteCount(std::uint64_t Count);
// "1.5 GiB", "200 bytes": a size as people read it.
std::string SizeText(std::uint64_t Bytes);

// ---- Bytes ------------------------------------------------------------------

// Values stored little- or big-endian at P, which must hold them.
constexpr std::uint16_t Le16(const std::uint8_t* P) { return std::uint16_t(P[0] | P[1] << 8); }
constexpr std::uint32_t Le32(const std::uint8_t* P) { return Le16(P) | std::uint32_t(Le16(P + 2)) << 16; }
constexpr std::uint64_t Le64(const std::uint8_t* P) { return Le32(P) | std::uint64_t(Le32(P + 4)) << 32; }
constexpr std::uint16_t Be16(const std::uint8_t* P) { return std::uint16_t(P[0] << 8 | P[1]); }
constexpr std::uint32_t Be32(const std::uint8_t* P) { return std::uint32_t(Be16(P)) << 16 | Be16(P + 2); }
constexpr std::uint64_t Be64(const std::uint8_t* P) { return std::uint64_t(Be32(P)) << 32 | Be32(P + 4); }

// A fault found in bytes from outside: what was read (Source: a file's
// name, or a record and the module holding it), where in it ("offset 12";
// empty when the fault is the whole's) and the fault itself.
struct TByteFault {
  std::string Source, Where, Fault;
  // The three joined by ": ", empty ones left out, as Classes::EReadError
  // joins its parts.
  std::string Message() const;
};
// Raises the exception a reader's owner wants for a fault; it never returns.
using TRaiseFault = void (*)(const TByteFault& Fault);
template <class E>
[[noreturn]] void RaiseFault(const TByteFault& Fault) {
  throw E(Fault.Message());
}

// A bounded cursor over bytes from outside. Every read checks what is left
// before it takes anything, and a read past the end raises
// "<source>: offset <n>: truncated <what>", n being the offset in the
// source at which the read began. A sub-range is a reader of its own over
// part of the bytes: it tells offsets in the whole source, and what it
// reads is named after it unless a read names itself. The bytes and Source
// must outlive the reader and every sub-range it hands out.
class TByteReader {
public:
  TByteReader(std::span<const std::uint8_t> Bytes, const std::string& Source, TRaiseFault Raise)
      : FBytes(Bytes), FSource(&Source), FRaise(Raise) {}
  TByteReader(std::span<const std::uint8_t>, std::string&&, TRaiseFault) = delete;

  const std::string& Source() const { return *FSource; }
  std::span<const std::uint8_t> Data() const { return FBytes; }
  std::size_t Size() const { return FBytes.size(); }
  std::size_t Position() const { return FPos; }
  std::size_t Left() const { return FBytes.size() - FPos; }
  bool AtEnd() const { return FPos == FBytes.size(); }
  // What is left, from the position to the end.
  std::span<const std::uint8_t> Rest() const { return FBytes.subspan(FPos); }
  // Whether Count bytes from Position lie in the range.
  bool Holds(std::uint64_t Position, std::uint64_t Count) const {
    return Position <= FBytes.size() && Count <= FBytes.size() - Position;
  }

  // Little-endian unless named otherwise.
  std::uint8_t U8(std::string_view What = {}) { return *Take(1, What); }
  std::uint16_t U16(std::string_view What = {}) { return Le16(Take(2, What)); }
  std::uint32_t U32(std::string_view What = {}) { return Le32(Take(4, What)); }
  std::uint64_t U64(std::string_view What = {}) { return Le64(Take(8, What)); }
  std::uint16_t U16Be(std::string_view What = {}) { return Be16(Take(2, What)); }
  std::uint32_t U32Be(std::string_view What = {}) { return Be32(Take(4, What)); }
  std::uint64_t U64Be(std::string_view What = {}) { return Be64(Take(8, What)); }
  std::span<const std::uint8_t> Bytes(std::uint64_t Count, std::string_view What = {}) {
    const std::uint8_t* At = Take(Count, What);
    return {At, std::size_t(Count)};
  }
  // The next Count bytes, leaving the position where it is.
  std::span<const std::uint8_t> Peek(std::uint64_t Count, std::string_view What = {}) const {
    if (Count > Left()) Truncated(FPos, What);
    return FBytes.subspan(FPos, std::size_t(Count));
  }
  void Skip(std::uint64_t Count, std::string_view What = {}) { Take(Count, What); }
  // Position may be the end itself.
  void Seek(std::uint64_t Position, std::string_view What = {}) {
    if (Position > FBytes.size()) Truncated(Position, What);
    FPos = std::size_t(Position);
  }
  // The next Count bytes as a sub-range named What, moving past them.
  TByteReader Sub(std::uint64_t Count, std::string_view What) {
    const std::size_t At = FPos;
    Take(Count, What);
    return {FBytes.subspan(At, std::size_t(Count)), *this, At, What};
  }
  // Count bytes at Position as a sub-range named What; the position stays.
  TByteReader Range(std::uint64_t Position, std::uint64_t Count, std::string_view What) const {
    if (!Holds(Position, Count)) Truncated(Position, What);
    return {FBytes.subspan(std::size_t(Position), std::size_t(Count)), *this, std::size_t(Position), What};
  }

  // "<source>: <fault>".
  [[noreturn]] void Fail(const std::string& Fault) const;
  // "<source>: offset <n>: <fault>", for a fault at Position in this range.
  [[noreturn]] void FailAt(std::uint64_t Position, const std::string& Fault) const;
  // "<source>: offset <n>: truncated <what>".
  [[noreturn]] void Truncated(std::uint64_t Position, std::string_view What = {}) const;

private:
  TByteReader(std::span<const std::uint8_t> Bytes, const TByteReader& Whole, std::size_t At, std::string_view What)
      : FBytes(Bytes), FSource(Whole.FSource), FRaise(Whole.FRaise), FBase(Whole.FBase + At), FWhat(What) {}
  const std::uint8_t* Take(std::uint64_t Count, std::string_view What) {
    if (Count > Left()) Truncated(FPos, What);
    const std::uint8_t* At = FBytes.data() + FPos;
    FPos += std::size_t(Count);
    return At;
  }

  std::span<const std::uint8_t> FBytes;
  const std::string* FSource;
  TRaiseFault FRaise;
  std::uint64_t FBase = 0;  // where the range begins in the source
  std::string FWhat;        // the sub-range's name
  std::size_t FPos = 0;
};

// Little-endian output (big-endian where named), reserved once where the
// size is known. Every call answers the writer, so that a record can be
// written as one chain with a comment per field.
class TByteWriter {
public:
  TByteWriter() = default;
  explicit TByteWriter(std::size_t Capacity) { FBytes.reserve(Capacity); }

  TByteWriter& U8(std::uint8_t V) {
    FBytes.push_back(V);
    return *this;
  }
  TByteWriter& U16(std::uint16_t V) { return U8(std::uint8_t(V)).U8(std::uint8_t(V >> 8)); }
  TByteWriter& U32(std::uint32_t V) { return U16(std::uint16_t(V)).U16(std::uint16_t(V >> 16)); }
  TByteWriter& U64(std::uint64_t V) { return U32(std::uint32_t(V)).U32(std::uint32_t(V >> 32)); }
  TByteWriter& U16Be(std::uint16_t V) { return U8(std::uint8_t(V >> 8)).U8(std::uint8_t(V)); }
  TByteWriter& U32Be(std::uint32_t V) { return U16Be(std::uint16_t(V >> 16)).U16Be(std::uint16_t(V)); }
  TByteWriter& U64Be(std::uint64_t V) { return U32Be(std::uint32_t(V >> 32)).U32Be(std::uint32_t(V)); }
  TByteWriter& Bytes(std::span<const std::uint8_t> Data) {
    FBytes.insert(FBytes.end(), Data.begin(), Data.end());
    return *this;
  }
  TByteWriter& Zeros(std::size_t Count) {
    FBytes.resize(FBytes.size() + Count);
    return *this;
  }
  // Zeros up to the next multiple of Boundary, counted from the start.
  TByteWriter& Align(std::size_t Boundary) { return Zeros((Boundary - FBytes.size() % Boundary) % Boundary); }
  // Overwrites what was written at At, such as a length known only at the end.
  void PutU16(std::size_t At, std::uint16_t V) {
    FBytes.at(At + 1) = std::uint8_t(V >> 8);
    FBytes[At] = std::uint8_t(V);
  }
  void PutU32(std::size_t At, std::uint32_t V) {
    PutU16(At + 2, std::uint16_t(V >> 16));
    PutU16(At, std::uint16_t(V));
  }

  std::size_t Size() const { return FBytes.size(); }
  const std::vector<std::uint8_t>& Data() const { return FBytes; }
  std::vector<std::uint8_t> Take() { return std::move(FBytes); }
  // Starts again, keeping the memory, as a writer that hands its bytes on does.
  void Clear() { FBytes.clear(); }

private:
  std::vector<std::uint8_t> FBytes;
};

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

// The largest file a reader takes in, module files and every other.
constexpr std::uint64_t MaxFileSize = std::uint64_t(1) << 30;

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

// The name a unit's Register procedure (Unit::Register()) is exported by,
// which a host looks up in a loaded package to register its components.
std::string RegisterProcName(std::string_view UnitName);

// Loads a package module: reads the file as data first and refuses anything
// that is not a complete package without running it, then loads it and the
// packages it requires, and initialises its units. Loading a loaded package
// again counts; each load wants its UnloadPackage. Raises EPackageError
// naming the file and the fault; nothing stays loaded then.
Windows::HMODULE LoadPackage(const std::string& FileName);
// Finalises the package's units on its last unload, has the units that
// registered its classes forget them, and unloads the module.
void UnloadPackage(Windows::HMODULE Module);
// Units above SysUtils that keep what a package's code registered hook into
// its unloading. A counter tells how many objects of the module's classes
// still live; while any do, the package is not unloaded. An unload
// procedure is told once its units are finalised, to forget what points
// into its code.
using TModuleObjectCounter = int (*)(Windows::HMODULE Module);
using TModuleUnloadProc = void (*)(Windows::HMODULE Module);
void AddModuleObjectCounter(TModuleObjectCounter Counter);
void AddModuleUnloadProc(TModuleUnloadProc Proc);
TPackageInfo GetPackageInfo(Windows::HMODULE Module);
// TModuleFile(FileName).Exports().
std::vector<std::string> ModuleExports(const std::string& FileName);
// An exported symbol of a loaded package, or nullptr.
void* GetProcAddress(Windows::HMODULE Module, const char* Name);

}  // namespace SysUtils
