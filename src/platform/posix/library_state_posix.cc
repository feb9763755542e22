// POSIX has no library entry point: an unloaded or exiting library runs its
// global destructors with the process's threads still alive.
#include "platform/library_state.h"

namespace kv::platform {

bool LibraryUnloading() { return false; }
bool ProcessExiting() { return false; }

}  // namespace kv::platform
