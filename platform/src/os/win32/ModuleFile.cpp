// Module files as PE32 DLLs. The file is read as data first, every offset
// and size checked against it, so that a truncated or crafted file is
// refused before the system is asked to touch it. Only then is it loaded as
// a data file (nothing in it runs), and its resources are served by the
// system's resource calls, as everything else on Windows will look them up.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <exception>
#include <memory>

#include "SysUtils.hpp"
#include "os/Os.hpp"
#include "os/win32/Win32.hpp"

namespace Os {

namespace {

using SysUtils::EPackageError;

// Bounds on what a crafted file costs; each well past any real module.
constexpr std::uint32_t MaxExports = 1 << 20;
constexpr std::size_t MaxExportName = 4096;
constexpr std::size_t MaxExportText = 16 << 20;
// The loader refuses more.
constexpr std::size_t MaxSections = 96;
// Directories may share subdirectories, so a small file can describe a huge
// tree: the walk counts what it visits, not what the file holds.
constexpr std::size_t MaxResources = 65535;
constexpr std::size_t MaxResourceEntries = 3 * MaxResources;
constexpr std::size_t MaxResourceName = 4096;
constexpr std::size_t MaxResourceText = 16 << 20;
constexpr std::uint32_t HighBit = 0x80000000u;

template <class T>
bool Fetch(std::span<const std::uint8_t> In, std::uint64_t Offset, T& Value) {
  if (Offset > In.size() || In.size() - Offset < sizeof(T)) return false;
  std::memcpy(&Value, In.data() + Offset, sizeof(T));
  return true;
}

// How the bytes are laid out: a file as it lies on disk, sections at their
// raw offsets; or a module the loader mapped, sections at their addresses.
enum class TLayout { File, Image };

class TPeReader {
public:
  TPeReader(std::span<const std::uint8_t> Bytes, TLayout Layout, const std::string& Where)
      : FBytes(Bytes), FLayout(Layout), FWhere(Where) {}

  [[noreturn]] void Fail(const std::string& Fault) const { throw EPackageError(FWhere + ": " + Fault); }

  template <class T>
  T Read(std::uint64_t Offset, const char* What) const {
    T Value;
    if (!Fetch(FBytes, Offset, Value)) Fail(std::string("truncated: ") + What + " lies past the end of " + Extent());
    return Value;
  }

  // The headers and the section table. A file must be a DLL for this
  // processor; a module already loaded may be the program itself.
  void ReadHeaders() {
    const auto Dos = Read<IMAGE_DOS_HEADER>(0, "the DOS header");
    if (Dos.e_magic != IMAGE_DOS_SIGNATURE) Fail("not a module: no MZ signature");
    const std::uint64_t NtAt = std::uint32_t(Dos.e_lfanew);
    if (Read<DWORD>(NtAt, "the PE signature") != IMAGE_NT_SIGNATURE) Fail("not a module: no PE signature");
    const auto Header = Read<IMAGE_FILE_HEADER>(NtAt + 4, "the file header");
    if (FLayout == TLayout::File && Header.Machine != IMAGE_FILE_MACHINE_I386) Fail("built for another processor");
    const std::uint64_t OptionalAt = NtAt + 4 + sizeof(IMAGE_FILE_HEADER);
    if (Read<WORD>(OptionalAt, "the optional header") != IMAGE_NT_OPTIONAL_HDR32_MAGIC) Fail("not a 32-bit module");
    if (FLayout == TLayout::File && !(Header.Characteristics & IMAGE_FILE_DLL)) Fail("not a DLL");

    // The fixed part, then as many data directories as the header says it
    // has; the system reads them by that count, so they must be there.
    constexpr std::size_t Fixed = offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory);
    if (Header.SizeOfOptionalHeader < Fixed) Fail("the optional header is cut short");
    if (OptionalAt > FBytes.size() || FBytes.size() - OptionalAt < Fixed)
      Fail(std::string("truncated: the optional header lies past the end of ") + Extent());
    std::memcpy(&FOptional, FBytes.data() + OptionalAt, Fixed);
    const std::size_t Directories =
        std::min<std::size_t>(FOptional.NumberOfRvaAndSizes, IMAGE_NUMBEROF_DIRECTORY_ENTRIES);
    if (Header.SizeOfOptionalHeader < Fixed + Directories * sizeof(IMAGE_DATA_DIRECTORY))
      Fail("the optional header is shorter than its data directories");
    for (std::size_t I = 0; I < Directories; ++I)
      FOptional.DataDirectory[I] =
          Read<IMAGE_DATA_DIRECTORY>(OptionalAt + Fixed + I * sizeof(IMAGE_DATA_DIRECTORY), "a data directory");

