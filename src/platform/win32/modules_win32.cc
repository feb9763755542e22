// Win32 libraries and process control.
#include <windows.h>

#include "platform/modules.h"

namespace kv::platform {

const char* const kUnzipLibraryName = "unzip32.dll";

void* LoadLibraryByName(const char* name) {
  if (name == nullptr) return nullptr;
  return reinterpret_cast<void*>(::LoadLibraryA(name));
}

void* FindLibrarySymbol(void* library, const char* symbol) {
  if (library == nullptr || symbol == nullptr) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), symbol));
}

bool UnloadLibrary(void* library) {
  return library != nullptr && ::FreeLibrary(static_cast<HMODULE>(library)) != 0;
}

std::string HostExecutablePath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

int32_t TerminateCurrentProcess() {
  HANDLE self = ::OpenProcess(PROCESS_TERMINATE, FALSE, ::GetCurrentProcessId());
  if (self == nullptr) return 0;
  const BOOL terminated = ::TerminateProcess(self, 0);
  ::CloseHandle(self);
  return terminated ? 1 : 0;
}

}  // namespace kv::platform
