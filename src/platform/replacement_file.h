// Replacing a file in one step: the new content goes to a file of its own
// beside the target, is made durable, and is then renamed over the target,
// so that a reader (or a crash) finds either the old file or the whole new
// one, never a part.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace kv::platform {

class ReplacementFile {
 public:
  // Creates an empty new file in the folder of the file that `target`
  // finally names (a symbolic link is followed to its target, which is then
  // replaced while the link stays). When that file exists it must be a
  // regular file, and the new one gets its permissions and owner (POSIX) or
  // its attributes (Windows; the new file takes the folder's inherited
  // access rights and the caller as owner, as any new file there does).
  // Nullopt when the new file cannot be created or given what it must keep.
  static std::optional<ReplacementFile> Create(const char* target);

  ReplacementFile(ReplacementFile&& other) noexcept;
  ReplacementFile& operator=(ReplacementFile&& other) noexcept;
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;
  // Removes the new file unless it was committed.
  ~ReplacementFile();

  // The new file, and the file it is to replace (links followed).
  const std::string& path() const { return path_; }
  const std::string& target() const { return target_; }

  // Appends bytes; false when not all of them were written (a full disk, a
  // size limit), after which the new file must not be committed.
  bool Write(const void* data, size_t length);
  // Makes the content durable and closes the file; false when either fails.
  bool Finish();
  // Renames the finished file over the target, replacing it, and makes the
  // rename durable. False when the rename failed: the target is untouched.
  bool Commit();

 private:
  ReplacementFile(intptr_t handle, std::string path, std::string target)
      : handle_(handle), path_(std::move(path)), target_(std::move(target)) {}
  // No open file: -1 on POSIX, INVALID_HANDLE_VALUE on Windows.
  static constexpr intptr_t kNoHandle = -1;

  void Close();
  void RemoveNewFile();
  // Closes the file and removes it unless it was committed.
  void Discard();

  intptr_t handle_;
  std::string path_;
  std::string target_;
  bool committed_ = false;
};

}  // namespace kv::platform