    if (Header.NumberOfSections > MaxSections) Fail("more than " + std::to_string(MaxSections) + " sections");
    const std::uint64_t TableAt = OptionalAt + Header.SizeOfOptionalHeader;
    const std::uint64_t TableSize = std::uint64_t(Header.NumberOfSections) * sizeof(IMAGE_SECTION_HEADER);
    if (TableAt > FBytes.size() || FBytes.size() - TableAt < TableSize) Fail("the section table is cut short");
    FSections.resize(Header.NumberOfSections);
    std::memcpy(FSections.data(), FBytes.data() + TableAt, TableSize);
    for (const IMAGE_SECTION_HEADER& Section : FSections) {
      // The system finds a section by comparing 32-bit ends, which wrap.
      if (std::uint64_t(Section.VirtualAddress) + SectionSize(Section) > 0xFFFFFFFF)
        Fail("section " + SectionName(Section) + " reaches past the last address");
      if (FLayout == TLayout::File) {
        const std::uint64_t End = std::uint64_t(Section.PointerToRawData) + Section.SizeOfRawData;
        if (Section.SizeOfRawData && End > FBytes.size())
          Fail("truncated: section " + SectionName(Section) + " ends at byte " + std::to_string(End) +
               " but the file has " + std::to_string(FBytes.size()));
      } else if (std::uint64_t(Section.VirtualAddress) + SectionSize(Section) > FOptional.SizeOfImage) {
        Fail("section " + SectionName(Section) + " runs past the end of the image");
      }
    }
  }

  // A loaded module's bytes are its whole image; until its headers are read
  // only their page is known to be there.
  void ExtendToImage(const std::uint8_t* Base) { FBytes = {Base, FOptional.SizeOfImage}; }

  const IMAGE_DATA_DIRECTORY& Directory(unsigned Index) const { return FOptional.DataDirectory[Index]; }

  // Where the system finds a data directory. In a file it takes an address
  // below the headers' size as an offset into the file, whatever the
  // sections say; no module keeps a directory there.
  std::span<const std::uint8_t> DirectoryAt(unsigned Index, std::uint64_t Size, const std::string& What) const {
    const std::uint32_t Rva = FOptional.DataDirectory[Index].VirtualAddress;
    if (FLayout == TLayout::File && Rva < FOptional.SizeOfHeaders) Fail(What + " lies in the headers");
    return At(Rva, Size, What);
  }

  // The bytes from Rva to the end of the section holding it, of which at
  // least Size are wanted. An address the sections do not hold is nowhere:
  // that is how the system resolves it in a data file.
  std::span<const std::uint8_t> At(std::uint32_t Rva, std::uint64_t Size, const std::string& What) const {
    for (const IMAGE_SECTION_HEADER& Section : FSections) {
      const std::uint32_t Into = Rva - Section.VirtualAddress;
      if (Rva < Section.VirtualAddress || Into >= SectionSize(Section)) continue;
      // A section that is not readable is mapped with no access at all.
      if (FLayout == TLayout::Image && !(Section.Characteristics & IMAGE_SCN_MEM_READ))
        Fail(What + " lies in a section that cannot be read");
      const std::uint64_t Left = SectionSize(Section) - Into;
      if (Size > Left) Fail(What + " runs past the end of its section");
      const std::uint64_t Start = (FLayout == TLayout::File ? Section.PointerToRawData : Section.VirtualAddress);
      return FBytes.subspan(Start + Into, Left);
    }
    Fail(What + " lies in no section of " + Extent());
  }

private:
  const char* Extent() const { return FLayout == TLayout::File ? "the file" : "the image"; }
  std::uint64_t SectionSize(const IMAGE_SECTION_HEADER& Section) const {
    if (FLayout == TLayout::File || !Section.Misc.VirtualSize) return Section.SizeOfRawData;
    return Section.Misc.VirtualSize;
  }
  static std::string SectionName(const IMAGE_SECTION_HEADER& Section) {
    std::string Name;
    for (std::size_t I = 0; I < IMAGE_SIZEOF_SHORT_NAME && Section.Name[I]; ++I)
      Name += Section.Name[I] >= 0x20 && Section.Name[I] < 0x7F ? char(Section.Name[I]) : '?';
    return Name.empty() ? "(unnamed)" : Name;
  }

