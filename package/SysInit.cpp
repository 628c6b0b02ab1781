// The module's entry point, as the framework's start-up unit gives every
// module: on load it puts the module on the framework's list (which reads
// its resources and finds its resource module), on unload it takes it off
// again.
#include "SysUtils.hpp"

namespace {

void ProcessDetach();
const void* AddressInModule() { return reinterpret_cast<const void*>(&ProcessDetach); }

__attribute__((constructor)) void ProcessAttach() { SysUtils::RegisterModule(AddressInModule()); }

__attribute__((destructor)) void ProcessDetach() { SysUtils::UnregisterModule(AddressInModule()); }

}  // namespace
