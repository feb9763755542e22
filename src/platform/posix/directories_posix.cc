// POSIX folder listings: opendir/readdir with one fstatat per entry; folders
// and files are opened relative to the listing's descriptor, never through a
// link to a folder, and never blocking on a pipe.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/directories.h"
#include "platform/posix/open_regular_file.h"

namespace kv::platform {

struct DirectoryListing::State {
  DIR* dir = nullptr;
  ~State() {
    if (dir != nullptr) ::closedir(dir);
  }
};

namespace {

bool IsDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// A listing over an open folder descriptor, which it takes over.
std::unique_ptr<DirectoryListing::State> ListDescriptor(int fd) {
  if (fd < 0) return nullptr;
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return nullptr;
  }
  auto state = std::make_unique<DirectoryListing::State>();
  state->dir = dir;
  return state;
}

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC;

}  // namespace

PathKind GetPathKind(const char* path) {
  struct stat info {};
  if (path == nullptr || ::stat(path, &info) != 0) return PathKind::kMissing;
  return S_ISDIR(info.st_mode) ? PathKind::kFolder : PathKind::kFile;
}

DirectoryListing::DirectoryListing(std::unique_ptr<State> state) : state_(std::move(state)) {}
DirectoryListing::~DirectoryListing() = default;

std::unique_ptr<DirectoryListing> DirectoryListing::Open(const char* path) {
  if (path == nullptr) return nullptr;
  auto state = ListDescriptor(::open(path, kFolderFlags));
  if (!state) return nullptr;
  return std::unique_ptr<DirectoryListing>(new DirectoryListing(std::move(state)));
}

bool DirectoryListing::Next(DirectoryEntry* entry) {
  const int folder = ::dirfd(state_->dir);
  for (;;) {
    const dirent* found = ::readdir(state_->dir);
    if (found == nullptr) return false;
    if (IsDotOrDotDot(found->d_name)) continue;
    entry->name = found->d_name;
    entry->size = 0;
    struct stat info {};
    if (::fstatat(folder, found->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
      entry->kind = EntryKind::kOther;  // vanished since it was listed
      return true;
    }
    const bool link = S_ISLNK(info.st_mode);
    // Only a link costs a second look: at what it points to.
    if (link && ::fstatat(folder, found->d_name, &info, 0) != 0) {
      entry->kind = EntryKind::kOther;  // broken link
      return true;
    }
    if (S_ISDIR(info.st_mode)) {
      entry->kind = link ? EntryKind::kLinkedFolder : EntryKind::kFolder;
    } else if (S_ISREG(info.st_mode)) {
      entry->kind = EntryKind::kFile;
      entry->size = static_cast<uint64_t>(info.st_size);
    } else {
      entry->kind = EntryKind::kOther;
    }
    return true;
  }
}

std::unique_ptr<DirectoryListing> DirectoryListing::OpenFolder(const char* name,
                                                               const char*) const {
  // O_NOFOLLOW: a folder swapped for a link after it was listed is refused.
  auto state = ListDescriptor(::openat(::dirfd(state_->dir), name, kFolderFlags | O_NOFOLLOW));
  if (!state) return nullptr;
  return std::unique_ptr<DirectoryListing>(new DirectoryListing(std::move(state)));
}

std::optional<InputFile> DirectoryListing::OpenFile(const char* name, const char*, Sharing) const {
  uint64_t size = 0;
  const int fd = OpenRegularFileAt(::dirfd(state_->dir), name, &size);
  if (fd < 0) return std::nullopt;
  return InputFile(fd, size);
}

}  // namespace kv::platform