  std::span<const std::uint8_t> FBytes;
  TLayout FLayout;
  const std::string& FWhere;
  IMAGE_OPTIONAL_HEADER32 FOptional{};
  std::vector<IMAGE_SECTION_HEADER> FSections;
};

// The exported names in the order of the export name table. The ordinal
// and address tables are checked too: looking a name up in a module
// loaded later reads them.
std::vector<std::string> ReadExportNames(const TPeReader& Pe) {
  const IMAGE_DATA_DIRECTORY& Where = Pe.Directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
  if (!Where.VirtualAddress) return {};
  IMAGE_EXPORT_DIRECTORY Table{};
  Fetch(Pe.DirectoryAt(IMAGE_DIRECTORY_ENTRY_EXPORT, sizeof Table, "the export directory"), 0, Table);
  if (Table.NumberOfNames > MaxExports || Table.NumberOfFunctions > MaxExports)
    Pe.Fail("more exports than a module has");
  if (!Table.NumberOfNames) return {};
  const auto Names = Pe.At(Table.AddressOfNames, std::uint64_t(Table.NumberOfNames) * 4, "the export name table");
  const auto Ordinals =
      Pe.At(Table.AddressOfNameOrdinals, std::uint64_t(Table.NumberOfNames) * 2, "the export ordinal table");
  Pe.At(Table.AddressOfFunctions, std::uint64_t(Table.NumberOfFunctions) * 4, "the export address table");
  std::vector<std::string> Result;
  std::size_t Text = 0;
  for (std::uint32_t I = 0; I < Table.NumberOfNames; ++I) {
    DWORD NameRva = 0;
    WORD Ordinal = 0;
    Fetch(Names, std::uint64_t(I) * 4, NameRva);
    Fetch(Ordinals, std::uint64_t(I) * 2, Ordinal);
    if (Ordinal >= Table.NumberOfFunctions) Pe.Fail("an exported name for a function the module does not have");
    const auto Room = Pe.At(NameRva, 1, "an exported name");
    const char* Name = reinterpret_cast<const char*>(Room.data());
    const std::size_t Length = strnlen(Name, std::min(Room.size(), MaxExportName + 1));
    if (Length == Room.size()) Pe.Fail("an unterminated exported name");
    if (Length > MaxExportName) Pe.Fail("an exported name longer than " + std::to_string(MaxExportName) + " bytes");
    if ((Text += Length) > MaxExportText) Pe.Fail("more exported names than a module has");
    Result.emplace_back(Name, Length);
  }
  return Result;
}

// The resource directory: types, then names, then languages, each level a
// table of entries that the system searches by halving, so the entries must
// be in order. Everything the walk reads lies in the section holding the
// directory, where the system looks for it; the data may lie in any section.
// Types given by name are never listed, so only the bounds of what lies
// under them matter.
class TResourceCheck {
public:
  TResourceCheck(const TPeReader& Pe, std::span<const std::uint8_t> Tree) : FPe(Pe), FTree(Tree) {}

