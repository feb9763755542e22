// POSIX stamp store: the extended attribute user.trovalen.stamp, holding the
// stamp as four lower-case hex digits.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>
#include <utility>

#include "platform/stamp.h"

namespace kv::platform {
namespace {

constexpr const char* kStampAttribute = "user.trovalen.stamp";

int Fd(intptr_t handle) { return static_cast<int>(handle); }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::optional<UpdatableFile> UpdatableFile::Open(const char* path) {
  if (path == nullptr) return std::nullopt;
  const int fd = ::open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  // A list the user made read-only is refused even where the caller (root)
  // could write it.
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || (info.st_mode & S_IWUSR) == 0) {
    ::close(fd);
    return std::nullopt;
  }
  return UpdatableFile(fd);
}

UpdatableFile::UpdatableFile(UpdatableFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)) {}

UpdatableFile& UpdatableFile::operator=(UpdatableFile&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, -1);
  }
  return *this;
}

UpdatableFile::~UpdatableFile() { Close(); }

void UpdatableFile::Close() {
  if (handle_ >= 0) ::close(Fd(handle_));
  handle_ = -1;
}

std::optional<uint16_t> UpdatableFile::ReadStamp() const {
  char text[8] = {};
  const ssize_t length = ::fgetxattr(Fd(handle_), kStampAttribute, text, sizeof text);
  if (length != 4) return std::nullopt;
  unsigned value = 0;
  for (int i = 0; i < 4; ++i) {
    const int digit = HexDigit(text[i]);
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<unsigned>(digit);
  }
  return static_cast<uint16_t>(value);
}

bool UpdatableFile::WriteStamp(uint16_t stamp) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(stamp));
  if (::fsetxattr(Fd(handle_), kStampAttribute, text, 4, 0) != 0) return false;
  return ReadStamp() == stamp;
}

bool UpdatableFile::Truncate() {
  return ::ftruncate(Fd(handle_), 0) == 0 && ::lseek(Fd(handle_), 0, SEEK_SET) == 0;
}

bool StampSurvivesRename() { return true; }

}  // namespace kv::platform
