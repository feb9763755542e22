// POSIX replacement files: created with O_EXCL beside the file that the
// target's links lead to, given its mode and owner, synced with fsync, and
// renamed over it; the folder is synced after the rename.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <utility>
#include <vector>

#include "platform/replacement_file.h"

namespace kv::platform {
namespace {

// As many links as the kernel follows before it gives up with ELOOP.
constexpr int kMaxLinkHops = 40;

int Fd(intptr_t handle) { return static_cast<int>(handle); }

// The folder part of `path` with its trailing '/', or "" for a bare name.
std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The path that `path` finally names once every symbolic link on its last
// part is followed; a link to a missing file leads to that missing file.
// Nullopt for a loop of links or one that cannot be read.
std::optional<std::string> FollowLinks(std::string path) {
  for (int hops = 0; hops <= kMaxLinkHops; ++hops) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    std::vector<char> text(static_cast<size_t>(info.st_size) + 2);
    const ssize_t length = ::readlink(path.c_str(), text.data(), text.size());
    if (length <= 0 || static_cast<size_t>(length) >= text.size()) return std::nullopt;
    const std::string link(text.data(), static_cast<size_t>(length));
    path = link[0] == '/' ? link : FolderOf(path) + link;
  }
  return std::nullopt;
}

// Gives the new file what the old one had: permission bits, then owner and
// group where they differ (which takes privileges unless only the group
// changes to one of the caller's own).
bool CopyModeAndOwner(int fd, const struct stat& old_info) {
  if (::fchmod(fd, old_info.st_mode & 07777) != 0) return false;
  struct stat info {};
  if (::fstat(fd, &info) != 0) return false;
  if (info.st_uid == old_info.st_uid && info.st_gid == old_info.st_gid) return true;
  return ::fchown(fd, old_info.st_uid, old_info.st_gid) == 0 &&
         ::fchmod(fd, old_info.st_mode & 07777) == 0;  // chown drops set-id bits
}

bool SyncFolder(const std::string& file) {
  const std::string folder = FolderOf(file);
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  return synced;
}

}  // namespace

std::optional<ReplacementFile> ReplacementFile::Create(const char* target) {
  if (target == nullptr || *target == '\0') return std::nullopt;
  const std::optional<std::string> final_target = FollowLinks(target);
  if (!final_target) return std::nullopt;
  struct stat old_info {};
  const bool exists = ::stat(final_target->c_str(), &old_info) == 0;
  if (exists && !S_ISREG(old_info.st_mode)) return std::nullopt;

  static std::atomic<unsigned> counter{0};
  const std::string stem = *final_target + ".new-" + std::to_string(::getpid()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string path = stem + std::to_string(counter++);
    // 0666 less the umask: what the target would have had if created anew.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return std::nullopt;
    }
    ReplacementFile file(fd, std::move(path), *final_target);
    if (exists && !CopyModeAndOwner(fd, old_info)) return std::nullopt;  // removed again
    return file;
  }
  return std::nullopt;
}

void ReplacementFile::RemoveNewFile() { ::unlink(path_.c_str()); }

void ReplacementFile::Close() {
  if (handle_ != kNoHandle) ::close(Fd(handle_));
  handle_ = kNoHandle;
}

bool ReplacementFile::Write(const void* data, size_t length) {
  if (handle_ == kNoHandle) return false;
  const auto* next = static_cast<const char*>(data);
  while (length > 0) {
    const ssize_t written = ::write(Fd(handle_), next, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;  // ENOSPC, EFBIG (SIGXFSZ ignored), EIO
    next += written;
    length -= static_cast<size_t>(written);
  }
  return true;
}

bool ReplacementFile::Finish() {
  if (handle_ == kNoHandle) return false;
  const bool synced = ::fsync(Fd(handle_)) == 0;
  const bool closed = ::close(Fd(std::exchange(handle_, kNoHandle))) == 0;
  return synced && closed;
}

bool ReplacementFile::Commit() {
  if (handle_ != kNoHandle || path_.empty() || committed_) return false;  // not finished
  if (::rename(path_.c_str(), target_.c_str()) != 0) return false;
  committed_ = true;
  // The rename has happened and is seen by every reader; a folder that
  // cannot be synced only leaves its durability to the file system's own
  // schedule, so it does not undo the replacement.
  SyncFolder(target_);
  return true;
}

}  // namespace kv::platform
