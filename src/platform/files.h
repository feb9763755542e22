// File access for the engine core: opening existing files for reading with
// the sharing the engine promises other processes, and file sizes by name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace kv::platform {

// What other parties may do with a file while the engine holds it open.
// Windows enforces it; POSIX has no sharing modes and opens either way.
enum class Sharing {
  kReadWrite,  // data files: verified or loaded while another process writes
  kReadOnly,   // scanned files: a file held open for writing is not opened
};

// An existing regular file opened for reading. Folders, devices and pipes
// are refused so that nothing blocks or reads as empty.
class InputFile {
 public:
  static std::optional<InputFile> Open(const char* path, Sharing sharing = Sharing::kReadWrite);

  InputFile(InputFile&& other) noexcept;
  InputFile& operator=(InputFile&& other) noexcept;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();

  // The file's size in bytes, or nullopt when it cannot be queried. Where
  // opening already looked at the file (POSIX checks that it is a regular
  // file), the size it found then.
  std::optional<uint64_t> Size() const;

  // Reads exactly `length` bytes from the current position; false when the
  // file ends first or a read fails.
  bool ReadExactly(void* buffer, size_t length);

  // Reads up to `length` bytes; returns how many were read (0 on error).
  size_t ReadUpTo(void* buffer, size_t length);

 private:
  friend class DirectoryListing;  // opens files relative to a folder
  explicit InputFile(intptr_t handle, std::optional<uint64_t> opened_size = std::nullopt)
      : handle_(handle), opened_size_(opened_size) {}
  void Close();

  intptr_t handle_;
  std::optional<uint64_t> opened_size_;  // as the open found it, where it looked
};

// The size of an existing file, found without opening it for reading or
// writing: the low 32 bits are returned and the high 32 bits stored in `high`
// when it is given. 0xFFFFFFFF when there is no such file (or it cannot be
// queried).
uint32_t GetFileSizeByName(const char* path, uint32_t* high = nullptr);

// One state of a file: which file it is, its size and its times (the last
// change of content, and the change of its attributes on POSIX or its
// creation time on Windows, where each platform keeps the stamp). A file
// rewritten, restamped or replaced by another gets a different version.
struct FileVersion {
  uint64_t volume = 0;
  uint64_t file = 0;
  uint64_t size = 0;
  uint64_t modified = 0;
  uint64_t changed = 0;
  // False while the file changed so recently that a further change could
  // still leave the same times (file system clocks tick coarsely): such a
  // version proves nothing.
  bool settled = false;

  bool operator==(const FileVersion&) const = default;
};

// The version of the file at `path`; nullopt when it cannot be queried.
std::optional<FileVersion> QueryFileVersion(const char* path);

// Writes `size` bytes to a new file at `path`, which must not exist yet (not
// even as a link): created for the current user alone. On failure the file
// is removed again and false returned.
bool WriteNewFile(const char* path, const void* data, size_t size);

}  // namespace kv::platform
