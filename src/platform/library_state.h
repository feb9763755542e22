// The engine library's own lifetime, as the system reports it to the
// library's entry point (Windows); POSIX reports neither state.
#pragma once

namespace kv::platform {

// True once the library is being released (FreeLibrary or process exit):
// from then on, waiting for one of its threads to end would wait for the
// loader lock that the releasing thread holds.
bool LibraryUnloading();

// True once the process is ending with the library still loaded: every
// other thread is already gone, perhaps in the middle of holding a lock, so
// the engine's teardown must be skipped (the system reclaims everything).
bool ProcessExiting();

}  // namespace kv::platform
