// Loading, saving and appending the exclusion list, the export operations
// and the matching rule.
#include "exclusions/exclusion_list.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "config/data_folder.h"
#include "platform/message.h"
#include "platform/paths.h"

namespace kv {
namespace {

using platform::kPathSeparator;
using FilePointer = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;
using Lock = std::lock_guard<std::recursive_mutex>;

// Longest argument the engine works on: its work buffers hold 4096 bytes.
constexpr size_t kMaxArgumentLength = kPathBufferSize - 1;

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string UpperCased(std::string text) {
  for (char& c : text) c = UpperAscii(c);
  return text;
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  }
  return true;
}

bool IsFilesystemRoot(const std::string& text) {
#if defined(_WIN32)
  (void)text;
  return false;
#else
  return text.size() == 1 && text[0] == kPathSeparator;
#endif
}

// Drops one trailing separator. A lone POSIX root stays: without its
// separator it would be an empty line that loading ignores.
void DropTrailingSeparator(std::string& text) {
  if (!text.empty() && text.back() == kPathSeparator && !IsFilesystemRoot(text)) {
    text.pop_back();
  }
}

std::string ShortFormOrGiven(const char* path, size_t max_length) {
  return platform::ShortPathName(path, max_length).value_or(std::string(path));
}

// Reads one line: the text before its first '|' (or its line end), of which
// at most `keep` bytes are kept; `overlong` tells when more were dropped.
// False at the end of the file.
bool ReadEntryLine(std::FILE* file, size_t keep, std::string* text, bool* overlong) {
  text->clear();
  *overlong = false;
  bool cut = false;
  int c = std::fgetc(file);
  if (c == EOF) return false;
  for (; c != EOF && c != '\n'; c = std::fgetc(file)) {
    if (cut) continue;
    if (c == '|') {
      cut = true;
    } else if (text->size() < keep) {
      text->push_back(static_cast<char>(c));
    } else {
      *overlong = true;
    }
  }
  // POSIX reads CR LF line ends as they are: drop the CR.
  if (!cut && !*overlong && !text->empty() && text->back() == '\r') text->pop_back();
  return true;
}

}  // namespace

ExclusionList::ExclusionList() : ExclusionList(ExclusionListOptions{}) {}

ExclusionList::ExclusionList(ExclusionListOptions options) : options_(std::move(options)) {
  if (!options_.show_message) options_.show_message = platform::ShowUserMessage;
}

void ExclusionList::Clear() {
  Lock lock(mutex_);
  entries_.clear();
  entries_.shrink_to_fit();
  enumerating_ = false;
  cursor_ = 0;
}

bool ExclusionList::Load() {
  Lock lock(mutex_);
  return LoadLocked();
}

bool ExclusionList::LoadLocked() {
  Clear();
  const std::string path = options_.file_path();
  if (path.empty()) return false;
  if (!VerifyExclusionStamp(path, options_.stamp_places)) {
    options_.show_message(kTamperedListMessage);
    return false;
  }
  FilePointer file(std::fopen(path.c_str(), "r"), &std::fclose);
  if (!file) return false;
  std::string text;
  bool overlong = false;
  // One byte more than an entry may hold, and one for a CR to drop.
  while (ReadEntryLine(file.get(), kShortTextLength + 2, &text, &overlong)) {
    if (overlong || text.size() > kShortTextLength) continue;
    text.resize(std::strlen(text.c_str()));  // an entry ends at a NUL byte
    if (text.empty()) continue;
    entries_.push_back(ShortFormOrGiven(text.c_str(), kShortTextLength));
  }
  return true;
}

bool ExclusionList::Save() {
  Lock lock(mutex_);
  const std::string path = options_.file_path();
  if (path.empty() || platform::IsReadOnlyFile(path.c_str())) return false;
  std::string content;
  for (const std::string& entry : entries_) {
    if (EqualIgnoringCase(entry, kDeletionMarker)) continue;
    content += entry;
    content += '\n';
  }
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return false;
  bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
  written = std::fclose(file) == 0 && written;
  // Stamp whatever reached the file, so a short write never makes the next
  // load discard the whole list.
  WriteExclusionStamp(path, options_.stamp_places);
  return written;
}

bool ExclusionList::Append(const char* path) {
  if (path == nullptr || std::strlen(path) > kMaxArgumentLength) return false;
  Lock lock(mutex_);
  std::string text = ShortFormOrGiven(path, kMaxArgumentLength);
  DropTrailingSeparator(text);
  if (text.empty() || text.size() > kShortTextLength ||
      text.find_first_of("\r\n|") != std::string::npos) {
    return false;
  }
  const std::string file_path = options_.file_path();
  if (file_path.empty() || platform::IsReadOnlyFile(file_path.c_str())) return false;
  std::FILE* file = std::fopen(file_path.c_str(), "a");
  if (file == nullptr) return false;
  text += '\n';
  bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  written = std::fclose(file) == 0 && written;
  WriteExclusionStamp(file_path, options_.stamp_places);
  return written;
}

int32_t ExclusionList::Add(const char* path) {
  if (path == nullptr) return 0;
  Lock lock(mutex_);
  LoadLocked();
  if (IsExcludedLocked(path)) return 1;
  if (!Append(path)) return 0;
  LoadLocked();
  return 1;
}

int32_t ExclusionList::Remove(const char* text) {
  if (text == nullptr) return 0;
  Lock lock(mutex_);
  std::string wanted = text;
  DropTrailingSeparator(wanted);
  bool matched = false;
  for (std::string& entry : entries_) {
    if (EqualIgnoringCase(entry, wanted)) {
      entry = kDeletionMarker;
      matched = true;
    }
  }
  if (!matched) return 0;
  const bool saved = Save();
  LoadLocked();
  return saved ? 1 : 0;
}

const char* ExclusionList::First() {
  Lock lock(mutex_);
  LoadLocked();
  cursor_ = 0;
  enumerating_ = true;
  return Next();
}

const char* ExclusionList::Next() {
  Lock lock(mutex_);
  if (!enumerating_ || cursor_ >= entries_.size()) return nullptr;
  return entries_[cursor_++].c_str();
}

int32_t ExclusionList::IsExcluded(const char* path) {
  if (path == nullptr) return 0;
  Lock lock(mutex_);
  return IsExcludedLocked(path) ? 1 : 0;
}

bool ExclusionList::IsExcludedLocked(const char* path) const {
  std::string shortened = ShortFormOrGiven(path, kMaxArgumentLength);
  DropTrailingSeparator(shortened);
  shortened = UpperCased(std::move(shortened));
  for (const std::string& entry : entries_) {
    if (IsFilesystemRoot(entry)) {
      // The root holds every absolute path.
      if (!shortened.empty() && shortened[0] == kPathSeparator) return true;
      continue;
    }
    const std::string folder = UpperCased(entry) + kPathSeparator;
    if (shortened.find(folder) != std::string::npos) return true;
    if (EqualIgnoringCase(entry, shortened)) return true;
  }
  const std::string given = UpperCased(path);
  return given.find("QUARANTINE") != std::string::npos ||
         given.find("_RESTORE") != std::string::npos;
}

std::vector<std::string> ExclusionList::entries() const {
  Lock lock(mutex_);
  return entries_;
}

}  // namespace kv
