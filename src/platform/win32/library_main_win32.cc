// The library's entry point. The C run-time calls it before it destroys the
// library's global objects, so their destructors know how the library is
// leaving. In programs that link the engine statically it is never called.
#include <windows.h>

#include <atomic>

#include "platform/library_state.h"

namespace kv::platform {
namespace {

std::atomic<bool> g_library_unloading{false};
std::atomic<bool> g_process_exiting{false};

}  // namespace

bool LibraryUnloading() { return g_library_unloading.load(); }
bool ProcessExiting() { return g_process_exiting.load(); }

}  // namespace kv::platform

// A non-null `reserved` at process detach means the process is ending, not
// that FreeLibrary released the library.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH) {
    if (reserved != nullptr) kv::platform::g_process_exiting.store(true);
    kv::platform::g_library_unloading.store(true);
  }
  return TRUE;
}
