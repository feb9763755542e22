// POSIX folder listings: opendir/readdir, taking each entry's kind from the
// listing itself and looking at the entry with fstatat only where the
// listing cannot tell (links, and file systems that leave the type out).
// Folders and files are opened relative to the listing's descriptor, never
// through a link to a folder, and never blocking on a pipe.
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
  // The name of the entry Next() listed last, and whether it was a link
  // (to a file): only such an entry is opened through a link.
  const char* listed_name = nullptr;
  bool listed_link = false;
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

// The kind of the entry `name` that the listing could not give, found with
// fstatat; `link` when the listing did say it is a link.
EntryKind LookUpKind(DirectoryListing::State& state, const char* name, bool link) {
  const int folder = ::dirfd(state.dir);
  struct stat info {};
  if (!link) {
    if (::fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
      return EntryKind::kOther;  // vanished since it was listed
    }
    link = S_ISLNK(info.st_mode);
  }
  // A link is looked at once more: at what it points to.
  if (link && ::fstatat(folder, name, &info, 0) != 0) return EntryKind::kOther;  // broken
  state.listed_link = link;
  if (S_ISDIR(info.st_mode)) return link ? EntryKind::kLinkedFolder : EntryKind::kFolder;
  if (S_ISREG(info.st_mode)) return EntryKind::kFile;
  return EntryKind::kOther;
}

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
  for (;;) {
    const dirent* found = ::readdir(state_->dir);
    if (found == nullptr) return false;
    if (IsDotOrDotDot(found->d_name)) continue;
    entry->name = found->d_name;
    state_->listed_name = found->d_name;
    state_->listed_link = false;
    switch (found->d_type) {
      case DT_REG:
        // The open checks again that it is a regular file, and finds its
        // size then.
        entry->kind = EntryKind::kFile;
        return true;
      case DT_DIR:
        entry->kind = EntryKind::kFolder;
        return true;
      case DT_FIFO:
      case DT_CHR:
      case DT_BLK:
      case DT_SOCK:
        entry->kind = EntryKind::kOther;
        return true;
      default:  // a link, or a type the file system did not give
        entry->kind = LookUpKind(*state_, found->d_name, found->d_type == DT_LNK);
        return true;
    }
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
  // The entry just listed as a file, not a link, is opened without
  // following one: a link put in its place since is refused.
  const bool follow = name != state_->listed_name || state_->listed_link;
  uint64_t size = 0;
  const int fd = OpenRegularFileAt(::dirfd(state_->dir), name, follow, &size);
  if (fd < 0) return std::nullopt;
  return InputFile(fd, size);
}

}  // namespace kv::platform
