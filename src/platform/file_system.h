// The file operations of the exclusion store as one table that tests can
// override: the real file system by default, and in a test one that fails
// where a real failure is hard to provoke (a disk that fills up, a rename
// that is refused, a file system that keeps no stamp, a crash between two
// steps).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/files.h"
#include "platform/replacement_file.h"
#include "platform/stamp.h"

namespace kv::platform {

// How a text line ends in the files the engine writes: CR LF on Windows,
// as the run-time library's text mode writes it, LF on POSIX.
#if defined(_WIN32)
inline constexpr char kLineEnd[] = "\r\n";
#else
inline constexpr char kLineEnd[] = "\n";
#endif

// Every operation forwards to the platform. A test derives from this class,
// overrides the operations it wants to fail and calls the base class for
// the rest.
class FileSystem {
 public:
  // The real file system, shared by every user.
  static FileSystem& Default();

  FileSystem() = default;
  FileSystem(const FileSystem&) = delete;
  FileSystem& operator=(const FileSystem&) = delete;
  virtual ~FileSystem() = default;

  // True when a file or folder exists at `path`.
  virtual bool Exists(const std::string& path);
  // An existing regular file opened for reading.
  virtual std::optional<InputFile> OpenForReading(const std::string& path);
  virtual std::optional<FileVersion> QueryVersion(const std::string& path);
  // An existing file opened for reading and writing, for its stamp or to
  // empty it. Nullopt for a read-only file, even where the caller's
  // privileges (root, wine running as root) would open it, and for one
  // that is locked.
  virtual std::optional<UpdatableFile> OpenForUpdate(const std::string& path);
  virtual std::optional<uint16_t> ReadStamp(const UpdatableFile& file);
  // Writes the stamp and reads it back: false when it was not kept.
  virtual bool WriteStamp(UpdatableFile& file, uint16_t stamp);
  virtual bool Truncate(UpdatableFile& file);
  // Whether a stamp written on a replacement before its commit is still on
  // the file after it (see platform::StampSurvivesRename).
  virtual bool StampSurvivesRename();
  virtual bool Remove(const std::string& path);

  // The steps of replacing a file; see ReplacementFile.
  virtual std::optional<ReplacementFile> CreateReplacement(const std::string& target);
  virtual bool Write(ReplacementFile& file, const void* data, size_t length);
  virtual bool Finish(ReplacementFile& file);
  virtual bool Commit(ReplacementFile& file);
};

}  // namespace kv::platform