  void Directory(std::uint32_t Offset, int Level, bool Listed = true) {
    IMAGE_RESOURCE_DIRECTORY Header{};
    if (!Fetch(FTree, Offset, Header)) Fail("a directory runs past the end of its section");
    const std::uint64_t Count = std::uint64_t(Header.NumberOfNamedEntries) + Header.NumberOfIdEntries;
    if ((FEntries += Count) > MaxResourceEntries) Fail("more directory entries than a module has");
    std::u16string PreviousName;
    std::uint32_t PreviousId = 0;
    for (std::uint64_t I = 0; I < Count; ++I) {
      IMAGE_RESOURCE_DIRECTORY_ENTRY Entry{};
      if (!Fetch(FTree, Offset + sizeof Header + I * sizeof Entry, Entry))
        Fail("a directory's entries run past the end of its section");
      const bool Named = Entry.Name & HighBit;
      if (Named != (I < Header.NumberOfNamedEntries)) Fail("named and numbered entries out of order");
      if (Named) {
        if (Level == 2) Fail("a language given by name");
        std::u16string Name = ReadName(Entry.Name & ~HighBit, Listed && Level == 1);
        if (I > 0 && Name <= PreviousName) Fail("entries out of order");
        PreviousName = std::move(Name);
      } else {
        if (I > Header.NumberOfNamedEntries && Entry.Id <= PreviousId) Fail("entries out of order");
        PreviousId = Entry.Id;
      }
      const bool Subdirectory = Entry.OffsetToData & HighBit;
      if (Subdirectory != (Level < 2)) Fail("an entry at the wrong level of the directory");
      if (Subdirectory) {
        Directory(Entry.OffsetToData & ~HighBit, Level + 1, Listed && !(Level == 0 && Named));
        continue;
      }
      IMAGE_RESOURCE_DATA_ENTRY Data{};
      if (!Fetch(FTree, Entry.OffsetToData, Data)) Fail("a data entry runs past the end of its section");
      FPe.At(Data.OffsetToData, Data.Size, "resources: a resource's data");
      if (++FResources > MaxResources) Fail("more than " + std::to_string(MaxResources) + " resources");
    }
  }

private:
  [[noreturn]] void Fail(const std::string& Fault) const { FPe.Fail("resources: " + Fault); }

  // A resource's name must be one the system finds again: it looks names
  // up in capitals, and takes "#<number>" for a number.
  std::u16string ReadName(std::uint32_t Offset, bool ResourceName) {
    WORD Length = 0;
    if (!Fetch(FTree, Offset, Length)) Fail("a name runs past the end of its section");
    if (Length > MaxResourceName) Fail("a name longer than " + std::to_string(MaxResourceName) + " characters");
    if ((FText += Length) > MaxResourceText) Fail("more names than a module has");
    if (FTree.size() - Offset - sizeof Length < std::size_t(Length) * 2)
      Fail("a name runs past the end of its section");
    std::u16string Name(Length, u'\0');
    std::memcpy(Name.data(), FTree.data() + Offset + sizeof Length, std::size_t(Length) * 2);
    if (!ResourceName) return Name;
    if (Name.empty()) Fail("an empty resource name");
    for (char16_t C : Name)
      if (C < 0x20 || C > 0x7E) Fail("a resource name that is not printable ASCII");
    if (std::any_of(Name.begin(), Name.end(), [](char16_t C) { return C >= u'a' && C <= u'z'; }))
      Fail("a resource name in lower case");
    if (Name[0] == u'#') Fail("a resource name that begins with '#'");
    return Name;
  }

