// Windows modules read as data by the reader every system shares, on small
// modules made byte by byte and spoilt one field at a time.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>

#include "Graphics.hpp"
#include "PeBuilder.hpp"
#include "SysUtils.hpp"
#include "System/ModuleExports.hpp"
#include "System/PeFile.hpp"
#include "../fuzz/FuzzTargets.hpp"
#include "common/Seeds.hpp"

using PeBuilder::Bytes;

namespace {

PeBuilder::TModule Sample() {
  PeBuilder::TModule Module;
  Module.Exports = {{"_ZN8LvFltImg8RegisterEv"}, {"Plain", 0x1010}, {"Sleeper", 0, "KERNEL32.Sleep"}};
  Module.Resources = {{Windows::RT_BITMAP, "PICTURE", 0x0429, {1, 2, 3}},
                      {Windows::RT_BITMAP, "PICTURE", 0x0409, {4, 5}},
                      {Windows::RT_RCDATA, "#5", 0, {6}}};
  return Module;
}

struct TRead {
  std::vector<std::string> Exports;
  std::vector<Windows::TResourceEntry> Resources;
};

TRead Read(const Bytes& File) {
  const std::string Where = "test.bpl";
  const SysUtils::Pe::TReader Reader(File, SysUtils::Pe::TLayout::File, Where);
  return {SysUtils::Pe::ExportNames(Reader.Exports()), Reader.Resources()};
}

// Exponential when demangled: each level's template arguments name the
// level before twice.
std::string DoublingName(int Levels) {
  static const char Digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::string Name = "_Z1fIN1AIiiEE";
  for (int K = 0; K < Levels; ++K) {
    std::string Seq;
    for (int N = K;; N /= 36) {
      Seq.insert(Seq.begin(), Digits[N % 36]);
      if (N < 36) break;
    }
    Name += "NS_IS" + Seq + "_S" + Seq + "_EE";
  }
  return Name + "EvT_";
}

}  // namespace

TEST(PeFile, ExportsResourcesAndForwardersAsTheModuleHasThem) {
  // The resources' data are views into the module's bytes, which must outlive them.
  const Bytes Module = PeBuilder::Build(Sample());
  const TRead Got = Read(Module);
  EXPECT_EQ(Got.Exports,
            (std::vector<std::string>{"LvFltImg::Register()", "Plain", "Sleeper [forwarded to KERNEL32.Sleep]"}));
  // Types in order, languages in order; the data where the module keeps it.
  ASSERT_EQ(Got.Resources.size(), 3u);
  const std::tuple<std::uint16_t, std::string, std::uint16_t, Bytes> Expected[] = {
      {Windows::RT_BITMAP, "PICTURE", 0x0409, {4, 5}},
      {Windows::RT_BITMAP, "PICTURE", 0x0429, {1, 2, 3}},
      {Windows::RT_RCDATA, "#5", 0, {6}}};
  for (std::size_t I = 0; I < 3; ++I) {
    const auto& [Type, Name, Language, Data] = Expected[I];
    EXPECT_EQ(Got.Resources[I].Type, Type) << I;
    EXPECT_EQ(Got.Resources[I].Name, Name) << I;
    EXPECT_EQ(Got.Resources[I].Language, Language) << I;
    EXPECT_EQ(Bytes(Got.Resources[I].Data.begin(), Got.Resources[I].Data.end()), Data) << I;
  }
}

