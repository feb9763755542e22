// POSIX file access: read-only, non-blocking open, regular files only.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <utility>

#include "platform/files.h"
#include "platform/posix/open_regular_file.h"

namespace kv::platform {
namespace {

// File times tick with the kernel's clock, a few milliseconds apart; two
// seconds leave room for slower file systems too.
constexpr uint64_t kUnsettledNanoseconds = 2'000'000'000u;

}  // namespace

int OpenRegularFileAt(int folder, const char* name, bool follow_link, uint64_t* size) {
  const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (follow_link ? 0 : O_NOFOLLOW);
  const int fd = ::openat(folder, name, flags);
  if (fd < 0) return -1;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return -1;
  }
  *size = static_cast<uint64_t>(info.st_size);
  return fd;
}

std::optional<InputFile> InputFile::Open(const char* path, Sharing) {
  if (path == nullptr) return std::nullopt;
  uint64_t size = 0;
  const int fd = OpenRegularFileAt(AT_FDCWD, path, true, &size);
  if (fd < 0) return std::nullopt;
  return InputFile(fd, size);
}

InputFile::InputFile(InputFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)),
      opened_size_(std::exchange(other.opened_size_, std::nullopt)) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, -1);
    opened_size_ = std::exchange(other.opened_size_, std::nullopt);
  }
  return *this;
}

InputFile::~InputFile() { Close(); }

void InputFile::Close() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  handle_ = -1;
}

std::optional<uint64_t> InputFile::Size() const {
  if (opened_size_) return opened_size_;  // the open's own check found it
  struct stat info {};
  if (::fstat(static_cast<int>(handle_), &info) != 0) return std::nullopt;
  return static_cast<uint64_t>(info.st_size);
}

size_t InputFile::ReadUpTo(void* buffer, size_t length) {
  size_t total = 0;
  auto* next = static_cast<char*>(buffer);
  while (total < length) {
    const ssize_t got = ::read(static_cast<int>(handle_), next + total, length - total);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    total += static_cast<size_t>(got);
  }
  return total;
}

bool InputFile::ReadExactly(void* buffer, size_t length) {
  return ReadUpTo(buffer, length) == length;
}

uint32_t GetFileSizeByName(const char* path, uint32_t* high) {
  struct stat info {};
  if (path == nullptr || ::stat(path, &info) != 0 || S_ISDIR(info.st_mode)) {
    return 0xFFFFFFFFu;
  }
  const auto size = static_cast<uint64_t>(info.st_size);
  if (high != nullptr) *high = static_cast<uint32_t>(size >> 32);
  return static_cast<uint32_t>(size);
}

std::optional<FileVersion> QueryFileVersion(const char* path) {
  struct stat info {};
  if (path == nullptr || ::stat(path, &info) != 0) return std::nullopt;
  auto nanoseconds = [](const struct timespec& time) {
    return static_cast<uint64_t>(time.tv_sec) * 1'000'000'000u +
           static_cast<uint64_t>(time.tv_nsec);
  };
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const uint64_t latest = std::max(nanoseconds(info.st_mtim), nanoseconds(info.st_ctim));
  FileVersion version;
  version.volume = static_cast<uint64_t>(info.st_dev);
  version.file = static_cast<uint64_t>(info.st_ino);
  version.size = static_cast<uint64_t>(info.st_size);
  version.modified = nanoseconds(info.st_mtim);
  version.changed = nanoseconds(info.st_ctim);
  version.settled = nanoseconds(now) > latest + kUnsettledNanoseconds;
  return version;
}

bool WriteNewFile(const char* path, const void* data, size_t size) {
  if (path == nullptr) return false;
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const auto* next = static_cast<const char*>(data);
  size_t written = 0;
  while (written < size) {
    const ssize_t put = ::write(fd, next + written, size - written);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) break;
    written += static_cast<size_t>(put);
  }
  const bool complete = ::close(fd) == 0 && written == size;
  if (!complete) ::unlink(path);
  return complete;
}

}  // namespace kv::platform