  const TPeReader& FPe;
  std::span<const std::uint8_t> FTree;
  std::uint64_t FEntries = 0, FResources = 0, FText = 0;
};

// Whether the module has resources; raises when their directory is damaged.
bool CheckResources(const TPeReader& Pe) {
  const IMAGE_DATA_DIRECTORY& Where = Pe.Directory(IMAGE_DIRECTORY_ENTRY_RESOURCE);
  if (!Where.VirtualAddress) return false;
  // The system takes a directory too small for its own header for none at all.
  if (Where.Size < sizeof(IMAGE_RESOURCE_DIRECTORY)) Pe.Fail("resources: the directory's size is too small");
  TResourceCheck(Pe, Pe.DirectoryAt(IMAGE_DIRECTORY_ENTRY_RESOURCE, sizeof(IMAGE_RESOURCE_DIRECTORY),
                                    "the resource directory"))
      .Directory(0, 0);
  return true;
}

// The headers of a module the loader mapped into this process.
TPeReader LoadedImage(const std::uint8_t* Base, const std::string& Where) {
  MEMORY_BASIC_INFORMATION Page;
  if (!::VirtualQuery(Base, &Page, sizeof Page) || Page.State != MEM_COMMIT ||
      (Page.Protect & (PAGE_NOACCESS | PAGE_GUARD)))
    throw EPackageError(Where + ": not a loaded module");
  const std::size_t Mapped = static_cast<const std::uint8_t*>(Page.BaseAddress) + Page.RegionSize - Base;
  TPeReader Pe({Base, Mapped}, TLayout::Image, Where);
  Pe.ReadHeaders();
  Pe.ExtendToImage(Base);
  return Pe;
}

// The system's enumeration calls back into code it does not unwind through,
// so the callbacks only collect; a failure to do so is rethrown afterwards.
template <class T>
struct TCollected {
  std::vector<T> Items;
  std::exception_ptr Error;
  BOOL Add(T Item) {
    try {
      Items.push_back(std::move(Item));
      return TRUE;
    } catch (...) {
      Error = std::current_exception();
      return FALSE;
    }
  }
};

struct TResourceName {
  std::string Name;  // "#<number>" or the name
  WORD Number = 0;   // when numbered
  bool Numbered = false;
  LPCSTR Key() const { return Numbered ? MAKEINTRESOURCEA(Number) : Name.c_str(); }
};

// Types given by name are not ones the framework uses; they are left out.
BOOL CALLBACK AddType(HMODULE, LPSTR Type, LONG_PTR Param) {
  if (!IS_INTRESOURCE(Type)) return TRUE;
  return reinterpret_cast<TCollected<WORD>*>(Param)->Add(WORD(reinterpret_cast<ULONG_PTR>(Type)));
}

BOOL CALLBACK AddName(HMODULE, LPCSTR, LPSTR Name, LONG_PTR Param) {
  auto& Names = *reinterpret_cast<TCollected<TResourceName>*>(Param);
  try {
    if (!IS_INTRESOURCE(Name)) return Names.Add({Name, 0, false});
    const WORD Number = WORD(reinterpret_cast<ULONG_PTR>(Name));
    return Names.Add({"#" + std::to_string(Number), Number, true});
  } catch (...) {
    Names.Error = std::current_exception();
    return FALSE;
  }
}

BOOL CALLBACK AddLanguage(HMODULE, LPCSTR, LPCSTR, WORD Language, LONG_PTR Param) {
  return reinterpret_cast<TCollected<WORD>*>(Param)->Add(Language);
}

// Runs one of the system's enumerations, handing it the collection. It
// answers FALSE both when it fails and when there is nothing to list; only
// a failure sets an error.
template <class T, class TCall>
std::vector<T> Collect(TCall Call, const std::string& Where, const char* What) {
  TCollected<T> Collected;
  ::SetLastError(ERROR_SUCCESS);
  const BOOL Done = Call(reinterpret_cast<LONG_PTR>(&Collected));
  if (Collected.Error) std::rethrow_exception(Collected.Error);
  const DWORD Error = ::GetLastError();
  if (!Done && Error != ERROR_SUCCESS)
    throw EPackageError(Where + ": resources: cannot list the " + What + ": " + Win32::ErrorText(Error));
  return std::move(Collected.Items);
}

// Every resource of a module whose resource directory has been checked,
// through the system's calls; the data stays where the module holds it.
std::vector<Windows::TResourceEntry> EnumerateResources(HMODULE Module, const std::string& Where) {
  std::vector<Windows::TResourceEntry> Entries;
  const auto Types =
      Collect<WORD>([&](LONG_PTR To) { return ::EnumResourceTypesA(Module, AddType, To); }, Where, "types");
  for (WORD Type : Types) {
    const LPCSTR TypeKey = MAKEINTRESOURCEA(Type);
    const auto Names = Collect<TResourceName>(
        [&](LONG_PTR To) { return ::EnumResourceNamesA(Module, TypeKey, AddName, To); }, Where, "names");
    for (const TResourceName& Name : Names) {
      const auto Languages = Collect<WORD>(
          [&](LONG_PTR To) { return ::EnumResourceLanguagesA(Module, TypeKey, Name.Key(), AddLanguage, To); }, Where,
          "languages");
      for (WORD Language : Languages) {
        const HRSRC Found = ::FindResourceExA(Module, TypeKey, Name.Key(), Language);
        const HGLOBAL Loaded = Found ? ::LoadResource(Module, Found) : nullptr;
        const void* Data = Loaded ? ::LockResource(Loaded) : nullptr;
        if (!Data)
          throw EPackageError(Where + ": resources: cannot load " + SysUtils::ResourceTypeName(Type) + " " + Name.Name +
                              ": " + Win32::ErrorText(::GetLastError()));
        Entries.push_back({Name.Name, Type, Language,
                           {static_cast<const std::uint8_t*>(Data), std::size_t(::SizeofResource(Module, Found))}});
      }
    }
  }
  return Entries;
}

}  // namespace

