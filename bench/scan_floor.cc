// The floor of a folder scan: a walker that makes only the system calls no
// scanner can avoid, the reference that bench/scan-bench times kvscan
// against. Each folder is listed with one fstatat per entry (the size and
// the kind of every entry), each regular file is opened and its first two
// bytes read (the ZIP test); in full mode the one read takes the whole head
// the fingerprint hashes (2,047 bytes) instead. Links are not followed.
//
// Usage: scan_floor size|full PATH
// Prints the number of files opened and the bytes read, so that a run can be
// checked against the scanner's own count.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kZipTestLength = 2;
constexpr size_t kHeadLength = 2047;

struct Totals {
  uint64_t files = 0;
  uint64_t bytes = 0;
};

bool IsDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

void ReadHead(int folder, const char* name, size_t length, Totals* totals) {
  const int fd = ::openat(folder, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  ++totals->files;
  if (length > 0) {
    char head[kHeadLength];
    const ssize_t got = ::read(fd, head, length);
    if (got > 0) totals->bytes += static_cast<uint64_t>(got);
  }
  ::close(fd);
}

// Walks the folder open at `fd` (taken over), depth first, keeping one open
// listing per level as a scanner must.
void WalkFolder(int fd, bool full, Totals* totals) {
  std::vector<DIR*> levels;
  if (DIR* dir = ::fdopendir(fd)) {
    levels.push_back(dir);
  } else {
    ::close(fd);
  }
  while (!levels.empty()) {
    DIR* dir = levels.back();
    const dirent* found = ::readdir(dir);
    if (found == nullptr) {
      ::closedir(dir);
      levels.pop_back();
      continue;
    }
    if (IsDotOrDotDot(found->d_name)) continue;
    const int folder = ::dirfd(dir);
    struct stat info {};
    if (::fstatat(folder, found->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISDIR(info.st_mode)) {
      const int child =
          ::openat(folder, found->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (child < 0) continue;
      if (DIR* listing = ::fdopendir(child)) {
        levels.push_back(listing);
      } else {
        ::close(child);
      }
    } else if (S_ISREG(info.st_mode)) {
      const auto size = static_cast<uint64_t>(info.st_size);
      const size_t wanted = full ? kHeadLength : kZipTestLength;
      ReadHead(folder, found->d_name, size < wanted ? static_cast<size_t>(size) : wanted, totals);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "size") != 0 && std::strcmp(argv[1], "full") != 0)) {
    std::fprintf(stderr, "usage: %s size|full PATH\n", argv[0]);
    return 2;
  }
  const bool full = std::strcmp(argv[1], "full") == 0;
  const int root = ::open(argv[2], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (root < 0) {
    std::perror(argv[2]);
    return 2;
  }
  Totals totals;
  WalkFolder(root, full, &totals);
  std::printf("%llu files, %llu bytes read\n", static_cast<unsigned long long>(totals.files),
              static_cast<unsigned long long>(totals.bytes));
  return 0;
}
