// Where the engine finds its data files: the folder a host set (DatFolder),
// the registry values KVLocation and KVCLLocation, and the host program's
// own folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace kv {

// Path buffers of the data-file search hold this many bytes.
inline constexpr size_t kPathBufferSize = 4096;
// Registry values and exclusion paths hold at most this many characters.
inline constexpr size_t kShortTextLength = 259;

// The folder of the host program's executable (not of the engine library),
// without a trailing separator: the executable's path cut before its last
// separator at index 1 or above. Nullopt when the path cannot be obtained or
// does not fit in `size` bytes with its NUL.
std::optional<std::string> GetHostFolder(size_t size);
// The same for the executable at `executable_path`, already asked for.
std::optional<std::string> HostFolderOf(std::string executable_path, size_t size);

// "KVLocation", with a separator appended to a text that lacks one. Nullopt
// when missing, empty, or too long to take the separator within 259
// characters.
std::optional<std::string> ReadLocationValue();
// "KVCLLocation", as stored. Nullopt when missing, empty or too long.
std::optional<std::string> ReadClLocationValue();

// The path to open for a data file: the set folder (when honoured and not
// empty) or KVLocation, then KVCLLocation, then the host's folder, the
// first two only when the file exists there. Records the folder of the
// returned path in `dat_folder`. The host's folder is returned without
// checking the file exists; the caller reports a missing file.
std::string LocateDataFile(const char* file_name, bool honour_set_folder, std::string& dat_folder);

// An existing file of that name beside the host executable, in KVCLLocation
// or in KVLocation, in that order. Nullopt when no folder holds it or its
// path is longer than `max_length` characters.
std::optional<std::string> FindDataFile(const char* file_name, size_t max_length);
// The same with the host executable's path already asked for, so that a
// caller that needs the host's folder too asks the system once.
std::optional<std::string> FindDataFile(const char* file_name, size_t max_length,
                                        const std::string& executable_path);

// kvGetDATFolder: copies the folder with its NUL into a buffer of size + 1
// bytes and returns 1; 0 with the buffer untouched when the folder is
// empty, longer than `size`, or the buffer is null.
int32_t CopyDatFolder(const std::string& dat_folder, char* buffer, int32_t size);

// Appends the platform separator unless the text already ends with one.
void AppendSeparator(std::string& folder);

// The data folder (DatFolder): set by a host, rewritten by every data-file
// search. Hosts may set and read it from any thread while a start or a pest
// information load searches, so it has one owner with its own lock; the lock
// is never held across the search itself, which reads the settings and the
// file system.
class DataFolder {
 public:
  void Set(std::string folder);
  std::string Get() const;
  // kvGetDATFolder's copy (see CopyDatFolder) of the current folder.
  int32_t CopyTo(char* buffer, int32_t size) const;
  // LocateDataFile from the current folder; the folder the search took
  // replaces it.
  std::string Locate(const char* file_name, bool honour_set_folder);

 private:
  mutable std::mutex mutex_;
  std::string folder_;
};

}  // namespace kv
