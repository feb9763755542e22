// Win32 paths: file attributes, GetShortPathNameA, GetTempPathA.
#include <windows.h>

#include <vector>

#include "platform/paths.h"

namespace kv::platform {

bool IsFileSystemRoot(std::string_view) { return false; }

bool PathExists(const char* path) {
  return path != nullptr && ::GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::string> ShortPathName(const char* path, size_t max_length) {
  if (path == nullptr) return std::nullopt;
  std::vector<char> buffer(max_length + 1, '\0');
  const DWORD room = static_cast<DWORD>(buffer.size());
  const DWORD length = ::GetShortPathNameA(path, buffer.data(), room);
  // 0 is failure; a result not smaller than the room is the size it needs.
  if (length == 0 || length >= room) return std::nullopt;
  return std::string(buffer.data(), length);
}

bool IsReadOnlyFile(const char* path) {
  if (path == nullptr) return false;
  const DWORD attributes = ::GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
         (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool RemoveFile(const char* path) { return path != nullptr && ::DeleteFileA(path) != 0; }

bool MakePrivateFolder(const char* path) {
  return path != nullptr && ::CreateDirectoryA(path, nullptr) != 0;
}

bool RemoveEmptyFolder(const char* path) {
  return path != nullptr && ::RemoveDirectoryA(path) != 0;
}

std::string TemporaryFolder() {
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathA(sizeof buffer, buffer);
  if (length == 0 || length >= sizeof buffer) return ".\\";
  return std::string(buffer, length);
}

}  // namespace kv::platform
