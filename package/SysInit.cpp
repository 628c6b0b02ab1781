// The module's entry point, as the framework's start-up unit gives every
// module: on load it puts the module on the framework's list (which reads
// its resources and finds its resource module), on unload it takes it off
// again.
#include "SysUtils.hpp"

namespace {

void ProcessDetach();
const void* AddressInModule() { return reinterpret_cast<const void*>(&ProcessDetach); }

void ProcessAttach() { SysUtils::RegisterModule(AddressInModule()); }
void ProcessDetach() { SysUtils::UnregisterModule(AddressInModule()); }

}  // namespace

#ifdef _WIN32

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD Reason, LPVOID) {
  if (Reason == DLL_PROCESS_ATTACH) ProcessAttach();
  if (Reason == DLL_PROCESS_DETACH) ProcessDetach();
  return TRUE;
}

#else

__attribute__((constructor)) static void Attach() { ProcessAttach(); }
__attribute__((destructor)) static void Detach() { ProcessDetach(); }

#endif
