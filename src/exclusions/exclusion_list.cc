// Loading, saving and appending the exclusion list, the export operations
// and the matching rule.
#include "exclusions/exclusion_list.h"

#include <cstring>
#include <optional>
#include <string_view>

#include "common/ascii.h"
#include "config/data_folder.h"
#include "platform/message.h"
#include "platform/paths.h"

namespace kv {
namespace {

using platform::kPathSeparator;
using Lock = std::lock_guard<std::mutex>;

// Longest argument the engine works on: its work buffers hold 4096 bytes.
constexpr size_t kMaxArgumentLength = kPathBufferSize - 1;

// Whether one trailing separator is to be dropped. A lone POSIX root keeps
// it: without its separator it would be an empty line that loading ignores.
bool HasDroppableSeparator(std::string_view text) {
  return !text.empty() && text.back() == kPathSeparator && !platform::IsFileSystemRoot(text);
}

void DropTrailingSeparator(std::string& text) {
  if (HasDroppableSeparator(text)) text.pop_back();
}

// True when the path holds "QUARANTINE" or "_RESTORE", ASCII case ignored:
// one pass that compares only where either word could start.
bool NamesQuarantineOrRestore(std::string_view path) {
  for (size_t i = 0; i < path.size(); ++i) {
    const char c = path[i];
    if (c == '_' && HoldsUpperAsciiAt(path, i, "_RESTORE")) return true;
    if ((c == 'Q' || c == 'q') && HoldsUpperAsciiAt(path, i, "QUARANTINE")) return true;
  }
  return false;
}

std::string ShortFormOrGiven(const char* path, size_t max_length) {
  // Where there are no short forms, asking would only cost a look-up of the
  // path on every call.
  if (!platform::kHasShortPathNames) return path;
  return platform::ShortPathName(path, max_length).value_or(std::string(path));
}

// A file read byte by byte through a buffer of its own.
class ByteReader {
 public:
  static constexpr int kEnd = -1;

  explicit ByteReader(platform::InputFile& file) : file_(file) {}

  // The next byte, or kEnd at the end of the file or on a read error.
  int Next() {
    if (next_ == filled_) {
      filled_ = file_.ReadUpTo(buffer_, sizeof buffer_);
      next_ = 0;
      if (filled_ == 0) return kEnd;
    }
    return static_cast<unsigned char>(buffer_[next_++]);
  }

