#include <cstdlib>
#include <dlfcn.h>
#include <sys/stat.h>

#include "os/Os.hpp"

namespace Os {

TModule LoadModule(const std::string& Path) {
  TModule Module;
  // RTLD_LOCAL keeps one package's symbols from satisfying another's.
  Module.Handle = dlopen(Path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!Module.Handle) {
    const char* Error = dlerror();
    Module.Error = Error ? Error : "cannot load";
    return Module;
  }
  // Any symbol's address tells the load address; the module may have none
  // of its own, so ask for the base through the link map.
  Dl_info Info{};
  void* Any = dlsym(Module.Handle, Windows::ResourceTableSymbol);
  if (!Any) Any = dlsym(Module.Handle, "GetPackageInfoTable");
  if (Any && dladdr(Any, &Info)) Module.Instance = reinterpret_cast<Windows::HMODULE>(Info.dli_fbase);
  if (!Module.Instance) {
    dlclose(Module.Handle);
    Module.Handle = nullptr;
    Module.Error = "not a module of this framework: it exports neither resources nor package entry points";
  }
  return Module;
}

void UnloadModule(void* Handle) {
  if (Handle) dlclose(Handle);
}

void* ModuleSymbol(void* Handle, const char* Name) { return Handle ? dlsym(Handle, Name) : nullptr; }

Windows::HMODULE ModuleOfAddress(const void* Address) {
  Dl_info Info{};
  if (!dladdr(Address, &Info)) return 0;
  return reinterpret_cast<Windows::HMODULE>(Info.dli_fbase);
}

std::string ModuleFileName(Windows::HMODULE Module) {
  Dl_info Info{};
  if (!Module || !dladdr(reinterpret_cast<const void*>(Module), &Info) || !Info.dli_fname) return {};
  return Info.dli_fname;
}

bool FileExists(const std::string& Path) {
  struct stat Status {};
  return stat(Path.c_str(), &Status) == 0 && S_ISREG(Status.st_mode);
}

std::vector<std::string> LanguageNames() {
  std::string Locale;
  for (const char* Variable : {"LC_ALL", "LC_MESSAGES", "LANG"})
    if (const char* Value = std::getenv(Variable); Value && *Value) {
      Locale = Value;
      break;
    }
  Locale = Locale.substr(0, Locale.find_first_of(".@"));
  if (Locale.empty() || Locale == "C" || Locale == "POSIX") return {};
  std::vector<std::string> Names{Locale};
  if (const auto Underscore = Locale.find('_'); Underscore != std::string::npos)
    Names.push_back(Locale.substr(0, Underscore));
  return Names;
}

}  // namespace Os
