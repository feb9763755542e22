// Private folders for the files a scan has to put on disk: a nested archive
// can only be listed by the unzip library from a file. Each scan makes its
// own, named after the process, and removes it with everything in it; the
// folders of processes that died are removed by the next process to start.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace kv::platform {

// Every scratch folder is "<temporary folder>kvserver-scan-<pid>-<n>".
inline constexpr char kScratchFolderPrefix[] = "kvserver-scan-";

class ScratchFolder {
 public:
  // A new folder in TemporaryFolder() that only the current user may enter;
  // null when none can be made.
  static std::unique_ptr<ScratchFolder> Create();
  // Removes the folder and anything left in it.
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // The folder's path, without a trailing separator.
  const std::string& path() const { return path_; }

  // Writes `size` bytes to a new file of the folder under a name of the
  // folder's own choosing; its full path, or nullopt when it cannot be
  // written (nothing is left behind then).
  std::optional<std::string> WriteFile(const void* data, size_t size);

 private:
  explicit ScratchFolder(std::string path) : path_(std::move(path)) {}

  std::string path_;
  unsigned next_file_ = 0;
};

// Removes the folder at `path` and everything in it. Links inside are
// removed, never followed. False when something could not be removed.
bool RemoveFolderTree(const std::string& path);

// Removes the scratch folders whose process is no longer running, from the
// temporary folder or from `parent`. Returns how many were removed.
int RemoveAbandonedScratchFolders();
int RemoveAbandonedScratchFolders(const std::string& parent);

}  // namespace kv::platform
