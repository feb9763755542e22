// Win32 settings: values of HKLM\SOFTWARE\Orlenwick\Trovalen, read afresh.
#include <windows.h>

#include <cstring>

#include "platform/registry.h"

namespace kv::platform {

std::optional<std::string> ReadSetting(const char* name) {
  if (name == nullptr) return std::nullopt;
  HKEY key = nullptr;
  if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orlenwick\\Trovalen", 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_READ, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  char buffer[kMaxSettingLength + 1] = {};
  DWORD size = sizeof buffer;
  const LONG status =
      ::RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
  ::RegCloseKey(key);
  if (status != ERROR_SUCCESS) return std::nullopt;
  // The stored data need not end with a NUL: the text ends at the first NUL
  // or at the end of the data, and must leave room for one.
  const size_t length = ::strnlen(buffer, size);
  if (length == 0 || length > kMaxSettingLength) return std::nullopt;
  return std::string(buffer, length);
}

}  // namespace kv::platform
