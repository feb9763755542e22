// Folder listings for the directory walk: entries in the system's order with
// their kind, and files and subfolders opened relative to the
// listing, so that a folder whose full path no longer fits a path buffer can
// still be walked where the platform allows it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/files.h"

namespace kv::platform {

enum class EntryKind {
  kFile,          // a regular file, or a link to one (read as its target)
  kFolder,        // a real folder: walked
  kLinkedFolder,  // a link or reparse point to a folder: never walked
  kOther,         // a pipe, device, socket or broken link: never opened
};

struct DirectoryEntry {
  const char* name = nullptr;  // valid until the next Next() of its listing
  // As listed: a file may have been replaced since, which opening it finds.
  EntryKind kind = EntryKind::kOther;
};

// What a path names, links followed.
enum class PathKind { kMissing, kFile, kFolder };
PathKind GetPathKind(const char* path);

// One open folder. Moves nothing and copies nothing: the walk keeps one per
// level on the heap.
class DirectoryListing {
 public:
  struct State;  // the platform's own handle and buffers

  // Lists the folder at `path`; null when it cannot be listed.
  static std::unique_ptr<DirectoryListing> Open(const char* path);
  ~DirectoryListing();
  DirectoryListing(const DirectoryListing&) = delete;
  DirectoryListing& operator=(const DirectoryListing&) = delete;

  // The next entry other than "." and "..", in the system's order; false at
  // the end or on a read error.
  bool Next(DirectoryEntry* entry);

  // Lists the subfolder `name` of this folder, whose full path is `path`
  // (POSIX opens it relative to this folder and never through a link;
  // Windows opens `path`). Null when it cannot be listed.
  std::unique_ptr<DirectoryListing> OpenFolder(const char* name, const char* path) const;

  // Opens the regular file `name` of this folder (full path `path`) for
  // reading without blocking, with the sharing given (see files.h). POSIX
  // opens the entry Next() just listed through a link only when it was
  // listed as a link.
  std::optional<InputFile> OpenFile(const char* name, const char* path, Sharing sharing) const;

 private:
  explicit DirectoryListing(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace kv::platform
