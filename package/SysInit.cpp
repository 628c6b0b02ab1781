// The module's entry point, as the framework's start-up unit gives every
// module: on load it puts the module on the framework's list (which finds
// its resource module), on unload it takes it off again.
#include "SysUtils.hpp"
#include "Windows.hpp"

extern "C" const Windows::TResourceEntry* VclResourceTable(std::size_t* Count);

namespace {

const void* AddressInModule() { return reinterpret_cast<const void*>(&VclResourceTable); }

__attribute__((constructor)) void ProcessAttach() { SysUtils::RegisterModule(AddressInModule(), &VclResourceTable); }

__attribute__((destructor)) void ProcessDetach() { SysUtils::UnregisterModule(AddressInModule()); }

}  // namespace
