// pkgtool: what a design host sees of a package module: its composition,
// the components it puts on the palette, their published properties and
// its resources.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "Classes.hpp"
#include "Graphics.hpp"
#include "SysUtils.hpp"
#include "CommandLine.hpp"
#include "FormFiles.hpp"
#include "Tool.hpp"

namespace {

using Tool::TBadInput;

// Loads a package for the length of one command, as a design host does to
// register its components: this runs the package's code.
class TLoadedPackage {
public:
  explicit TLoadedPackage(const std::string& FileName)
      : FFileName(FileName), FModule(SysUtils::LoadPackage(FileName)) {}
  ~TLoadedPackage() { SysUtils::UnloadPackage(FModule); }
  // Calls the package's Register procedure.
  void Register() const {
    auto Register = reinterpret_cast<void (*)()>(SysUtils::GetProcAddress(FModule, SysUtils::RegisterProcName("LvFltImg").c_str()));
    if (!Register) throw TBadInput(FFileName + ": the package has no Register procedure");
    Register();
  }

private:
  std::string FFileName;
  Windows::HMODULE FModule;
};

std::string FlagsText(std::uint32_t Flags) {
  std::string Text = Flags & SysUtils::pfNeverBuild ? "never rebuilt implicitly" : "rebuilt as needed";
  if (Flags & SysUtils::pfDesignOnly) Text += ", design-time only";
  else if (Flags & SysUtils::pfRunOnly) Text += ", run-time only";
  else Text += ", design-time and run-time";
  return Text;
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

// A resource as the resource command takes it: TYPE/NAME, and the language
// too where the module has the name in more than one.
std::string FullName(const Windows::TResourceEntry& Entry) {
  return SysUtils::ResourceTypeName(Entry.Type) + "/" + Entry.Name;
}
std::string FullName(const Windows::TResourceEntry& Entry, const std::vector<Windows::TResourceEntry>& All) {
  const bool OneOfSeveral = std::any_of(All.begin(), All.end(), [&](const Windows::TResourceEntry& Other) {
    return Other.Type == Entry.Type && Other.Name == Entry.Name && Other.Language != Entry.Language;
  });
  return OneOfSeveral ? FullName(Entry) + "/" + Hex4(Entry.Language) : FullName(Entry);
}

// Everything info shows is read and checked before the first line is
// printed, and whatever the file says is shown on its own line.
void Info(const std::string& File) {
  const SysUtils::TModuleFile Module(File);
  const SysUtils::TPackageInfo Info = Module.PackageInfo();
  std::string Out = "name: " + Tool::Utf8Of(Tool::PathOf(File).stem()) + "\n";
  std::string Requires, Contains;
  for (const auto& Name : Info.Requires) Requires += (Requires.empty() ? "" : ", ") + SysUtils::PrintableText(Name);
  for (const auto& Unit : Info.Contains) Contains += (Contains.empty() ? "" : ", ") + SysUtils::PrintableText(Unit.Name);
  Out += "requires: " + Requires + "\ncontains: " + Contains + "\n";
  Out += "flags: " + FlagsText(Info.Flags) + "\n";
  for (const Windows::TResourceEntry& Entry : Module.Resources()) {
    if (Entry.Type != Windows::RT_VERSION) continue;
    const SysUtils::TVersionInfo Version =
        SysUtils::DecodeVersionInfo(Entry.Data, File + ": resource " + FullName(Entry, Module.Resources()));
    Out += "version: " + VersionText(Version.Fixed.FileVersionMS, Version.Fixed.FileVersionLS) + " (product " +
           VersionText(Version.Fixed.ProductVersionMS, Version.Fixed.ProductVersionLS) + ", strings " +
           Version.StringTableKey + ")\n";
    break;
  }
  // Listed by name: the systems keep them in different orders.
  std::vector<std::string> Lines;
  for (const Windows::TResourceEntry& Entry : Module.Resources())
    Lines.push_back("resource: " + FullName(Entry, Module.Resources()) + "\tlanguage " + Hex4(Entry.Language) + "\t" +
                    std::to_string(Entry.Data.size()) + " bytes\n");
  std::sort(Lines.begin(), Lines.end());
  std::vector<std::string> Exports = Module.Exports();
  std::sort(Exports.begin(), Exports.end());
  for (const std::string& Name : Exports) Lines.push_back("export: " + SysUtils::PrintableText(Name) + "\n");
  for (const std::string& Line : Lines) Out += Line;
  std::cout << Out;
}

void Palette(const std::string& File) {
  const TLoadedPackage Package(File);
  Package.Register();
  for (const Classes::TPalettePage& Page : Classes::PalettePages())
    for (Classes::TComponentClass Class : Page.Classes)
      std::cout << Page.Name << "\t" << Class->ClassName << "\t" << Class->UnitName << "\n";
}

void Properties(const std::string& ClassName, const std::string& File) {
  const TLoadedPackage Package(File);
  Package.Register();
  // The framework's own classes that forms hold, such as TForm, as well.
  Tool::RegisterFormClasses();
  const TypInfo::TClassInfo* Class = TypInfo::GetClass(ClassName);
  if (!Class) throw TBadInput(File + ": neither the package nor the framework registers a class " + ClassName);
  for (const TypInfo::TPropInfo* Property : Class->PublishedProperties())
    std::cout << Property->Name << "\t" << Property->TypeName << "\t"
              << (Property->Default ? std::to_string(*Property->Default) : "-") << "\t"
              << (Property->Stored.Predicate.empty() ? "always" : Property->Stored.Predicate) << "\t"
              << Property->DeclaringClass->ClassName << "\n";
}

// The resource a name means: TYPE/NAME/LANGUAGE (the type by its name or
// number, the language in four hexadecimal digits), TYPE/NAME, or a bare
// name or type that only one resource has.
const Windows::TResourceEntry& FindResource(const SysUtils::TModuleFile& Module, const std::string& Name) {
  const auto& All = Module.Resources();
  std::vector<std::string> Parts;
  for (std::size_t From = 0;;) {
    const std::size_t Slash = Name.find('/', From);
    Parts.push_back(Name.substr(From, Slash - From));
    if (Slash == std::string::npos) break;
    From = Slash + 1;
  }
  if (Parts.size() > 3) throw TBadInput(Module.FileName() + ": no resource " + Name + ": say TYPE/NAME/LANGUAGE at most");
  std::vector<const Windows::TResourceEntry*> Found;
  for (const Windows::TResourceEntry& Entry : All) {
    const std::string Type = SysUtils::ResourceTypeName(Entry.Type);
    using SysUtils::SameText;
    const bool Match = Parts.size() == 1 ? SameText(Entry.Name, Name) || SameText(Type, Name)
                                         : SameText(Type, Parts[0]) && SameText(Entry.Name, Parts[1]) &&
                                               (Parts.size() == 2 || SameText(Hex4(Entry.Language), Parts[2]));
    if (Match) Found.push_back(&Entry);
  }
  if (Found.empty()) throw TBadInput(Module.FileName() + ": no resource " + Name);
  if (Found.size() > 1) {
    std::string Choices;
    for (const auto* Entry : Found) Choices += (Choices.empty() ? "" : ", ") + FullName(*Entry, All);
    throw TBadInput(Module.FileName() + ": the resource name " + Name + " is ambiguous: say which of " + Choices);
  }
  return *Found.front();
}

// The picture a .bmp file holds must be one the framework reads: the file
// is read back before it is written, and an empty picture is refused.
void CheckPicture(std::span<const std::uint8_t> File, const std::string& Where) {
  Graphics::TBitmap Picture;
  Picture.LoadFromBytes(File, Where);
  if (Picture.Width() == 0 || Picture.Height() == 0) throw TBadInput(Where + ": the picture is empty");
}

// A bitmap resource as a .bmp file, which must read as a picture.
std::vector<std::uint8_t> BitmapFile(std::span<const std::uint8_t> Data, const std::string& Where) {
  std::vector<std::uint8_t> File;
  try {
    File = Graphics::BitmapResourceFile(Data, Where);
  } catch (const Graphics::EInvalidGraphic& E) {
    throw TBadInput(E.what());
  }
  CheckPicture(File, Where);
  return File;
}

// One image of an icon, which must read as a picture.
void CheckIconImage(std::span<const std::uint8_t> Image, unsigned Width, unsigned Height, const std::string& Where) {
  Graphics::TBitmap Picture;
  Graphics::LoadIconImage(Picture, Image, Width, Height, "the group", Where);
}

// An icon group as its resource holds it: the icon file's 6-byte header,
// then for each image its entry, in which an image's resource number takes
// the place of the file's offset.
struct TGroupEntry {
  std::span<const std::uint8_t> Shape;  // width, height, colours, reserved, planes, bits: as the file has them
  std::uint32_t BytesInImage = 0;
  std::uint16_t Id = 0;
  static constexpr std::size_t Bytes = 14;
  unsigned Width() const { return Shape[0] ? Shape[0] : 256; }
  unsigned Height() const { return Shape[1] ? Shape[1] : 256; }
};

// An icon file from an icon group and its images: the group's entries
// point at numbered icon resources, the file's entries at offsets.
std::vector<std::uint8_t> IconFile(const SysUtils::TModuleFile& Module, const Windows::TResourceEntry& GroupEntry) {
  const std::string Where = Module.FileName() + ": resource " + FullName(GroupEntry, Module.Resources());
  SysUtils::TByteReader Group(GroupEntry.Data, Where, SysUtils::RaiseFault<TBadInput>);
  SysUtils::TByteReader Header = Group.Sub(6, "icon group header");
  const std::uint16_t Reserved = Header.U16(), Type = Header.U16(), Count = Header.U16();
  if (Reserved != 0 || Type != 1) throw TBadInput(Where + ": not an icon group");
  if (Count == 0) throw TBadInput(Where + ": an icon group of no images");
  if (Group.Left() != std::size_t(Count) * TGroupEntry::Bytes)
    throw TBadInput(Where + ": icon group of " + std::to_string(Count) + " images in " +
                    SysUtils::ByteCount(Group.Size()));
  SysUtils::TByteWriter Out;
  Out.Bytes(Header.Data());
  SysUtils::TByteWriter Images;
  for (std::size_t I = 0; I < Count; ++I) {
    SysUtils::TByteReader Fields = Group.Sub(TGroupEntry::Bytes, "icon group entry");
    TGroupEntry Entry;
    Entry.Shape = Fields.Bytes(8);
    Entry.BytesInImage = Fields.U32();
    Entry.Id = Fields.U16();
    const std::string Image = "ICON/#" + std::to_string(Entry.Id);
    const Windows::TResourceEntry* Found = nullptr;
    for (const Windows::TResourceEntry& Resource : Module.Resources())
      if (SysUtils::SameText(FullName(Resource), Image) && (!Found || Resource.Language == GroupEntry.Language))
        Found = &Resource;
    if (!Found) throw TBadInput(Where + ": icon image " + Image + " is missing");
    const std::span<const std::uint8_t> Data = Found->Data;
    if (Entry.BytesInImage != Data.size())
      throw TBadInput(Where + ": the group gives icon image " + Image + " " + SysUtils::ByteCount(Entry.BytesInImage) +
                      ", but it has " + SysUtils::ByteCount(Data.size()));
    CheckIconImage(Data, Entry.Width(), Entry.Height(), Module.FileName() + ": resource " + Image);
    Out.Bytes(Entry.Shape)
        .U32(std::uint32_t(Data.size()))
        .U32(std::uint32_t(6 + Count * 16 + Images.Size()));  // where the image lies in the file
    Images.Bytes(Data);
  }
  return Out.Bytes(Images.Data()).Take();
}

void Resource(const std::string& Name, const std::string& Output, const std::string& File) {
  Classes::TFileWriter Out(Output);
  const SysUtils::TModuleFile Module(File);
  const Windows::TResourceEntry& Entry = FindResource(Module, Name);
  std::vector<std::uint8_t> Bytes(Entry.Data.begin(), Entry.Data.end());
  if (Entry.Type == Windows::RT_BITMAP) {
    const std::string Where = File + ": resource " + FullName(Entry, Module.Resources());
    Bytes = BitmapFile(Entry.Data, Where);
    // The picture is written in the format the output's name asks for, as
    // every other picture output is; a .bmp gets the resource's own bytes.
    if (Graphics::FormatForFileName(Output) != Graphics::TFileFormat::Bmp) {
      Graphics::TBitmap Bitmap;
      Bitmap.LoadFromBytes(Bytes, Where);
      Bitmap.SaveToFile(Out);
      return Out.Commit();
    }
  }
  if (Entry.Type == Windows::RT_GROUP_ICON) {
    if (!SysUtils::SameText(Tool::Utf8Of(Tool::PathOf(Output).extension()), ".ico"))
      throw TBadInput(Output + ": an icon group is written as an icon file (.ico)");
    Bytes = IconFile(Module, Entry);
  }
  Out.Stream().write(reinterpret_cast<const char*>(Bytes.data()), std::streamsize(Bytes.size()));
  Out.Commit();
}

// Prints a form file as text, or converts it: Text is 1 for the text form,
// 0 for the binary form, -1 for what the output's name says.
void Form(const std::string& File, const std::string& Output, int Text, int CodePage) {
  if (Output.empty()) {
    if (Text >= 0) throw TBadInput("form: --text and --binary choose the form of an output (-o)");
    Tool::ConvertFormFile(File, std::cout, true, CodePage);
    return;
  }
  const bool AsText = Text >= 0 ? Text == 1 : Tool::IsTextFormName(Output);
  Classes::TFileWriter Out(Output);
  Tool::ConvertFormFile(File, Out.Stream(), AsText, CodePage);
  Out.Commit();
}

// Writes forms as the resource file a program links: each, in the binary
// form, an RCDATA resource named after its root's class in capitals
// (TFORM1), which is how the form's class finds it.
void Forms(const std::vector<std::string>& Files, const std::string& Output, int CodePage) {
  Classes::TFileWriter Out(Output);
  std::vector<std::vector<std::uint8_t>> Binaries;
  std::vector<Windows::TResourceEntry> Entries;
  for (const std::string& File : Files) {
    std::ostringstream Binary;
    Tool::ConvertFormFile(File, Binary, false, CodePage);
    const std::string Bytes = Binary.str();
    Binaries.emplace_back(Bytes.begin(), Bytes.end());
    // The text form's first line names the root: "object Form1: TForm1".
    const std::string Text = Tool::FormText(Binaries.back());
    const std::string Head = Text.substr(0, Text.find('\n'));
    std::string Class = Head.substr(Head.find(':') == std::string::npos ? Head.rfind(' ') + 1 : Head.find(':') + 2);
    Class = Class.substr(0, Class.find_first_of(" \r["));
    const std::string Name = SysUtils::UpperCase(Class);
    for (std::size_t I = 0; I < Entries.size(); ++I)
      if (Entries[I].Name == Name)
        throw TBadInput(File + ": a second form of the class " + Class + " (the first is " + Files[I] + ")");
    Entries.push_back({Name, Windows::RT_RCDATA, Windows::LANG_NEUTRAL, {}});
  }
  for (std::size_t I = 0; I < Entries.size(); ++I) Entries[I].Data = Binaries[I];
  const std::vector<std::uint8_t> Res = SysUtils::EncodeResources(Entries);
  Out.Stream().write(reinterpret_cast<const char*>(Res.data()), std::streamsize(Res.size()));
  Out.Commit();
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App App(std::string("Shows what a design host sees of a package module. PACKAGE defaults to the\n"
                           "Tessorin.bpl beside this tool's modules. info and resource read the package\n"
                           "as data and never run any of its code; palette and properties load it and\n"
                           "call its Register procedure, as a design host does, so they run its code.\n\n") +
                   Tool::ExitStatusHelp(false) + "\n" + Tool::LimitsHelp(),
               "pkgtool");
  App.require_subcommand(1);
  App.set_version_flag("--version", std::string("pkgtool ") + Tool::Version, "Print the version and exit");
  std::string Package = Tool::DefaultPackage(), ClassName, Name, Output;
  auto* InfoCommand =
      App.add_subcommand("info", "Name, requirements, units, flags, version, resources, exports (read as data)");
  InfoCommand->add_option("PACKAGE", Package, "The package module");
  auto* PaletteCommand = App.add_subcommand("palette", "Load, call Register, list page, class and unit");
  PaletteCommand->add_option("PACKAGE", Package, "The package module");
  auto* PropertiesCommand = App.add_subcommand(
      "properties", "Load, call Register, list a class's published properties: name, type, default, stored, declared by");
  PropertiesCommand->add_option("CLASS", ClassName, "The class")->required();
  PropertiesCommand->add_option("PACKAGE", Package, "The package module");
  auto* ResourceCommand = App.add_subcommand(
      "resource", "Save a resource (read as data): a bitmap as .bmp, an icon group as .ico, others raw");
  ResourceCommand
      ->add_option("NAME", Name,
                   "TYPE/NAME as info lists it (BITMAP/TLVFILTERIMAGE, ICON/#1), with /LANGUAGE where the name "
                   "comes in several (BITMAP/TLVFILTERIMAGE/0429), or a name or type only one has (MAINICON, VERSION)")
      ->required();
  ResourceCommand->add_option("-o,--output", Output, "Where to save it")->required();
  ResourceCommand->add_option("PACKAGE", Package, "The package module");
  std::string FormFile;
  bool AsText = false, AsBinary = false;
  auto* FormCommand = App.add_subcommand(
      "form", "Print a form file (binary or text) as text, or convert it with -o: OUT's extension picks the form, "
              ".dfm binary and .txt text, unless --text or --binary says");
  FormCommand->add_option("FILE", FormFile, "The form file")->required();
  FormCommand->add_option("-o,--output", Output, "Where to write the converted form");
  auto* TextFlag = FormCommand->add_flag("--text", AsText, "Write the text form");
  FormCommand->add_flag("--binary", AsBinary, "Write the binary form")->excludes(TextFlag);
  std::vector<std::string> FormFiles;
  auto* FormsCommand = App.add_subcommand(
      "forms", "Write form files (binary or text) as a resource file (.res) for a program to link: each form an "
               "RCDATA resource named after its root's class in capitals (TFORM1)");
  FormsCommand->add_option("FILE", FormFiles, "The form files")->required();
  FormsCommand->add_option("-o,--output", Output, "The resource file to write")->required();
  std::string CodePage;
  for (CLI::App* Command : {FormCommand, FormsCommand}) Command->add_option("--codepage", CodePage, Tool::CodePageHelp);
  try {
    Tool::ParseArguments(App, argc, argv);
    Tool::RefuseEmptyValues(App);
  } catch (const CLI::Success& E) {
    return App.exit(E);
  } catch (const CLI::ParseError& E) {
    // A word that names no command is left over, where CLI11 only says that
    // a command is missing.
    const std::vector<std::string> Left = App.remaining();
    if (App.get_subcommands().empty() && !Left.empty() && Left.front().rfind('-', 0) != 0)
      std::cerr << "pkgtool: " << Left.front() << ": no such command (see pkgtool --help)\n";
    else
      std::cerr << "pkgtool: " << E.what() << " (see pkgtool --help)\n";
    return Tool::ExitBadInput;
  }
  try {
    if (*InfoCommand) Info(Package);
    if (*PaletteCommand) Palette(Package);
    if (*PropertiesCommand) Properties(ClassName, Package);
    if (*ResourceCommand) Resource(Name, Output, Package);
    const int FormCodePage = CodePage.empty() ? 1252 : Tool::ParseCodePage(CodePage);
    if (*FormCommand) Form(FormFile, Output, AsText ? 1 : AsBinary ? 0 : -1, FormCodePage);
    if (*FormsCommand) Forms(FormFiles, Output, FormCodePage);
    return Tool::ExitDone;
  } catch (const std::exception& E) {
    return Tool::Report("pkgtool", E);
  }
}
