// The few file operations the library needs from the operating system:
// archives opened for random reads with the identity the cache keys on,
// and the folders and files that extraction writes.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "reader/byte_source.h"

namespace kv::unzip32 {

extern const char kPathSeparator;

// What makes an archive file the same one as last time.
struct FileIdentity {
  std::string path;
  uint64_t volume = 0;
  uint64_t file_id = 0;
  uint64_t size = 0;
  int64_t modified = 0;  // in the system's own units

  bool operator==(const FileIdentity&) const = default;
};

// An archive opened for the length of one call, closed when the object goes.
class ArchiveFile final : public zip::ByteSource {
 public:
  // Null when the file cannot be opened or is not a regular file.
  static std::unique_ptr<ArchiveFile> Open(const char* path);
  ~ArchiveFile() override;
  ArchiveFile(const ArchiveFile&) = delete;
  ArchiveFile& operator=(const ArchiveFile&) = delete;

  uint64_t Size() const override { return identity_.size; }
  bool ReadAt(uint64_t offset, std::span<uint8_t> out) override;
  const FileIdentity& identity() const { return identity_; }

 private:
  ArchiveFile() = default;

  intptr_t handle_ = -1;
  FileIdentity identity_;
};

enum class PathKind {
  kMissing,
  kFolder,
  kFile,
  kOther,  // a link, junction, device or anything else extraction must not follow
};

// What is at `path`, without following a link there.
PathKind InspectPath(const std::string& path);
bool MakeFolder(const std::string& path);
bool RemoveFile(const std::string& path);

// A file being written by extraction: created or truncated, never through a
// link; closed when the object goes.
class OutputFile {
 public:
  static std::unique_ptr<OutputFile> Create(const std::string& path);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool Write(std::span<const uint8_t> bytes);
  // Flushes and closes; false when the last bytes could not be written.
  bool Close();

 private:
  OutputFile() = default;
  intptr_t handle_ = -1;
};

}  // namespace kv::unzip32
