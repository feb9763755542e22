// Dynamic libraries loaded by name at run time, and the process itself.
#pragma once

#include <cstdint>
#include <string>

namespace kv::platform {

// File name of the unzip library the archive scanner uses.
extern const char* const kUnzipLibraryName;

// Loads a library by name; the engine never unloads what it loads. POSIX looks beside the
// engine's own library first, then through the system search; Windows uses
// the system's library search order. Null when it cannot be loaded.
void* LoadLibraryByName(const char* name);

// The address of an exported symbol, or null.
void* FindLibrarySymbol(void* library, const char* symbol);

// Releases a library from LoadLibraryByName: the last release destroys its
// global objects and unmaps it. False when the system refuses.
bool UnloadLibrary(void* library);

// Full path of the executable that started the process (not of the engine
// library), symbolic links resolved; empty when it cannot be obtained.
std::string HostExecutablePath();

// Ends the current process at once with exit code 0, releasing nothing.
// Returns 0 only when the process cannot be opened for termination.
int32_t TerminateCurrentProcess();

}  // namespace kv::platform
