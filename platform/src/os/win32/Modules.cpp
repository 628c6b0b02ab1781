// Modules on Windows: the system's loader, and the module list it keeps.
#include <memory>

#include "os/Os.hpp"
#include "os/win32/Win32.hpp"

namespace Os {

TModule LoadModule(const std::string& Path) {
  TModule Module;
  // The module's own folder is searched for what it requires (vcl40.bpl
  // beside Tessorin.bpl); that takes a full path.
  const std::wstring Full = Win32::FullPath(Path);
  HMODULE Loaded = Full.empty() ? nullptr : ::LoadLibraryExW(Full.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!Loaded) {
    Module.Error = Win32::ErrorText(::GetLastError());
    return Module;
  }
  Module.Handle = Loaded;
  Module.Instance = reinterpret_cast<Windows::HMODULE>(Loaded);
  return Module;
}

void UnloadModule(void* Handle) {
  if (Handle) ::FreeLibrary(static_cast<HMODULE>(Handle));
}

void* ModuleSymbol(void* Handle, const char* Name) {
  if (!Handle) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(Handle), Name));
}

Windows::HMODULE ModuleOfAddress(const void* Address) {
  HMODULE Module = nullptr;
  if (!Address || !::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                        static_cast<LPCWSTR>(Address), &Module))
    return 0;
  return reinterpret_cast<Windows::HMODULE>(Module);
}

std::string ModuleFileName(Windows::HMODULE Module) {
  std::wstring Name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD Length = ::GetModuleFileNameW(reinterpret_cast<HMODULE>(Module), Name.data(), DWORD(Name.size()));
    if (Length == 0) return {};
    if (Length < Name.size()) return Win32::Utf8({Name.data(), Length});
    if (Name.size() > 32768) return {};
    Name.resize(Name.size() * 2);
  }
}

bool FileExists(const std::string& Path) {
  const DWORD Attributes = ::GetFileAttributesW(Win32::FilePath(Path).c_str());
  return Attributes != INVALID_FILE_ATTRIBUTES && !(Attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The user's interface language by its abbreviation, as resource modules
// are named: "DEU", then "DE".
std::vector<std::string> LanguageNames() {
  const LCID Locale = MAKELCID(::GetUserDefaultUILanguage(), SORT_DEFAULT);
  char Name[16] = {};
  if (::GetLocaleInfoA(Locale, LOCALE_SABBREVLANGNAME, Name, sizeof Name) <= 1) return {};
  std::vector<std::string> Names{Name};
  if (Names[0].size() > 2) Names.push_back(Names[0].substr(0, 2));
  return Names;
}

}  // namespace Os
