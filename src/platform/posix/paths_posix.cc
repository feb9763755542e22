// POSIX paths: stat for existence, identity for short names, $TMPDIR.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/paths.h"

namespace kv::platform {

bool IsFileSystemRoot(std::string_view path) { return path == "/"; }

bool PathExists(const char* path) {
  struct stat info {};
  return path != nullptr && ::stat(path, &info) == 0;
}

std::optional<std::string> ShortPathName(const char* path, size_t max_length) {
  if (!PathExists(path)) return std::nullopt;
  const size_t length = std::strlen(path);
  if (length > max_length) return std::nullopt;
  return std::string(path, length);
}

bool IsReadOnlyFile(const char* path) {
  struct stat info {};
  if (path == nullptr || ::stat(path, &info) != 0) return false;
  return (info.st_mode & S_IWUSR) == 0;
}

bool RemoveFile(const char* path) { return path != nullptr && ::unlink(path) == 0; }

bool MakePrivateFolder(const char* path) { return path != nullptr && ::mkdir(path, 0700) == 0; }

bool RemoveEmptyFolder(const char* path) {
  return path != nullptr && (::rmdir(path) == 0 || ::unlink(path) == 0);
}

std::string TemporaryFolder() {
  const char* tmpdir = std::getenv("TMPDIR");
  if (tmpdir != nullptr && *tmpdir != '\0') {
    struct stat info {};
    if (::stat(tmpdir, &info) == 0 && S_ISDIR(info.st_mode)) {
      std::string folder = tmpdir;
      if (folder.back() != '/') folder += '/';
      return folder;
    }
  }
  return "/tmp/";
}

}  // namespace kv::platform