TModuleContents ReadModule(std::span<const std::uint8_t> Data, const std::string& FileName) {
  TPeReader Pe(Data, TLayout::File, FileName);
  Pe.ReadHeaders();
  TModuleContents Contents;
  Contents.Exports = NameExports(ReadExportNames(Pe));
  const bool HasResources = CheckResources(Pe);

  // By its full name: the system looks a bare name up along its search
  // path, and hands back any loaded module of that name.
  char Full[MAX_PATH * 4];
  const DWORD Length = ::GetFullPathNameA(FileName.c_str(), sizeof Full, Full, nullptr);
  const HMODULE Module =
      Length && Length < sizeof Full ? ::LoadLibraryExA(Full, nullptr, LOAD_LIBRARY_AS_DATAFILE) : nullptr;
  if (!Module) Pe.Fail("cannot be loaded as a data file: " + Win32::ErrorText(::GetLastError()));
  Contents.Keep = std::shared_ptr<void>(Module, [](void* Loaded) { ::FreeLibrary(static_cast<HMODULE>(Loaded)); });
  Contents.DataModule = reinterpret_cast<Windows::HMODULE>(Module);

  // The system opened the file again, so what it mapped must be shown to be
  // what was checked. A data file is mapped as it lies on disk, its handle
  // marked in the lowest bit. The file already loaded as a module in this
  // process is handed back as the image the loader mapped, checked as such.
  const auto Handle = reinterpret_cast<std::uintptr_t>(Module);
  const auto* Base = reinterpret_cast<const std::uint8_t*>(Handle & ~std::uintptr_t(3));
  if (Handle & 1) {
    MEMORY_BASIC_INFORMATION View;
    if (!::VirtualQuery(Base, &View, sizeof View) ||
        static_cast<const std::uint8_t*>(View.BaseAddress) + View.RegionSize - Base < std::ptrdiff_t(Data.size()) ||
        std::memcmp(Base, Data.data(), Data.size()) != 0)
      Pe.Fail("the file changed while it was read");
    if (HasResources) Contents.Resources = EnumerateResources(Module, FileName);
  } else if (CheckResources(LoadedImage(Base, FileName))) {
    Contents.Resources = EnumerateResources(Module, FileName);
  }
  return Contents;
}

std::vector<Windows::TResourceEntry> LoadedModuleResources(Windows::HMODULE Instance, const void*,
                                                           const std::string& Where) {
  if (!CheckResources(LoadedImage(reinterpret_cast<const std::uint8_t*>(Instance), Where))) return {};
  return EnumerateResources(reinterpret_cast<HMODULE>(Instance), Where);
}

}  // namespace Os
