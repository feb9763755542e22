// The running processes and the paths of their executables.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kv::platform {

struct ProcessRecord {
  uint32_t process_id = 0;
  std::string path;       // full path of the executable, never cut
  std::string base_name;  // the path's last component
};

// A fresh inventory, in the order the system lists the processes. Windows
// resolves PSAPI (NT family) or toolhelp at run time; POSIX reads /proc and
// lists a process when its executable link can be read. Nullopt when the
// inventory cannot be taken at all.
std::optional<std::vector<ProcessRecord>> ListProcesses();

uint32_t CurrentProcessId();

// False only when no process with this id exists (one we may not inspect
// still counts as running).
bool ProcessIsRunning(uint32_t process_id);

}  // namespace kv::platform
