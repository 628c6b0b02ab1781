// Small Windows modules made byte by byte: a DLL for the 386 with a code
// section and a data section that holds the export directory and the
// resource tree, laid out as a linker lays them out. The tests spoil them
// field by field; the fuzz seeds were made with it too.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "common/Bytes.hpp"

namespace PeBuilder {

using Bytes = std::vector<std::uint8_t>;

struct TExport {
  std::string Name;
  std::uint32_t Address = 0x1000;  // an address in the code section
  std::string Forwarder = {};      // "MODULE.Name": the address is that text's
};

struct TResource {
  std::uint16_t Type;
  std::string Name;  // "#<number>" or a name in capitals
  std::uint16_t Language;
  Bytes Data;
};

struct TModule {
  std::vector<TExport> Exports;
  std::vector<TResource> Resources;
};

// Where things are, for the tests that spoil them.
constexpr std::uint32_t HeadersSize = 0x400, CodeRva = 0x1000, DataRva = 0x2000, DataOffset = 0x600;
constexpr std::uint32_t NtAt = 0x80, OptionalAt = NtAt + 24, SectionsAt = OptionalAt + 224;

using TestBytes::Get32, TestBytes::Put16, TestBytes::Put32;

// The data section's contents, as offsets from its start.
class TData {
public:
  std::size_t Add(const Bytes& Data, std::size_t Align = 4) {
    FBytes.resize((FBytes.size() + Align - 1) / Align * Align);
    const std::size_t At = FBytes.size();
    FBytes.insert(FBytes.end(), Data.begin(), Data.end());
    return At;
  }
  std::size_t Text(const std::string& S) {
    Bytes Z(S.begin(), S.end());
    Z.push_back(0);
    return Add(Z, 1);
  }
  std::size_t Reserve(std::size_t Size) { return Add(Bytes(Size, 0)); }
  Bytes& Raw() { return FBytes; }

private:
  Bytes FBytes;
};

inline void AddExports(TData& Data, const std::vector<TExport>& Exports, Bytes& Image) {
  const std::size_t Directory = Data.Reserve(40);
  const std::size_t Count = Exports.size();
  const std::size_t Functions = Data.Reserve(4 * Count), Names = Data.Reserve(4 * Count),
                    Ordinals = Data.Reserve(2 * Count);
  const std::size_t DllName = Data.Text("TEST.DLL");
  for (std::size_t I = 0; I < Count; ++I) {
    Put32(Data.Raw(), Names + 4 * I, DataRva + std::uint32_t(Data.Text(Exports[I].Name)));
    Put16(Data.Raw(), Ordinals + 2 * I, std::uint32_t(I));
    const std::uint32_t Address = Exports[I].Forwarder.empty()
                                      ? Exports[I].Address
                                      : DataRva + std::uint32_t(Data.Text(Exports[I].Forwarder));
    Put32(Data.Raw(), Functions + 4 * I, Address);
  }
  const std::size_t End = Data.Raw().size();
  Bytes& D = Data.Raw();
  Put32(D, Directory + 12, DataRva + std::uint32_t(DllName));
  Put32(D, Directory + 16, 1);  // ordinal base
  Put32(D, Directory + 20, std::uint32_t(Count));
  Put32(D, Directory + 24, std::uint32_t(Count));
  Put32(D, Directory + 28, DataRva + std::uint32_t(Functions));
  Put32(D, Directory + 32, DataRva + std::uint32_t(Names));
  Put32(D, Directory + 36, DataRva + std::uint32_t(Ordinals));
  Put32(Image, OptionalAt + 96, DataRva + std::uint32_t(Directory));
  Put32(Image, OptionalAt + 100, std::uint32_t(End - Directory));
}

// Types, then names (named ones first, in order), then languages.
inline void AddResources(TData& Data, const std::vector<TResource>& Resources, Bytes& Image) {
  using TKey = std::tuple<bool, std::string, unsigned>;  // numbered, name, number
  auto Key = [](const std::string& Name) {
    return Name[0] == '#' ? TKey{true, "", unsigned(std::stoul(Name.substr(1)))} : TKey{false, Name, 0};
  };
  std::map<unsigned, std::map<TKey, std::map<unsigned, const TResource*>>> Tree;
  for (const TResource& R : Resources) Tree[R.Type][Key(R.Name)][R.Language] = &R;
  const std::size_t Root = Data.Reserve(0);
  auto Directory = [&](std::size_t Named, std::size_t Numbered) {
    const std::size_t At = Data.Reserve(16 + 8 * (Named + Numbered));
    Put16(Data.Raw(), At + 12, std::uint32_t(Named));
    Put16(Data.Raw(), At + 14, std::uint32_t(Numbered));
    return At;
  };
  auto Entry = [&](std::size_t Dir, std::size_t I, std::uint32_t Name, std::uint32_t Target) {
    Put32(Data.Raw(), Dir + 16 + 8 * I, Name);
    Put32(Data.Raw(), Dir + 20 + 8 * I, Target);
  };
  const std::size_t TypeDir = Directory(0, Tree.size());
  std::size_t T = 0;
  for (const auto& [Type, Names] : Tree) {
    std::size_t NamedCount = 0;
    for (const auto& [K, Languages] : Names) NamedCount += !std::get<0>(K);
    const std::size_t NameDir = Directory(NamedCount, Names.size() - NamedCount);
    Entry(TypeDir, T++, Type, 0x80000000u | std::uint32_t(NameDir - Root));
    std::size_t N = 0;
    for (const auto& [K, Languages] : Names) {
      const std::size_t LanguageDir = Directory(0, Languages.size());
      std::uint32_t NameField = std::get<2>(K);
      if (!std::get<0>(K)) {
        Bytes Units;
        Put16(Units, 0, std::uint32_t(std::get<1>(K).size()));
        for (char C : std::get<1>(K)) Put16(Units, Units.size(), std::uint8_t(C));
        NameField = 0x80000000u | std::uint32_t(Data.Add(Units, 2) - Root);
      }
      Entry(NameDir, N++, NameField, 0x80000000u | std::uint32_t(LanguageDir - Root));
      std::size_t L = 0;
      for (const auto& [Language, Resource] : Languages) {
        const std::size_t DataEntry = Data.Reserve(16);
        const std::size_t Bytes = Data.Add(Resource->Data);
        Put32(Data.Raw(), DataEntry, DataRva + std::uint32_t(Bytes));
        Put32(Data.Raw(), DataEntry + 4, std::uint32_t(Resource->Data.size()));
        Entry(LanguageDir, L++, Language, std::uint32_t(DataEntry - Root));
      }
    }
  }
  Put32(Image, OptionalAt + 96 + 16, DataRva + std::uint32_t(Root));
  Put32(Image, OptionalAt + 96 + 20, std::uint32_t(Data.Raw().size() - Root));
}

inline Bytes Build(const TModule& Module) {
  Bytes Image(HeadersSize, 0);
  Put16(Image, 0, 0x5A4D);
  Put32(Image, 0x3C, NtAt);
  Put32(Image, NtAt, 0x00004550);
  Put16(Image, NtAt + 4, 0x014C);    // the 386
  Put16(Image, NtAt + 6, 2);         // sections
  Put16(Image, NtAt + 20, 224);      // optional header
  Put16(Image, NtAt + 22, 0x2102);   // executable, 32-bit, DLL
  Put16(Image, OptionalAt, 0x010B);  // PE32
  Put32(Image, OptionalAt + 28, 0x10000000);  // image base
  Put32(Image, OptionalAt + 32, 0x1000);      // section alignment
  Put32(Image, OptionalAt + 36, 0x200);       // file alignment
  Put32(Image, OptionalAt + 60, HeadersSize);
  Put32(Image, OptionalAt + 92, 16);          // data directories

  TData Data;
  if (!Module.Exports.empty()) AddExports(Data, Module.Exports, Image);
  if (!Module.Resources.empty()) AddResources(Data, Module.Resources, Image);
  if (Data.Raw().empty()) Data.Reserve(4);
  const std::uint32_t DataSize = std::uint32_t((Data.Raw().size() + 0x1FF) / 0x200 * 0x200);
  Put32(Image, OptionalAt + 56, DataRva + (DataSize + 0xFFF) / 0x1000 * 0x1000);  // size of image

  const struct {
    const char* Name;
    std::uint32_t Rva, Size, Offset, Flags;
  } Sections[] = {{".text", CodeRva, 0x200, 0x400, 0x60000020}, {".rdata", DataRva, DataSize, DataOffset, 0x40000040}};
  for (std::size_t I = 0; I < 2; ++I) {
    const std::size_t At = SectionsAt + 40 * I;
    for (std::size_t C = 0; Sections[I].Name[C]; ++C) Image[At + C] = std::uint8_t(Sections[I].Name[C]);
    Put32(Image, At + 8, Sections[I].Size);
    Put32(Image, At + 12, Sections[I].Rva);
    Put32(Image, At + 16, Sections[I].Size);
    Put32(Image, At + 20, Sections[I].Offset);
    Put32(Image, At + 36, Sections[I].Flags);
  }
  Image.resize(0x400, 0);
  Image.resize(0x600, 0);
  Image[0x400] = 0xC3;  // ret
  Data.Raw().resize(DataSize, 0);
  Image.insert(Image.end(), Data.Raw().begin(), Data.Raw().end());
  return Image;
}

}  // namespace PeBuilder
