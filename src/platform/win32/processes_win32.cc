// Win32 process inventory through PSAPI (NT family) or toolhelp (Windows 95
// family), both resolved by name at run time so neither is linked.
// tlhelp32.h needs windows.h first.
// clang-format off
#include <windows.h>
#include <tlhelp32.h>
// clang-format on

#include <cstring>
#include <vector>

#include "platform/processes.h"

namespace kv::platform {
namespace {

using EnumProcessesFn = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
using EnumProcessModulesFn = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, DWORD*);
using GetModuleNameFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);
using SnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
using Process32Fn = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32*);

// Room offered for a module's path: whole paths, not cut to 127 characters.
constexpr DWORD kNameRoom = 4096;

template <typename Function>
Function Resolve(HMODULE library, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}

bool UseToolhelp() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;  // 148 bytes
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const BOOL known = ::GetVersionExA(&version);
#pragma GCC diagnostic pop
  return !known || version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

std::string ModuleText(GetModuleNameFn get, HANDLE process, HMODULE module) {
  std::vector<char> buffer(kNameRoom + 1, '\0');
  const DWORD length = get(process, module, buffer.data(), kNameRoom);
  if (length == 0 || length >= kNameRoom) return {};
  return std::string(buffer.data(), length);
}

std::optional<std::vector<ProcessRecord>> ListWithPsapi() {
  HMODULE psapi = ::LoadLibraryA("PSAPI.DLL");
  if (psapi == nullptr) return std::nullopt;
  auto enum_processes = Resolve<EnumProcessesFn>(psapi, "EnumProcesses");
  auto enum_modules = Resolve<EnumProcessModulesFn>(psapi, "EnumProcessModules");
  auto file_name = Resolve<GetModuleNameFn>(psapi, "GetModuleFileNameExA");
  auto base_name = Resolve<GetModuleNameFn>(psapi, "GetModuleBaseNameA");
  // Never called, but part of what the side needs to be usable.
  auto memory_info = ::GetProcAddress(psapi, "GetProcessMemoryInfo");
  if (!enum_processes || !enum_modules || !file_name || !base_name || !memory_info) {
    return std::nullopt;
  }
  std::vector<ProcessRecord> records;
  std::vector<DWORD> ids(2048);
  DWORD bytes = 0;
  if (!enum_processes(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes)) {
    return records;
  }
  ids.resize(bytes / sizeof(DWORD));
  for (DWORD id : ids) {
    HANDLE process =
        ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE, FALSE, id);
    if (process == nullptr) continue;
    HMODULE first = nullptr;
    DWORD needed = 0;
    if (enum_modules(process, &first, sizeof first, &needed)) {
      ProcessRecord record;
      record.process_id = id;
      record.base_name = ModuleText(base_name, process, first);
      record.path = ModuleText(file_name, process, first);
      records.push_back(std::move(record));
    }
    ::CloseHandle(process);
  }
  return records;
}

std::optional<std::vector<ProcessRecord>> ListWithToolhelp() {
  HMODULE kernel = ::LoadLibraryA("KERNEL32.DLL");
  if (kernel == nullptr) return std::nullopt;
  auto snapshot_fn = Resolve<SnapshotFn>(kernel, "CreateToolhelp32Snapshot");
  auto first_fn = Resolve<Process32Fn>(kernel, "Process32First");
  auto next_fn = Resolve<Process32Fn>(kernel, "Process32Next");
  auto module_first = ::GetProcAddress(kernel, "Module32First");
  auto module_next = ::GetProcAddress(kernel, "Module32Next");
  if (!snapshot_fn || !first_fn || !next_fn || !module_first || !module_next) {
    return std::nullopt;
  }
  HANDLE snapshot = snapshot_fn(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return std::nullopt;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  if (!first_fn(snapshot, &entry)) {
    ::CloseHandle(snapshot);
    return std::nullopt;
  }
  std::vector<ProcessRecord> records;
  do {
    ProcessRecord record;
    record.process_id = entry.th32ProcessID;
    record.path.assign(entry.szExeFile, ::strnlen(entry.szExeFile, sizeof entry.szExeFile));
    const size_t slash = record.path.rfind('\\');
    record.base_name = slash == std::string::npos ? record.path : record.path.substr(slash + 1);
    records.push_back(std::move(record));
  } while (next_fn(snapshot, &entry));
  ::CloseHandle(snapshot);
  return records;
}

}  // namespace

std::optional<std::vector<ProcessRecord>> ListProcesses() {
  return UseToolhelp() ? ListWithToolhelp() : ListWithPsapi();
}

uint32_t CurrentProcessId() { return ::GetCurrentProcessId(); }

bool ProcessIsRunning(uint32_t process_id) {
  HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, process_id);
  if (process == nullptr) return ::GetLastError() != ERROR_INVALID_PARAMETER;
  const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  ::CloseHandle(process);
  return running;
}

}  // namespace kv::platform
