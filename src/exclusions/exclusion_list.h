// The exclusion list: the entries of "excluded.dat" in memory, the
// operations behind the exclusion exports, and the matching rule.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "exclusions/exclusion_matcher.h"
#include "exclusions/exclusion_store.h"
#include "platform/file_system.h"

namespace kv {

// Put in place of removed entries until the list is rewritten.
inline constexpr char kDeletionMarker[] = "badfood";
// Shown once for every load that finds the list changed behind our back.
inline constexpr char kTamperedListMessage[] =
    "Trovalen has detected an unauthorized change to excluded.dat. Its content "
    "will be discarded.";

// What a list needs from outside; tests give their own folder, message sink
// and file system.
struct ExclusionListOptions {
  std::function<std::string()> file_path = ExclusionFilePath;
  // Called without the list's lock held: the Windows message box runs the
  // thread's message loop, from which the host's own code may call back
  // into the list. Empty: the platform's.
  std::function<void(const char*)> show_message;
  // Never null; outlives the list.
  platform::FileSystem* files = &platform::FileSystem::Default();
};

class ExclusionList {
 public:
  ExclusionList();
  explicit ExclusionList(ExclusionListOptions options);
  ExclusionList(const ExclusionList&) = delete;
  ExclusionList& operator=(const ExclusionList&) = delete;

  // --- The store. ---
  // Empties the list and ends any enumeration.
  void Clear();
  // Rebuilds the list from the file after checking its stamp, unless the
  // file, its stamp and its times are as the last successful load found
  // them (the list would come out the same), or the file is still missing
  // where the last load found none (the list stays empty). False when
  // the stamp failed (the file is emptied, the message shown) or the file
  // could not be opened. Lines are cut at the first '|'; empty lines and
  // lines of more than 259 characters before the cut are skipped whole.
  bool Load();
  // Rewrites the file without the deletion markers and stamps it, in one
  // step (see ReplaceExclusionFile). False when the file does not open for
  // writing or any step failed; the file and its stamp are then unchanged.
  bool Save();
  // Adds the short form of `path` without one trailing separator as a line
  // of its own at the end of the file, and stamps it, in one step. False
  // when the file could not be written (it is then unchanged), or when the
  // text could never load back as this one entry (empty, longer than 259
  // characters, holding a line end or '|'). The list is not reloaded.
  bool Append(const char* path);

  // --- The exports. ---
  // 1 when the path is excluded afterwards (added now or before), else 0.
  int32_t Add(const char* path);
  // 1 when at least one entry equal to `text` (ignoring ASCII case, one
  // trailing separator dropped) was removed and the file rewritten. 0 when
  // none matched or the rewrite failed: the file, its stamp and the list in
  // memory are then as they were.
  int32_t Remove(const char* text);
  // Reloads and starts an enumeration; the first entry or null.
  const char* First();
  // The next entry of the enumeration, or null at its end, before any
  // First, or once a reload ended the enumeration.
  const char* Next();
  // 1 when an entry names the path or a folder holding it at any depth
  // (short forms compared), or the path as given contains "QUARANTINE" or
  // "_RESTORE" (ASCII case ignored); else 0. Does not reload.
  int32_t IsExcluded(const char* path);

  std::vector<std::string> entries() const;

 private:
  // Each public function takes the lock once; the ...Locked functions
  // expect it held. A load that finds the file tampered with sets
  // `*tampered`, and the message is shown once the lock is released.
  template <typename Operation>
  auto RunLocked(Operation operation);
  void ClearLocked();
  bool LoadLocked(bool* tampered);
  bool SaveLocked(const std::vector<std::string>& entries);
  bool AppendLocked(const char* path);
  const char* NextLocked();
  bool IsExcludedLocked(const char* path) const;

  ExclusionListOptions options_;
  mutable std::mutex mutex_;
  std::vector<std::string> entries_;
  // The entries as paths are matched against them, made once per load so
  // that matching a path allocates nothing per entry.
  ExclusionMatcher matcher_;
  size_t cursor_ = 0;
  bool enumerating_ = false;
  // The file as the list was last loaded from it, while that proves the
  // list current.
  std::optional<platform::FileVersion> loaded_version_;
  // The path at which the last load found no file (its version could not
  // be queried and it did not open), while the list is empty for that.
  std::string missing_path_;
};

}  // namespace kv
