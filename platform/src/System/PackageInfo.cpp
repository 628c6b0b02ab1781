// The PACKAGEINFO record: what a package requires and which units it holds.
// The loader reads it from modules it did not build, so the reader trusts
// nothing: it checks what is left before every read and refuses a count the
// remaining bytes could not hold before it reserves anything.
#include <algorithm>
#include <bit>
#include <cstdio>
#include <functional>
#include <string_view>

#include "SysUtils.hpp"
#include "os/Os.hpp"

namespace SysUtils {
namespace {

// Unit and package names are identifiers of at most this many characters.
constexpr std::size_t MaxNameLength = 255;
// The shortest entries: hash, one character and the NUL; unit entries add flags.
constexpr std::size_t MinRequiresEntry = 3;
constexpr std::size_t MinContainsEntry = 4;

char UpperAscii(char C) { return C >= 'a' && C <= 'z' ? char(C - 'a' + 'A') : C; }

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

class TRecordWriter {
public:
  void U8(std::uint8_t Value) { FBytes.push_back(Value); }
  void U32(std::uint32_t Value) {
    for (int Shift = 0; Shift < 32; Shift += 8) U8(std::uint8_t(Value >> Shift));
  }
  void Name(const std::string& Value) {
    U8(PackageNameHash(Value));
    FBytes.insert(FBytes.end(), Value.begin(), Value.end());
    U8(0);
  }
  std::vector<std::uint8_t> Take() { return std::move(FBytes); }

private:
  std::vector<std::uint8_t> FBytes;
};

class TRecordReader {
public:
  TRecordReader(std::span<const std::uint8_t> Data, const std::string& Where) : FData(Data), FWhere(Where) {}

  [[noreturn]] void Fail(const std::string& Fault) const { throw EPackageError(FWhere + ": " + Fault); }
  std::size_t Left() const { return FData.size() - FPos; }

  std::uint8_t U8(std::string_view What) {
    if (Left() < 1) Fail(std::string(What) + " truncated");
    return FData[FPos++];
  }
  std::uint32_t U32(std::string_view What) {
    if (Left() < 4) Fail(std::string(What) + " truncated");
    std::uint32_t Value = 0;
    for (int Shift = 0; Shift < 32; Shift += 8) Value |= std::uint32_t(FData[FPos++]) << Shift;
    return Value;
  }
  // A count of entries, each at least MinEntry bytes long.
  std::uint32_t Count(std::string_view What, std::size_t MinEntry) {
    const std::uint32_t Value = U32(What);
    if (Value > Left() / MinEntry)
      Fail(std::string(What) + " " + std::to_string(Value) + " is more than the remaining " + Os::ByteCount(Left()) +
           " can hold");
    return Value;
  }
  // A hash byte and the NUL-terminated name it must match.
  std::string Name(const std::string& What) {
    const std::uint8_t Hash = U8(What + " hash");
    const std::size_t Limit = std::min(Left(), MaxNameLength + 1);
    std::size_t Length = 0;
    while (Length < Limit && FData[FPos + Length] != 0) ++Length;
    if (Length == Limit)
      Fail(What + (Limit == Left() ? " name not terminated" : " name longer than 255 characters"));
    if (Length == 0) Fail(What + " name empty");
    std::string Result(reinterpret_cast<const char*>(&FData[FPos]), Length);
    FPos += Length + 1;
    if (HasControlByte(Result)) Fail(What + " name \"" + PrintableText(Result) + "\" holds control bytes");
    if (Hash != PackageNameHash(Result))
      Fail(What + " \"" + PrintableText(Result) + "\" hash " + std::to_string(Hash) + " does not match its name");
    return Result;
  }

private:
  std::span<const std::uint8_t> FData;
  const std::string& FWhere;
  std::size_t FPos = 0;
};

}  // namespace

// Names compare without regard to case, so the hash works on upper case:
// start at 0, and for each byte rotate left by one bit and XOR in the byte.
std::uint8_t PackageNameHash(const std::string& Name) {
  std::uint8_t Hash = 0;
  for (const char C : Name) Hash = std::uint8_t(std::rotl(Hash, 1) ^ std::uint8_t(UpperAscii(C)));
  return Hash;
}

std::vector<std::uint8_t> EncodePackageInfo(const TPackageInfo& Info) {
  // A name the reader would refuse is refused here, so every record written
  // reads back as it was given.
  for (std::size_t I = 0; I < Info.Requires.size(); ++I)
    CheckName(Info.Requires[I], "required package " + std::to_string(I));
  for (std::size_t I = 0; I < Info.Contains.size(); ++I) CheckName(Info.Contains[I].Name, "unit " + std::to_string(I));

  CheckFlags(Info.Flags, [](const std::string& Fault) { throw EPackageError("package information: " + Fault); });

  TRecordWriter Out;
  Out.U32(Info.Flags);
  Out.U32(std::uint32_t(Info.Requires.size()));
  for (const std::string& Name : Info.Requires) Out.Name(Name);
  Out.U32(std::uint32_t(Info.Contains.size()));
  for (const TPackageUnit& Unit : Info.Contains) {
    Out.U8(Unit.Flags);
    Out.Name(Unit.Name);
  }
  return Out.Take();
}

TPackageInfo DecodePackageInfo(std::span<const std::uint8_t> Data, const std::string& Where) {
  TRecordReader In(Data, Where);
  TPackageInfo Info;
  // A tool shows the flags as facts about the package, so they must be ones
  // the framework defines, and agree.
  Info.Flags = In.U32("flags");
  CheckFlags(Info.Flags, [&](const std::string& Fault) { In.Fail(Fault); });
  const std::uint32_t RequiresCount = In.Count("requires count", MinRequiresEntry);
  Info.Requires.reserve(RequiresCount);
  for (std::uint32_t I = 0; I < RequiresCount; ++I)
    Info.Requires.push_back(In.Name("required package " + std::to_string(I)));
  const std::uint32_t ContainsCount = In.Count("contains count", MinContainsEntry);
  Info.Contains.reserve(ContainsCount);
  for (std::uint32_t I = 0; I < ContainsCount; ++I) {
    TPackageUnit Unit;
    Unit.Flags = In.U8("unit " + std::to_string(I) + " flags");
    Unit.Name = In.Name("unit " + std::to_string(I));
    Info.Contains.push_back(std::move(Unit));
  }
  if (In.Left() != 0) In.Fail(Os::ByteCount(In.Left()) + " after the record");
  return Info;
}

}  // namespace SysUtils
