// The binary resource-file layout that modules carry their resources in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <tuple>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "Classes.hpp"
#include "Resources.hpp"
#include "SysUtils.hpp"
#include "../fuzz/FuzzTargets.hpp"
#include "common/Seeds.hpp"

using namespace SysUtils;
using Bytes = std::vector<std::uint8_t>;

namespace {

std::vector<Windows::TResourceEntry> Entries(const std::vector<Tessorin::Resources::TResource>& Resources) {
  std::vector<Windows::TResourceEntry> Out;
  for (const auto& R : Resources) Out.push_back({R.Name, R.Type, R.Language, R.Data});
  return Out;
}

void ExpectSame(const std::vector<Windows::TResourceEntry>& A, const std::vector<Windows::TResourceEntry>& B) {
  ASSERT_EQ(A.size(), B.size());
  for (std::size_t I = 0; I < A.size(); ++I) {
    EXPECT_EQ(A[I].Name, B[I].Name) << I;
    EXPECT_EQ(A[I].Type, B[I].Type) << I;
    EXPECT_EQ(A[I].Language, B[I].Language) << I;
    EXPECT_TRUE(std::equal(A[I].Data.begin(), A[I].Data.end(), B[I].Data.begin(), B[I].Data.end())) << A[I].Name;
  }
}

// One entry, header field by field: type 10 (data), the given name.
Bytes Entry(const std::string& Name, const Bytes& Data) {
  Bytes Out;
  auto U16 = [&](unsigned V) { Out.insert(Out.end(), {std::uint8_t(V), std::uint8_t(V >> 8)}); };
  auto U32 = [&](std::uint32_t V) { U16(V & 0xFFFF), U16(V >> 16); };
  U32(std::uint32_t(Data.size()));
  U32(0);  // header size, set below
  U16(0xFFFF), U16(10);
  for (char C : Name) U16(std::uint8_t(C));
  U16(0);
  Out.resize((Out.size() + 3) & ~std::size_t(3));
  U32(0), U16(0x1030), U16(0x0409), U32(0), U32(0);
  Out[4] = std::uint8_t(Out.size());
  Out.insert(Out.end(), Data.begin(), Data.end());
  Out.resize((Out.size() + 3) & ~std::size_t(3));
  return Out;
}

}  // namespace

TEST(ResourceFile, TheModulesResourcesRoundTripBehindTheEmptyEntry) {
  const auto Resources = Tessorin::Resources::ModuleResources("options");
  const Bytes File = EncodeResources(Entries(Resources));
  const Bytes Empty = {0, 0, 0, 0, 0x20, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0,
                       0, 0, 0, 0, 0,    0, 0, 0, 0,    0,    0, 0, 0,    0,    0, 0};
  ASSERT_GE(File.size(), Empty.size());
  EXPECT_TRUE(std::equal(Empty.begin(), Empty.end(), File.begin()));
  EXPECT_EQ(File.size() % 4, 0u);
  ExpectSame(DecodeResources(File, "file"), Entries(Resources));
  EXPECT_EQ(ResourceTypeName(Windows::RT_GROUP_ICON), "GROUP_ICON");
  EXPECT_EQ(ResourceTypeName(Windows::RT_VERSION), "VERSION");
  EXPECT_EQ(ResourceTypeName(99), "#99");
}

TEST(ResourceFile, WindowsResourceToolsReadIt) {
  if (std::system("command -v i686-w64-mingw32-windres >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "no windres (mingw-w64) here";
  const auto Owned = Tessorin::Resources::ModuleResources("options");
  const auto Resources = Entries(Owned);
  const std::string In = testing::TempDir() + "/in.res", Out = testing::TempDir() + "/out.res";
  Classes::WriteFileBytes(In, EncodeResources(Resources));
  // windres reads the file and writes its own: the same resources come back.
  ASSERT_EQ(std::system(("i686-w64-mingw32-windres -J res -O res -i " + In + " -o " + Out).c_str()), 0);
  const Bytes Written = Classes::ReadFileBytes(Out);
  // windres orders them its own way.
  auto Sorted = [](std::vector<Windows::TResourceEntry> List) {
    std::sort(List.begin(), List.end(), [](const auto& A, const auto& B) {
      return std::tie(A.Type, A.Name, A.Language) < std::tie(B.Type, B.Name, B.Language);
    });
    return List;
  };
  ExpectSame(Sorted(DecodeResources(Written, "windres")), Sorted(Resources));
}

TEST(ResourceFile, RefusesMalformedFiles) {
  const Bytes Good = Entry("NAME", {1, 2, 3, 4, 5});
  ASSERT_EQ(DecodeResources(Good, "good").at(0).Data.size(), 5u);
  for (std::size_t Size = 1; Size < Good.size() - 3; ++Size)
    EXPECT_THROW(DecodeResources({Good.data(), Size}, "cut"), EPackageError) << "cut to " << Size;

  struct TCase {
    std::size_t Offset;  // of a byte changed to Value
    std::uint8_t Value;
    std::string Fault;
  } const Cases[] = {
      {0, 200, "offset 40: truncated resource data"},
      {4, 4, "entry header size 4 out of bounds"},
      {4, 200, "entry header size 200 out of bounds"},
      {4, 16, "offset 16: truncated entry header"},
      {12, 0x80, "not printable ASCII"},
      {12, 0, "an empty resource name"},
      {8, 'T', "named resource type"},
  };
  for (const TCase& C : Cases) {
    Bytes Data = Good;
    Data[C.Offset] = C.Value;
    if (C.Offset == 8) Data[9] = Data[10] = Data[11] = 0;  // the type as the string "T"
    try {
      DecodeResources(Data, "Tessorin.bpl");
      ADD_FAILURE() << "accepted; expected " << C.Fault;
    } catch (const EPackageError& E) {
      EXPECT_NE(std::string(E.what()).find("Tessorin.bpl: resources: "), std::string::npos) << E.what();
      EXPECT_NE(std::string(E.what()).find(C.Fault), std::string::npos) << E.what();
    }
  }
  // More entries than a module's resource directory can hold.
  Bytes Many;
  for (int I = 0; I < 65536; ++I) {
    const Bytes One = Entry("N", {});
    Many.insert(Many.end(), One.begin(), One.end());
  }
  EXPECT_THROW(DecodeResources(Many, "many"), EPackageError);
}

TEST(ModuleFile, FuzzSeedsRunCleanly) {
  Seeds::RunAll(Fuzz::ModuleFile, "ModuleFile");
}
