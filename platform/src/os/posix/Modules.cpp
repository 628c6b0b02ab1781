#include <cstdlib>
#include <dlfcn.h>
#include <link.h>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>

#include "os/Os.hpp"

namespace Os {

namespace {

Windows::HMODULE BaseOf(const void* Address) {
  Dl_info Info{};
  if (!Address || !dladdr(Address, &Info)) return 0;
  return reinterpret_cast<Windows::HMODULE>(Info.dli_fbase);
}

}  // namespace

TModule LoadModule(const std::string& Path) {
  TModule Module;
  // A bare name would be looked for along the library search path; the
  // caller means the file in the current folder.
  const std::string File = Path.find('/') == std::string::npos ? "./" + Path : Path;
  // RTLD_LOCAL keeps one package's symbols from satisfying another's.
  Module.Handle = dlopen(File.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!Module.Handle) {
    const char* Error = dlerror();
    Module.Error = Error ? Error : "cannot load";
    return Module;
  }
  // The module's own load address, from its entry in the link map.
  link_map* Map = nullptr;
  if (dlinfo(Module.Handle, RTLD_DI_LINKMAP, &Map) == 0 && Map) Module.Instance = BaseOf(Map->l_ld);
  if (!Module.Instance) {
    dlclose(Module.Handle);
    Module.Handle = nullptr;
    Module.Error = "cannot tell where the module was loaded";
  }
  return Module;
}

void UnloadModule(void* Handle) {
  if (Handle) dlclose(Handle);
}

void* ModuleSymbol(void* Handle, const char* Name) {
  if (!Handle) return nullptr;
  void* Symbol = dlsym(Handle, Name);
  // dlsym also searches what the module depends on; only the module's own
  // symbols count.
  link_map* Map = nullptr;
  if (!Symbol || dlinfo(Handle, RTLD_DI_LINKMAP, &Map) != 0 || !Map) return nullptr;
  return BaseOf(Symbol) == BaseOf(Map->l_ld) ? Symbol : nullptr;
}

Windows::HMODULE ModuleOfAddress(const void* Address) { return BaseOf(Address); }

std::string ModuleFileName(Windows::HMODULE Module) {
  if (!Module) {
    char Path[PATH_MAX];
    const ssize_t Length = readlink("/proc/self/exe", Path, sizeof Path);
    return Length > 0 && std::size_t(Length) < sizeof Path ? std::string(Path, std::size_t(Length)) : std::string();
  }
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
