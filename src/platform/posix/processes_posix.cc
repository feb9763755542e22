// POSIX process inventory from /proc: a process is listed when the link to
// its executable can be read.
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "platform/processes.h"

namespace kv::platform {
namespace {

// The target of a symbolic link, whole, or empty when it cannot be read.
std::string ReadLinkWhole(const std::string& link) {
  std::string target(256, '\0');
  for (;;) {
    const ssize_t length = ::readlink(link.c_str(), target.data(), target.size());
    if (length <= 0) return {};
    if (static_cast<size_t>(length) < target.size()) {
      target.resize(static_cast<size_t>(length));
      return target;
    }
    if (target.size() >= 65536) return {};
    target.resize(target.size() * 2);
  }
}

bool ParseProcessId(const char* name, uint32_t* id) {
  if (*name == '\0') return false;
  uint64_t value = 0;
  for (const char* c = name; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(*c - '0');
    if (value > 0xFFFFFFFFu) return false;
  }
  *id = static_cast<uint32_t>(value);
  return true;
}

}  // namespace

std::optional<std::vector<ProcessRecord>> ListProcesses() {
  std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), &::closedir);
  if (!proc) return std::nullopt;
  std::vector<ProcessRecord> records;
  while (const dirent* entry = ::readdir(proc.get())) {
    ProcessRecord record;
    if (!ParseProcessId(entry->d_name, &record.process_id)) continue;
    record.path = ReadLinkWhole(std::string("/proc/") + entry->d_name + "/exe");
    if (record.path.empty()) continue;  // kernel thread, zombie, not ours
    const size_t slash = record.path.rfind('/');
    record.base_name = slash == std::string::npos ? record.path : record.path.substr(slash + 1);
    records.push_back(std::move(record));
  }
  return records;
}

uint32_t CurrentProcessId() { return static_cast<uint32_t>(::getpid()); }

bool ProcessIsRunning(uint32_t process_id) {
  const auto pid = static_cast<pid_t>(process_id);
  if (pid <= 0) return false;
  return ::kill(pid, 0) == 0 || errno == EPERM;
}

}  // namespace kv::platform