TEST(PeFile, RefusesWhatNoModuleHoldsInOneLineNamingTheFile) {
  using PeBuilder::Put32;
  // Each row spoils the sample, or builds one of its own, and names the fault.
  struct TCase {
    const char* What;
    std::function<Bytes()> Make;
    std::string Fault;
  };
  auto WithExport = [](PeBuilder::TExport Export) {
    return [Export] {
      PeBuilder::TModule Module = Sample();
      Module.Exports.push_back(Export);
      return PeBuilder::Build(Module);
    };
  };
  auto Spoilt = [](std::function<void(Bytes&)> Spoil) {
    return [Spoil] {
      Bytes File = PeBuilder::Build(Sample());
      Spoil(File);
      return File;
    };
  };
  // The export directory and the resource tree, as the builder lays them out.
  const std::size_t Exports = PeBuilder::DataOffset, Tree = [] {
    const Bytes File = PeBuilder::Build(Sample());
    return PeBuilder::DataOffset + PeBuilder::Get32(File, PeBuilder::OptionalAt + 112) - PeBuilder::DataRva;
  }();
  const TCase Cases[] = {
      {"an export at address 0", WithExport({"Zero", 0}), "the export Zero has no address"},
      {"an export in the headers", WithExport({"Head", 0x100}), "the export Head has its address in the headers"},
      {"an export past the image", WithExport({"Far", 0x100000}), "the export Far has its address past the end of the image"},
      {"an empty export name", WithExport({"", 0x1000}), "an empty exported name"},
      {"a newline in an export name", WithExport({"Two\nLines", 0x1000}),
       "an exported name holding control bytes: Two\\x0ALines"},
      {"an escape in an export name", WithExport({"\x1B[2J", 0x1000}), "holding control bytes: \\x1B[2J"},
      {"a forwarder naming no module", WithExport({"Odd", 0, "Sleep"}),
       "the export Odd forwards to Sleep, which names no MODULE.entry"},
      {"the name count past the end", Spoilt([&](Bytes& F) { Put32(F, Exports + 24, 0x10000); }),
       "the export name table runs past the end of its section"},
      {"a name pointer past the end", Spoilt([&](Bytes& F) { Put32(F, PeBuilder::Get32(F, Exports + 32) - PeBuilder::DataRva + PeBuilder::DataOffset, 0x7FFFFFF0); }),
       "an exported name lies in no section of the file"},
      {"an ordinal past the functions", Spoilt([&](Bytes& F) { Put32(F, Exports + 20, 0); }),
       "an exported name for a function the module does not have"},
      {"a resource tree that loops", Spoilt([&](Bytes& F) { Put32(F, Tree + 20, 0x80000000u); }),
       "resources: an entry at the wrong level of the directory"},
      {"resource data past its section", Spoilt([&](Bytes& F) {
         // Down the first entry of each level to the first data entry.
         auto First = [&](std::size_t Dir) { return Tree + (PeBuilder::Get32(F, Dir + 20) & 0x7FFFFFFFu); };
         Put32(F, First(First(First(Tree))) + 4, 0x100000);
       }),
       "resources: a resource's data runs past the end of its section"},
      {"a section past the file", Spoilt([](Bytes& F) { F.resize(F.size() - 1); }),
       "offset " + std::to_string(PeBuilder::DataOffset) + ": truncated section .rdata"},
      {"cut in the headers", Spoilt([](Bytes& F) { F.resize(0xC0); }),
       "offset " + std::to_string(PeBuilder::OptionalAt) + ": truncated optional header"},
  };
  for (const TCase& C : Cases) {
    try {
      Read(C.Make());
      ADD_FAILURE() << C.What << ": accepted";
    } catch (const SysUtils::EPackageError& E) {
      const std::string Message = E.Message();
      EXPECT_EQ(Message.rfind("test.bpl: ", 0), 0u) << C.What << ": " << Message;
      EXPECT_NE(Message.find(C.Fault), std::string::npos) << C.What << ": " << Message;
      EXPECT_EQ(Message.find_first_of("\n\r\x1B"), std::string::npos) << C.What << ": " << Message;
    }
  }
}

TEST(NameExports, ANameThatWouldDemangleBeyondTheBudgetIsShownAsItIs) {
  // Real names: the bound holds and leaves them demangled.
  const std::string Real[] = {
      "_ZN8LvFltImg14TLvFilterImageC1EPN7Classes10TComponentE",
      "_ZNSt3mapINSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEEiSt4lessIS5_ESaISt4pairIKS5_iEEEixERS9_",
      "_ZNSt6vectorIiSaIiEE12emplace_backIJiEEERiDpOT_", "_ZTSN8LvFltImg14TLvFilterImageE"};
  for (const std::string& Name : Real) {
    const std::string Shown = SysUtils::NameExports({Name}).front();
    EXPECT_NE(Shown, Name);
    EXPECT_LE(Shown.size(), SysUtils::DemangledBound(Name)) << Name;
  }
  // Each level adds 16 bytes to the name and doubles what it demangles to
  // every second level: 60 levels would print gigabytes. The bound says so
  // before the demangler is asked, so this returns at once.
  const std::string Deep = DoublingName(60);
  EXPECT_GT(SysUtils::DemangledBound(Deep), SysUtils::DemangleBudget);
  EXPECT_EQ(SysUtils::NameExports({Deep, "_ZN8LvFltImg8RegisterEv"}),
            (std::vector<std::string>{Deep, "LvFltImg::Register()"}));
}

TEST(PrintableText, EscapesWhatWouldChangeTheLine) {
  const std::pair<std::string, std::string> Cases[] = {
      {"Plain::Name(int)", "Plain::Name(int)"},
      {"caf\xC3\xA9", "caf\xC3\xA9"},                  // UTF-8 as it is
      {"a\nb\rc\x1B[0m\x7F", "a\\x0Ab\\x0Dc\\x1B[0m\\x7F"},
      {"\xFF\xC3", "\\xFF\\xC3"},                      // not UTF-8, and cut short
      {"\xC0\x80", "\\xC0\\x80"},                      // an overlong NUL
      {"\xE2\x80\xAEtxt.exe", "\\u202Etxt.exe"},        // a direction override
      {"\xC2\x85", "\\u0085"},                         // a C1 control
      {"back\\slash", "back\\\\slash"},
  };
  for (const auto& [Text, Shown] : Cases) EXPECT_EQ(SysUtils::PrintableText(Text), Shown) << Shown;
  // Cut to whole characters, the size told.
  EXPECT_EQ(SysUtils::PrintableText("ab\xC3\xA9", 3), "ab... (4 bytes)");
  EXPECT_EQ(SysUtils::PrintableText("ab\xC3\xA9", 4), "ab\xC3\xA9");
  EXPECT_EQ(SysUtils::PrintableText("\n\n\n", 2), "\\x0A\\x0A... (3 bytes)");
}

TEST(ModuleFilePe, FuzzSeedsRunCleanly) {
  Seeds::RunAll(Fuzz::ModuleFilePe, "ModuleFilePe");
}
