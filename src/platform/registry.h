// The product's machine-wide settings: the registry key
// HKLM\SOFTWARE\Orlenwick\Trovalen on Windows, a text file on POSIX.
#pragma once

#include <optional>
#include <string>

namespace kv::platform {

// Longest value text the engine accepts (a 260-byte buffer with its NUL).
inline constexpr size_t kMaxSettingLength = 259;

// Reads the named value afresh. Windows opens the key with RegCreateKeyExA
// (creating it where the caller may) and queries at most 260 bytes; a value
// that does not fit fails. POSIX reads the file named by TROVALEN_REGISTRY
// (when set and not empty) or /etc/trovalen/registry: "name=value" lines,
// names compared without regard to ASCII case, first match wins, '#' starts
// a comment line. Nullopt when the key, file or value is missing, empty, or
// longer than kMaxSettingLength.
std::optional<std::string> ReadSetting(const char* name);

}  // namespace kv::platform
