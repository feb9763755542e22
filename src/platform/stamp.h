// The integrity stamp of a file, kept outside its content: bits 32 to 47 of
// the creation time on Windows, the extended attribute user.trovalen.stamp
// (four lower-case hex digits) on POSIX.
#pragma once

#include <cstdint>
#include <optional>

namespace kv::platform {

// An existing file opened for reading and writing, to read or write its
// stamp or to empty it. Opening fails for a read-only file (on POSIX: no
// owner write bit, whatever the caller's privileges) or a locked one.
class UpdatableFile {
 public:
  static std::optional<UpdatableFile> Open(const char* path);

  UpdatableFile(UpdatableFile&& other) noexcept;
  UpdatableFile& operator=(UpdatableFile&& other) noexcept;
  UpdatableFile(const UpdatableFile&) = delete;
  UpdatableFile& operator=(const UpdatableFile&) = delete;
  ~UpdatableFile();

  // The 16-bit stamp the file carries, or nullopt when there is none.
  std::optional<uint16_t> ReadStamp() const;
  // Writes the stamp, leaving every other time of the file as it was, and
  // reads it back; false when the file system did not keep it.
  bool WriteStamp(uint16_t stamp);
  // Cuts the file to 0 bytes.
  bool Truncate();

 private:
  explicit UpdatableFile(intptr_t handle) : handle_(handle) {}
  void Close();

  intptr_t handle_;
};

// Whether a stamp written on a file is still there after the file has been
// renamed over another. POSIX: yes, the attribute belongs to the file. Windows:
// no, NTFS gives a file renamed onto a name the creation time of the file
// that had the name moments before ("tunnelling").
bool StampSurvivesRename();

}  // namespace kv::platform
