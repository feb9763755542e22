// POSIX files for the unzip library: pread on a descriptor, lstat, open
// with O_NOFOLLOW.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform_files.h"

namespace kv::unzip32 {

const char kPathSeparator = '/';

namespace {

int Descriptor(intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

std::unique_ptr<ArchiveFile> ArchiveFile::Open(const char* path) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  std::unique_ptr<ArchiveFile> file(new ArchiveFile());
  file->handle_ = fd;
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return nullptr;
  file->identity_.path = path;
  file->identity_.volume = static_cast<uint64_t>(status.st_dev);
  file->identity_.file_id = static_cast<uint64_t>(status.st_ino);
  file->identity_.size = static_cast<uint64_t>(status.st_size);
  file->identity_.modified =
      static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
  return file;
}

ArchiveFile::~ArchiveFile() {
  if (handle_ >= 0) ::close(Descriptor(handle_));
}

bool ArchiveFile::ReadAt(uint64_t offset, std::span<uint8_t> out) {
  if (offset > identity_.size || out.size() > identity_.size - offset) return false;
  size_t done = 0;
  while (done < out.size()) {
    const ssize_t got = ::pread(Descriptor(handle_), out.data() + done, out.size() - done,
                                static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

PathKind InspectPath(const std::string& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    return errno == ENOENT ? PathKind::kMissing : PathKind::kOther;
  }
  if (S_ISDIR(status.st_mode)) return PathKind::kFolder;
  if (S_ISREG(status.st_mode)) return PathKind::kFile;
  return PathKind::kOther;
}

bool MakeFolder(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

std::unique_ptr<OutputFile> OutputFile::Create(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  std::unique_ptr<OutputFile> file(new OutputFile());
  file->handle_ = fd;
  return file;
}

OutputFile::~OutputFile() { Close(); }

bool OutputFile::Write(std::span<const uint8_t> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::write(Descriptor(handle_), bytes.data() + done, bytes.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<size_t>(put);
  }
  return true;
}

bool OutputFile::Close() {
  if (handle_ < 0) return true;
  const bool closed = ::close(Descriptor(handle_)) == 0;
  handle_ = -1;
  return closed;
}

}  // namespace kv::unzip32
