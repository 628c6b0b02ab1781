// The PACKAGEINFO record: what a package requires and which units it holds.
// The loader reads it from modules it did not build, so the reader trusts
// nothing: it reads through the bounded byte reader and refuses a count the
// remaining bytes could not hold before it reserves anything.
#include <algorithm>
#include <bit>
#include <cstdio>
#include <functional>
#include <string_view>

#include "SysUtils.hpp"

namespace SysUtils {
namespace {

// Unit and package names are identifiers of at most this many characters.
constexpr std::size_t MaxNameLength = 255;
// The shortest entries: hash, one character and the NUL; unit entries add flags.
constexpr std::size_t MinRequiresEntry = 3;
constexpr std::size_t MinContainsEntry = 4;

std::string Hex(std::uint32_t Value) {
  char Text[16];
  std::snprintf(Text, sizeof Text, "0x%X", Value);
  return Text;
}

bool HasControlByte(const std::string& Name) {
  return std::any_of(Name.begin(), Name.end(), [](char C) { return std::uint8_t(C) < 0x20 || C == 0x7F; });
}

void CheckName(const std::string& Name, const std::string& What) {
  if (Name.empty() || Name.size() > MaxNameLength || HasControlByte(Name))
    throw EPackageError("package information: " + What + " is not a name of 1 to 255 characters without control bytes");
}

// The flags the framework defines; a package is never both design-time and
// run-time only.
constexpr std::uint32_t KnownFlags = pfNeverBuild | pfDesignOnly | pfRunOnly | pfIgnoreDupUnits;

void CheckFlags(std::uint32_t Flags, const std::function<void(const std::string&)>& Fail) {
  if (Flags & ~KnownFlags) Fail("flags " + Hex(Flags) + " set bits no package has (" + Hex(Flags & ~KnownFlags) + ")");
  if ((Flags & pfDesignOnly) && (Flags & pfRunOnly)) Fail("flags " + Hex(Flags) + " say both design-time and run-time only");
}

// A count of entries, each at least MinEntry bytes long.
std::uint32_t ReadCount(TByteReader& In, const std::string& What, std::size_t MinEntry) {
  const std::uint32_t Value = In.U32(What);
  if (Value > In.Left() / MinEntry)
    In.Fail(What + " " + std::to_string(Value) + " is more than the remaining " + ByteCount(In.Left()) + " can hold");
  return Value;
}

// A hash byte and the NUL-terminated name it must match.
std::string ReadName(TByteReader& In, const std::string& What) {
  const std::uint8_t Hash = In.U8(What + " hash");
  const std::span<const std::uint8_t> Rest = In.Rest();
  const std::size_t Limit = std::min(Rest.size(), MaxNameLength + 1);
  std::size_t Length = 0;
  while (Length < Limit && Rest[Length] != 0) ++Length;
  if (Length == Limit) In.Fail(What + (Limit == Rest.size() ? " name not terminated" : " name longer than 255 characters"));
  if (Length == 0) In.Fail(What + " name empty");
  std::string Result(reinterpret_cast<const char*>(Rest.data()), Length);
  In.Skip(Length + 1);
  if (HasControlByte(Result)) In.Fail(What + " name \"" + PrintableText(Result) + "\" holds control bytes");
  if (Hash != PackageNameHash(Result))
    In.Fail(What + " \"" + PrintableText(Result) + "\" hash " + std::to_string(Hash) + " does not match its name");
  return Result;
}

void WriteName(TByteWriter& Out, const std::string& Name) {
  Out.U8(PackageNameHash(Name));
  Out.Bytes({reinterpret_cast<const std::uint8_t*>(Name.data()), Name.size()});
  Out.U8(0);
}

}  // namespace

// Names compare without regard to case, so the hash works on upper case:
// start at 0, and for each byte rotate left by one bit and XOR in the byte.
std::uint8_t PackageNameHash(const std::string& Name) {
  std::uint8_t Hash = 0;
  for (const char C : Name) Hash = std::uint8_t(std::rotl(Hash, 1) ^ std::uint8_t(UpperChar(C)));
  return Hash;
}

std::vector<std::uint8_t> EncodePackageInfo(const TPackageInfo& Info) {
  // A name the reader would refuse is refused here, so every record written
  // reads back as it was given.
  for (std::size_t I = 0; I < Info.Requires.size(); ++I)
    CheckName(Info.Requires[I], "required package " + std::to_string(I));
  for (std::size_t I = 0; I < Info.Contains.size(); ++I) CheckName(Info.Contains[I].Name, "unit " + std::to_string(I));

  CheckFlags(Info.Flags, [](const std::string& Fault) { throw EPackageError("package information: " + Fault); });

  TByteWriter Out;
  Out.U32(Info.Flags).U32(std::uint32_t(Info.Requires.size()));
  for (const std::string& Name : Info.Requires) WriteName(Out, Name);
  Out.U32(std::uint32_t(Info.Contains.size()));
  for (const TPackageUnit& Unit : Info.Contains) {
    Out.U8(Unit.Flags);
    WriteName(Out, Unit.Name);
  }
  return Out.Take();
}

TPackageInfo DecodePackageInfo(std::span<const std::uint8_t> Data, const std::string& Where) {
  TByteReader In(Data, Where, RaiseFault<EPackageError>);
  TPackageInfo Info;
  // A tool shows the flags as facts about the package, so they must be ones
  // the framework defines, and agree.
  Info.Flags = In.U32("flags");
  CheckFlags(Info.Flags, [&](const std::string& Fault) { In.Fail(Fault); });
  const std::uint32_t RequiresCount = ReadCount(In, "requires count", MinRequiresEntry);
  Info.Requires.reserve(RequiresCount);
  for (std::uint32_t I = 0; I < RequiresCount; ++I)
    Info.Requires.push_back(ReadName(In, "required package " + std::to_string(I)));
  const std::uint32_t ContainsCount = ReadCount(In, "contains count", MinContainsEntry);
  Info.Contains.reserve(ContainsCount);
  for (std::uint32_t I = 0; I < ContainsCount; ++I) {
    TPackageUnit Unit;
    Unit.Flags = In.U8("unit " + std::to_string(I) + " flags");
    Unit.Name = ReadName(In, "unit " + std::to_string(I));
    Info.Contains.push_back(std::move(Unit));
  }
  if (!In.AtEnd()) In.Fail(ByteCount(In.Left()) + " after the record");
  return Info;
}

}  // namespace SysUtils