 private:
  platform::InputFile& file_;
  char buffer_[4096];
  size_t next_ = 0;
  size_t filled_ = 0;
};

// Reads one line: the text before its first '|' (or its line end), of which
// at most `keep` bytes are kept; `overlong` tells when more were dropped.
// A CR before the line end belongs to the line end. False at the end of
// the file.
bool ReadEntryLine(ByteReader& reader, size_t keep, std::string* text, bool* overlong) {
  text->clear();
  *overlong = false;
  bool cut = false;
  int c = reader.Next();
  if (c == ByteReader::kEnd) return false;
  for (; c != ByteReader::kEnd && c != '\n'; c = reader.Next()) {
    if (cut) continue;
    if (c == '|') {
      cut = true;
    } else if (text->size() < keep) {
      text->push_back(static_cast<char>(c));
    } else {
      *overlong = true;
    }
  }
  if (!cut && !*overlong && !text->empty() && text->back() == '\r') text->pop_back();
  return true;
}

}  // namespace

ExclusionList::ExclusionList() : ExclusionList(ExclusionListOptions{}) {}

ExclusionList::ExclusionList(ExclusionListOptions options) : options_(std::move(options)) {
  if (!options_.show_message) options_.show_message = platform::ShowUserMessage;
}

template <typename Operation>
auto ExclusionList::RunLocked(Operation operation) {
  bool tampered = false;
  auto result = [&] {
    Lock lock(mutex_);
    return operation(&tampered);
  }();
  if (tampered) options_.show_message(kTamperedListMessage);
  return result;
}

void ExclusionList::Clear() {
  Lock lock(mutex_);
  ClearLocked();
}

void ExclusionList::ClearLocked() {
  loaded_version_.reset();
  missing_path_.clear();
  entries_.clear();
  entries_.shrink_to_fit();
  matcher_.Clear();
  enumerating_ = false;
  cursor_ = 0;
}

bool ExclusionList::Load() {
  return RunLocked([this](bool* tampered) { return LoadLocked(tampered); });
}

bool ExclusionList::LoadLocked(bool* tampered) {
  const std::string path = options_.file_path();
  // Taken before reading: a change made while the file is read shows as a
  // new version at the next load.
  const std::optional<platform::FileVersion> version =
      path.empty() ? std::nullopt : options_.files->QueryVersion(path);
  if (version && version->settled && version == loaded_version_) {
    enumerating_ = false;  // a reload ends an enumeration, skipped or not
    cursor_ = 0;
    return true;
  }
  // Still not there where the last load found no file: the list stays
  // empty, and the file is looked for again at the next load.
  if (!version && !path.empty() && path == missing_path_) {
    enumerating_ = false;
    cursor_ = 0;
    return false;
  }
  ClearLocked();
  if (path.empty()) return false;
  if (!VerifyExclusionStamp(*options_.files, path)) {
    *tampered = true;
    return false;
  }
  std::optional<platform::InputFile> file = options_.files->OpenForReading(path);
  if (!file) {
    if (!version) missing_path_ = path;
    return false;
  }
  ByteReader reader(*file);
  std::string text;
  bool overlong = false;
  // One byte more than an entry may hold, and one for a CR to drop.
  while (ReadEntryLine(reader, kShortTextLength + 2, &text, &overlong)) {
    if (overlong || text.size() > kShortTextLength) continue;
    text.resize(std::strlen(text.c_str()));  // an entry ends at a NUL byte
    if (text.empty()) continue;
    entries_.push_back(ShortFormOrGiven(text.c_str(), kShortTextLength));
    matcher_.Add(entries_.back(), platform::IsFileSystemRoot(entries_.back()));
  }
  loaded_version_ = version;
  return true;
}

bool ExclusionList::Save() {
  Lock lock(mutex_);
  return SaveLocked(entries_);
}

bool ExclusionList::SaveLocked(const std::vector<std::string>& entries) {
  loaded_version_.reset();
  missing_path_.clear();
  std::string content;
  for (const std::string& entry : entries) {
    if (EqualsIgnoreAsciiCase(entry, kDeletionMarker)) continue;
    content += entry;
    content += platform::kLineEnd;
  }
  return ReplaceExclusionFile(*options_.files, options_.file_path(), content);
}

bool ExclusionList::Append(const char* path) {
  Lock lock(mutex_);
  return AppendLocked(path);
}

// The append, too, writes a new file and renames it over the list. Adding
// to the file in place and cutting it back on a failure would leave, after
// a crash in between, a longer file under the old stamp, which the next
// load would empty whole; a copy of a file of a few lines is a small price
// for an append that happens whole or not at all.
bool ExclusionList::AppendLocked(const char* path) {
  loaded_version_.reset();
  missing_path_.clear();
  if (path == nullptr || std::strlen(path) > kMaxArgumentLength) return false;
  std::string text = ShortFormOrGiven(path, kMaxArgumentLength);
  DropTrailingSeparator(text);
  if (text.empty() || text.size() > kShortTextLength ||
      text.find_first_of("\r\n|") != std::string::npos) {
    return false;
  }
  const std::string file_path = options_.file_path();
  std::string content;
  if (options_.files->Exists(file_path)) {
    std::optional<platform::InputFile> file = options_.files->OpenForReading(file_path);
    const std::optional<uint64_t> size = file ? file->Size() : std::nullopt;
    if (!size || (*size >> 32) != 0) return false;  // 4 GiB or more: no checksum
    content.resize(static_cast<size_t>(*size));
    if (!file->ReadExactly(content.data(), content.size())) return false;
  }
  // A last line without its line end (written by another program) keeps
  // its text; the new entry goes on a line of its own.
  if (!content.empty() && content.back() != '\n') content += platform::kLineEnd;
  content += text;
  content += platform::kLineEnd;
  return ReplaceExclusionFile(*options_.files, file_path, content);
}

int32_t ExclusionList::Add(const char* path) {
  if (path == nullptr) return 0;
  return RunLocked([&](bool* tampered) -> int32_t {
    LoadLocked(tampered);
    if (IsExcludedLocked(path)) return 1;
    if (!AppendLocked(path)) return 0;
    LoadLocked(tampered);
    return 1;
  });
}

int32_t ExclusionList::Remove(const char* text) {
  if (text == nullptr) return 0;
  std::string wanted = text;
  DropTrailingSeparator(wanted);
  return RunLocked([&](bool* tampered) -> int32_t {
    // The markers go into a copy, so that a failed rewrite leaves the list
    // (and any enumeration of it) as it was.
    std::vector<std::string> kept = entries_;
    bool matched = false;
    for (std::string& entry : kept) {
      if (EqualsIgnoreAsciiCase(entry, wanted)) {
        entry = kDeletionMarker;
        matched = true;
      }
    }
    if (!matched || !SaveLocked(kept)) return 0;
    LoadLocked(tampered);
    return 1;
  });
}

const char* ExclusionList::First() {
  return RunLocked([this](bool* tampered) {
    LoadLocked(tampered);
    cursor_ = 0;
    enumerating_ = true;
    return NextLocked();
  });
}

const char* ExclusionList::Next() {
  Lock lock(mutex_);
  return NextLocked();
}

const char* ExclusionList::NextLocked() {
  if (!enumerating_ || cursor_ >= entries_.size()) return nullptr;
  return entries_[cursor_++].c_str();
}

int32_t ExclusionList::IsExcluded(const char* path) {
  if (path == nullptr) return 0;
  Lock lock(mutex_);
  return IsExcludedLocked(path) ? 1 : 0;
}

bool ExclusionList::IsExcludedLocked(const char* path) const {
  const std::string_view given = path;
  // Without short forms the path is matched as given, with no copy made.
  std::string short_form;
  std::string_view shortened = given;
  if (platform::kHasShortPathNames) {
    short_form = ShortFormOrGiven(path, kMaxArgumentLength);
    shortened = short_form;
  }
  // One trailing separator is dropped, as from the entries.
  if (HasDroppableSeparator(shortened)) shortened.remove_suffix(1);
  return matcher_.Matches(shortened) || NamesQuarantineOrRestore(given);
}

std::vector<std::string> ExclusionList::entries() const {
  Lock lock(mutex_);
  return entries_;
}

}  // namespace kv
