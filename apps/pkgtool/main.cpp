// pkgtool: what a design host sees of a package module: its composition,
// the components it puts on the palette, their published properties and
// its resources.
#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>
#include <sstream>
#include <strings.h>

#include "Classes.hpp"
#include "Graphics.hpp"
#include "SysUtils.hpp"

namespace {

struct TBadInput : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string DefaultPackage() {
  std::error_code Error;
  const auto Self = std::filesystem::read_symlink("/proc/self/exe", Error);
  return (Self.parent_path().parent_path() / "lib" / "Tessorin.bpl").string();
}

// Loads a package for the length of one command.
class TLoadedPackage {
public:
  explicit TLoadedPackage(const std::string& FileName) : FModule(SysUtils::LoadPackage(FileName)) {}
  ~TLoadedPackage() { SysUtils::UnloadPackage(FModule); }
  Windows::HMODULE Module() const { return FModule; }
  // Calls the package's Register procedure, as the design host does.
  void Register() const {
    auto Register = reinterpret_cast<void (*)()>(SysUtils::GetProcAddress(FModule, "_ZN8LvFltImg8RegisterEv"));
    if (!Register) throw TBadInput("the package has no Register procedure");
    Register();
  }

private:
  Windows::HMODULE FModule;
};

std::string FlagsText(std::uint32_t Flags) {
  std::string Text = Flags & SysUtils::pfNeverBuild ? "never rebuilt implicitly" : "rebuilt as needed";
  if (Flags & SysUtils::pfDesignOnly) Text += ", design-time only";
  else if (Flags & SysUtils::pfRunOnly) Text += ", run-time only";
  else Text += ", design-time and run-time";
  return Text;
}

std::string TypeName(std::uint16_t Type) {
  switch (Type) {
    case Windows::RT_BITMAP: return "bitmap";
    case Windows::RT_ICON: return "icon";
    case Windows::RT_GROUP_ICON: return "icon group";
    case Windows::RT_RCDATA: return "data";
    case Windows::RT_VERSION: return "version";
    default: return "type " + std::to_string(Type);
  }
}

std::string Hex4(unsigned Value) {
  std::ostringstream Out;
  Out << std::hex << std::uppercase;
  Out.width(4);
  Out.fill('0');
  Out << Value;
  return Out.str();
}

std::string VersionText(std::uint32_t MS, std::uint32_t LS) {
  return std::to_string(MS >> 16) + "." + std::to_string(MS & 0xFFFF) + "." + std::to_string(LS >> 16) + "." +
         std::to_string(LS & 0xFFFF);
}

void Info(const std::string& File) {
  TLoadedPackage Package(File);
  const SysUtils::TPackageInfo Info = SysUtils::GetPackageInfo(Package.Module());
  std::cout << "name: " << std::filesystem::path(File).stem().string() << "\n";
  std::string Requires, Contains;
  for (const auto& Name : Info.Requires) Requires += (Requires.empty() ? "" : ", ") + Name;
  for (const auto& Unit : Info.Contains) Contains += (Contains.empty() ? "" : ", ") + Unit.Name;
  std::cout << "requires: " << Requires << "\ncontains: " << Contains << "\n";
  std::cout << "flags: " << FlagsText(Info.Flags) << "\n";
  const auto Block = Windows::FindResourceData(Package.Module(), "#1", Windows::RT_VERSION);
  if (!Block.empty()) {
    const SysUtils::TVersionInfo Version = SysUtils::DecodeVersionInfo(Block, File);
    std::cout << "version: " << VersionText(Version.Fixed.FileVersionMS, Version.Fixed.FileVersionLS)
              << " (product " << VersionText(Version.Fixed.ProductVersionMS, Version.Fixed.ProductVersionLS)
              << ", strings " << Version.StringTableKey << ")\n";
  }
  for (const Windows::TResourceEntry& Entry : Windows::EnumResources(Package.Module()))
    std::cout << "resource: " << Entry.Name << "\t" << TypeName(Entry.Type) << "\tlanguage " << Hex4(Entry.Language)
              << "\t" << Entry.Size << " bytes\n";
  for (const std::string& Name : SysUtils::ModuleExports(File)) std::cout << "export: " << Name << "\n";
}

void Palette(const std::string& File) {
  TLoadedPackage Package(File);
  Package.Register();
  for (const Classes::TPalettePage& Page : Classes::PalettePages())
    for (Classes::TComponentClass Class : Page.Classes)
      std::cout << Page.Name << "\t" << Class->ClassName << "\t" << Class->UnitName << "\n";
}

void Properties(const std::string& ClassName, const std::string& File) {
  TLoadedPackage Package(File);
  Package.Register();
  const TypInfo::TClassInfo* Class = TypInfo::GetClass(ClassName);
  if (!Class) throw TBadInput(File + ": the package registers no class " + ClassName);
  for (const TypInfo::TPropInfo* Property : Class->PublishedProperties())
    std::cout << Property->Name << "\t" << Property->TypeName << "\t"
              << (Property->Default ? std::to_string(*Property->Default) : "-") << "\t"
              << (Property->Stored.Predicate.empty() ? "always" : Property->Stored.Predicate) << "\t"
              << Property->DeclaringClass->ClassName << "\n";
}

// An icon file from an icon group and its images: the group's entries
// point at numbered icon resources, the file's entries at offsets.
std::vector<std::uint8_t> IconFile(Windows::HMODULE Module, std::span<const std::uint8_t> Group, const std::string& Name) {
  auto U16 = [&](std::size_t At) { return std::uint16_t(Group[At] | Group[At + 1] << 8); };
  if (Group.size() < 6) throw TBadInput(Name + ": icon group too short");
  const std::size_t Count = U16(4);
  if (Group.size() < 6 + Count * 14) throw TBadInput(Name + ": icon group truncated");
  std::vector<std::uint8_t> Out(Group.begin(), Group.begin() + 6);
  std::vector<std::uint8_t> Images;
  for (std::size_t I = 0; I < Count; ++I) {
    const std::size_t At = 6 + I * 14;
    const auto Image = Windows::FindResourceData(Module, ("#" + std::to_string(U16(At + 12))).c_str(), Windows::RT_ICON);
    if (Image.empty()) throw TBadInput(Name + ": icon image #" + std::to_string(U16(At + 12)) + " is missing");
    Out.insert(Out.end(), Group.begin() + long(At), Group.begin() + long(At) + 8);
    const std::uint32_t Size = std::uint32_t(Image.size());
    const std::uint32_t Offset = std::uint32_t(6 + Count * 16 + Images.size());
    for (std::uint32_t V : {Size, Offset})
      for (int B = 0; B < 4; ++B) Out.push_back(std::uint8_t(V >> (8 * B)));
    Images.insert(Images.end(), Image.begin(), Image.end());
  }
  Out.insert(Out.end(), Images.begin(), Images.end());
  return Out;
}

void Resource(const std::string& Name, const std::string& Output, const std::string& File) {
  TLoadedPackage Package(File);
  const Windows::HMODULE Module = SysUtils::FindResourceHInstance(Package.Module());
  const bool Version = Name == "VERSION";
  for (const Windows::TResourceEntry& Entry : Windows::EnumResources(Module)) {
    if (Version ? Entry.Type != Windows::RT_VERSION : strcasecmp(Entry.Name, Name.c_str()) != 0) continue;
    std::span<const std::uint8_t> Data(Entry.Data, Entry.Size);
    std::vector<std::uint8_t> Bytes(Data.begin(), Data.end());
    if (Entry.Type == Windows::RT_BITMAP) {
      // A bitmap resource is a .bmp file without its file header.
      if (Bytes.size() < 40) throw TBadInput(File + ": bitmap resource " + Name + " is too short");
      const std::uint32_t HeaderSize = Bytes[0] | Bytes[1] << 8 | Bytes[2] << 16 | std::uint32_t(Bytes[3]) << 24;
      const unsigned Bits = Bytes[14] | Bytes[15] << 8;
      std::uint32_t Colours = Bytes[32] | Bytes[33] << 8 | Bytes[34] << 16 | std::uint32_t(Bytes[35]) << 24;
      if (Colours == 0 && Bits <= 8) Colours = 1u << Bits;
      const std::uint32_t Offset = 14 + HeaderSize + 4 * Colours;
      const std::uint32_t Size = std::uint32_t(Bytes.size() + 14);
      std::vector<std::uint8_t> Header{'B', 'M'};
      for (std::uint32_t V : {Size, 0u, Offset})
        for (int B = 0; B < 4; ++B) Header.push_back(std::uint8_t(V >> (8 * B)));
      Bytes.insert(Bytes.begin(), Header.begin(), Header.end());
    } else if (Entry.Type == Windows::RT_GROUP_ICON) {
      Bytes = IconFile(Module, Data, File);
    }
    Graphics::WriteFileBytes(Output, Bytes);
    return;
  }
  throw TBadInput(File + ": no resource named " + Name);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App App("Shows what a design host sees of a package module. PACKAGE defaults to the\n"
               "Tessorin.bpl beside this tool's modules. Exit status: 0 done, 2 bad usage or a\n"
               "bad package (one line naming the file and the fault), 1 anything else.",
               "pkgtool");
  App.require_subcommand(1);
  std::string Package = DefaultPackage(), ClassName, Name, Output;
  auto* InfoCommand = App.add_subcommand("info", "Name, requirements, units, flags, version, resources, exports");
  InfoCommand->add_option("PACKAGE", Package, "The package module");
  auto* PaletteCommand = App.add_subcommand("palette", "Load, call Register, list page, class and unit");
  PaletteCommand->add_option("PACKAGE", Package, "The package module");
  auto* PropertiesCommand = App.add_subcommand("properties", "A class's published properties: name, type, default, stored, declared by");
  PropertiesCommand->add_option("CLASS", ClassName, "The class")->required();
  PropertiesCommand->add_option("PACKAGE", Package, "The package module");
  auto* ResourceCommand = App.add_subcommand("resource", "Save a resource: a bitmap as .bmp, an icon as .ico, VERSION raw, others raw");
  ResourceCommand->add_option("NAME", Name, "The resource's name, or VERSION")->required();
  ResourceCommand->add_option("-o,--output", Output, "Where to save it")->required();
  ResourceCommand->add_option("PACKAGE", Package, "The package module");
  try {
    App.parse(argc, argv);
  } catch (const CLI::CallForHelp& E) {
    return App.exit(E);
  } catch (const CLI::ParseError& E) {
    std::cerr << "pkgtool: " << E.what() << " (see pkgtool --help)\n";
    return 2;
  }
  try {
    if (*InfoCommand) Info(Package);
    if (*PaletteCommand) Palette(Package);
    if (*PropertiesCommand) Properties(ClassName, Package);
    if (*ResourceCommand) Resource(Name, Output, Package);
    return 0;
  } catch (const TBadInput& E) {
    std::cerr << "pkgtool: " << E.what() << "\n";
    return 2;
  } catch (const SysUtils::EPackageError& E) {
    std::cerr << "pkgtool: " << E.Message() << "\n";
    return 2;
  } catch (const Classes::EFOpenError& E) {
    std::cerr << "pkgtool: " << E.Message() << "\n";
    return 2;
  } catch (const std::exception& E) {
    std::cerr << "pkgtool: " << E.what() << "\n";
    return 1;
  }
}
