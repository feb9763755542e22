// POSIX libraries and process control: dlopen beside the engine first.
#include <dlfcn.h>
#include <unistd.h>

#include <string>

#include "platform/modules.h"

namespace kv::platform {

const char* const kUnzipLibraryName = "libunzip32.so";

namespace {

// Folder of the shared object that holds this code, with a trailing '/', or
// empty when it cannot be told.
std::string OwnLibraryFolder() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&OwnLibraryFolder), &info) == 0 ||
      info.dli_fname == nullptr) {
    return {};
  }
  std::string path = info.dli_fname;
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  path.resize(slash + 1);
  return path;
}

}  // namespace

void* LoadLibraryByName(const char* name) {
  if (name == nullptr) return nullptr;
  const std::string beside = OwnLibraryFolder();
  if (!beside.empty()) {
    if (void* library = ::dlopen((beside + name).c_str(), RTLD_NOW)) {
      return library;
    }
  }
  return ::dlopen(name, RTLD_NOW);
}

void* FindLibrarySymbol(void* library, const char* symbol) {
  if (library == nullptr || symbol == nullptr) return nullptr;
  return ::dlsym(library, symbol);
}

bool UnloadLibrary(void* library) { return library != nullptr && ::dlclose(library) == 0; }

std::string HostExecutablePath() {
  std::string path(256, '\0');
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length < 0) return {};
    if (static_cast<size_t>(length) < path.size()) {
      path.resize(static_cast<size_t>(length));
      return path;
    }
    path.resize(path.size() * 2);
  }
}

int32_t TerminateCurrentProcess() { ::_exit(0); }

}  // namespace kv::platform
