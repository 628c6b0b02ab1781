// The framework's package machinery: the list of modules, resource lookup,
// and loading and unloading of package modules.
#include <algorithm>
#include <map>
#include <mutex>

#include "SysUtils.hpp"
#include "os/Os.hpp"

namespace SysUtils {

namespace {

struct TModuleRecord {
  TLibModule Lib;
  std::vector<Windows::TResourceEntry> Resources;  // in the module's memory
  std::unique_ptr<TModuleFile> ResFile;            // the resource module, read as data
  void* Handle = nullptr;                          // from LoadPackage
  std::vector<Windows::HMODULE> Required;  // packages loaded for this one
  bool Loading = false;                    // its requirements are being loaded
};

std::recursive_mutex GLock;
std::map<Windows::HMODULE, TModuleRecord>& Records() {
  static std::map<Windows::HMODULE, TModuleRecord> TheRecords;
  return TheRecords;
}
std::vector<std::string>& Log() {
  static std::vector<std::string> TheLog;
  return TheLog;
}

std::string Folder(const std::string& Path) { return Path.substr(0, Path.find_last_of(Os::PathSeparators) + 1); }

std::string BaseName(const std::string& Path) { return Path.substr(Path.find_last_of(Os::PathSeparators) + 1); }

std::string Stem(const std::string& Path) {
  const std::string Base = BaseName(Path);
  return Base.substr(0, Base.find('.'));
}

}  // namespace

void RegisterModule(const void* AddressInModule) {
  std::lock_guard Guard(GLock);
  const Windows::HMODULE Instance = Os::ModuleOfAddress(AddressInModule);
  if (!Instance) return;
  TModuleRecord Record;
  Record.Lib.Instance = Record.Lib.ResInstance = Instance;
  Record.Lib.FileName = Os::ModuleFileName(Instance);
  try {
    Record.Resources = Os::LoadedModuleResources(Instance, AddressInModule, Record.Lib.FileName);
  } catch (const EPackageError&) {
    // Serves none. LoadPackage refuses such a package before loading it;
    // a module linked into a program cannot be refused here.
  }
  // A resource module beside the module, for the user's language, serves
  // its resources instead. It is only read, never run, as the framework
  // loads resource modules as data files.
  for (const std::string& Language : Os::LanguageNames()) {
    const std::string Candidate = Folder(Record.Lib.FileName) + Stem(Record.Lib.FileName) + "." + Language;
    if (!Os::FileExists(Candidate)) continue;
    try {
      auto File = std::make_unique<TModuleFile>(Candidate);
      if (File->Resources().empty()) continue;
      Record.ResFile = std::move(File);
    } catch (const System::Exception&) {
      continue;
    }
    Record.Lib.ResInstance = Record.ResFile->Handle();
    Record.Lib.ResFileName = Candidate;
    break;
  }
  Records()[Instance] = std::move(Record);
}

void UnregisterModule(const void* AddressInModule) {
  std::lock_guard Guard(GLock);
  Records().erase(Os::ModuleOfAddress(AddressInModule));
}

std::vector<TLibModule> LibModules() {
  std::lock_guard Guard(GLock);
  std::vector<TLibModule> Result;
  for (const auto& [Instance, Record] : Records()) Result.push_back(Record.Lib);
  return Result;
}

Windows::HMODULE FindResourceHInstance(Windows::HMODULE Instance) {
  std::lock_guard Guard(GLock);
  auto Found = Records().find(Instance);
  return Found == Records().end() ? Instance : Found->second.Lib.ResInstance;
}

void InitializePackage(const TPackageUnitTable& Table) {
  for (int I = 0; I < Table.UnitCount; ++I) {
    const TUnitEntry& Unit = Table.Units[I];
    if (Unit.Init) Unit.Init();
    std::lock_guard Guard(GLock);
    Log().push_back(std::string("Initialize ") + Unit.Name);
  }
}

void FinalizePackage(const TPackageUnitTable& Table) {
  for (int I = Table.UnitCount - 1; I >= 0; --I) {
    const TUnitEntry& Unit = Table.Units[I];
    if (Unit.FInit) Unit.FInit();
    std::lock_guard Guard(GLock);
    Log().push_back(std::string("Finalize ") + Unit.Name);
  }
}

std::vector<std::string> UnitLog() {
  std::lock_guard Guard(GLock);
  return Log();
}

void ClearUnitLog() {
  std::lock_guard Guard(GLock);
  Log().clear();
}

TPackageInfo GetPackageInfo(Windows::HMODULE Module) {
  const auto Data = Windows::FindResourceData(Module, "PACKAGEINFO", Windows::RT_RCDATA);
  const std::string Where = Os::ModuleFileName(Module);
  if (Data.empty()) throw EPackageError(Where + ": not a package: it has no package information");
  return DecodePackageInfo(Data, Where);
}

void* GetProcAddress(Windows::HMODULE Module, const char* Name) {
  std::lock_guard Guard(GLock);
  auto Found = Records().find(Module);
  return Found == Records().end() ? nullptr : Os::ModuleSymbol(Found->second.Handle, Name);
}

namespace {

struct TUnloadHooks {
  std::vector<TModuleObjectCounter> Counters;
  std::vector<TModuleUnloadProc> Procs;
};
TUnloadHooks& UnloadHooks() {
  static TUnloadHooks Hooks;
  return Hooks;
}

// Loads what the package requires; the framework's own module is this one.
std::vector<Windows::HMODULE> LoadRequired(const TPackageInfo& Info, const std::string& FileName) {
  std::vector<Windows::HMODULE> Loaded;
  try {
    for (const std::string& Name : Info.Requires) {
      if (Name == "vcl40") continue;
      Loaded.push_back(LoadPackage(Folder(FileName) + Name + ".bpl"));
    }
  } catch (const EPackageError& E) {
    for (Windows::HMODULE Module : Loaded) UnloadPackage(Module);
    throw EPackageError(FileName + ": a required package cannot be loaded: " + E.Message());
  }
  return Loaded;
}

// The package information, read from the file without running any of it: a
// file that is no complete module, or no package, is refused unloaded.
TPackageInfo InspectPackage(const std::string& FileName) {
  try {
    return TModuleFile(FileName).PackageInfo();
  } catch (const System::Exception& E) {
    const std::string& Message = E.Message();
    if (Message.rfind(FileName + ": not a package", 0) == 0) throw EPackageError(Message);
    const std::string Fault = Message.rfind(FileName + ": ", 0) == 0 ? Message.substr(FileName.size() + 2) : Message;
    throw EPackageError(FileName + ": cannot load package: " + Fault);
  }
}

}  // namespace

std::string RegisterProcName(std::string_view UnitName) {
  return "_ZN" + std::to_string(UnitName.size()) + std::string(UnitName) + "8RegisterEv";
}

Windows::HMODULE LoadPackage(const std::string& FileName) {
  std::lock_guard Guard(GLock);
  const TPackageInfo Info = InspectPackage(FileName);
  Os::TModule Module = Os::LoadModule(FileName);
  if (!Module.Instance) throw EPackageError(FileName + ": cannot load package: " + Module.Error);
  auto Refuse = [&](const std::string& Why) {
    Os::UnloadModule(Module.Handle);
    throw EPackageError(FileName + ": " + Why);
  };
  auto Initialize = reinterpret_cast<TPackageEntry>(Os::ModuleSymbol(Module.Handle, "Initialize"));
  auto Finalize = reinterpret_cast<TPackageEntry>(Os::ModuleSymbol(Module.Handle, "Finalize"));
  auto Table = reinterpret_cast<TGetPackageInfoTable>(Os::ModuleSymbol(Module.Handle, "GetPackageInfoTable"));
  if (!Initialize || !Finalize || !Table) Refuse("not a package: it lacks the package entry points");
  auto Found = Records().find(Module.Instance);
  if (Found == Records().end()) Refuse("not a package: its entry point did not register it");
  TModuleRecord& Record = Found->second;
  if (Record.Lib.LoadCount > 0) {
    ++Record.Lib.LoadCount;
    return Module.Instance;
  }

  if (Record.Loading) Refuse("the package requires itself through its requirements");

  Record.Loading = true;
  try {
    Record.Required = LoadRequired(Info, FileName);
  } catch (const EPackageError&) {
    Record.Loading = false;
    Os::UnloadModule(Module.Handle);
    throw;
  }
  Record.Loading = false;
  try {
    Initialize();
  } catch (...) {
    for (Windows::HMODULE Required : Record.Required) UnloadPackage(Required);
    Os::UnloadModule(Module.Handle);
    throw;
  }
  Record.Handle = Module.Handle;
  Record.Lib.LoadCount = 1;
  return Module.Instance;
}

void AddModuleObjectCounter(TModuleObjectCounter Counter) {
  std::lock_guard Guard(GLock);
  UnloadHooks().Counters.push_back(Counter);
}

void AddModuleUnloadProc(TModuleUnloadProc Proc) {
  std::lock_guard Guard(GLock);
  UnloadHooks().Procs.push_back(Proc);
}

void UnloadPackage(Windows::HMODULE Module) {
  std::lock_guard Guard(GLock);
  auto Found = Records().find(Module);
  if (Found == Records().end() || Found->second.Lib.LoadCount == 0)
    throw EPackageError("module " + std::to_string(Module) + " is not a loaded package");
  TModuleRecord& Record = Found->second;
  void* Handle = Record.Handle;
  if (Record.Lib.LoadCount == 1) {
    // Objects of the package's classes would outlive their code.
    int Alive = 0;
    for (TModuleObjectCounter Count : UnloadHooks().Counters) Alive += Count(Module);
    if (Alive > 0)
      throw EPackageError(Record.Lib.FileName + ": cannot unload: " + std::to_string(Alive) +
                          " component(s) of its classes still exist");
  }
  if (--Record.Lib.LoadCount == 0) {
    if (auto Finalize = reinterpret_cast<TPackageEntry>(Os::ModuleSymbol(Handle, "Finalize"))) Finalize();
    for (TModuleUnloadProc Forget : UnloadHooks().Procs) Forget(Module);
    const std::vector<Windows::HMODULE> Required = std::move(Record.Required);
    Record.Handle = nullptr;
    for (Windows::HMODULE Other : Required) UnloadPackage(Other);
  }
  Os::UnloadModule(Handle);  // may unload the module, which unregisters it
}

}  // namespace SysUtils

namespace Windows {

std::string GetModuleFileName(HMODULE hModule) { return Os::ModuleFileName(hModule); }

std::span<const TResourceEntry> EnumResources(HMODULE hModule) {
  std::lock_guard Guard(SysUtils::GLock);
  for (const auto& [Instance, Record] : SysUtils::Records()) {
    if (Instance == hModule) return Record.Resources;
    if (Record.ResFile && Record.Lib.ResInstance == hModule) return Record.ResFile->Resources();
  }
  return {};
}

std::span<const std::uint8_t> FindResourceData(HMODULE hModule, const char* lpName, std::uint16_t Type) {
  for (const TResourceEntry& Entry : EnumResources(hModule))
    if (Entry.Type == Type && SysUtils::SameText(Entry.Name, lpName)) return Entry.Data;
  return {};
}

}  // namespace Windows
