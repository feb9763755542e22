// Win32 folder listings: FindFirstFileA/FindNextFileA over "<folder>\*".
// Folders that are reparse points (junctions, links) are never walked; a long
// name the ANSI code page cannot spell is given by its short name.
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/directories.h"

namespace kv::platform {

struct DirectoryListing::State {
  HANDLE find = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAA data{};
  bool have_pending = false;  // `data` holds an entry not yet returned
  ~State() {
    if (find != INVALID_HANDLE_VALUE) ::FindClose(find);
  }
};

namespace {

bool IsDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

EntryKind KindOf(const WIN32_FIND_DATAA& data) {
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? EntryKind::kLinkedFolder
                                                                       : EntryKind::kFolder;
  }
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0) return EntryKind::kOther;
  return EntryKind::kFile;
}

// The name to compose paths with: the long name, unless the code page could
// not represent it ("?" stands in for the missing characters), in which case
// only the short name opens the file.
const char* UsableName(const WIN32_FIND_DATAA& data) {
  if (std::strchr(data.cFileName, '?') != nullptr && data.cAlternateFileName[0] != '\0') {
    return data.cAlternateFileName;
  }
  return data.cFileName;
}

}  // namespace

PathKind GetPathKind(const char* path) {
  if (path == nullptr) return PathKind::kMissing;
  const DWORD attributes = ::GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::kFolder : PathKind::kFile;
}

DirectoryListing::DirectoryListing(std::unique_ptr<State> state) : state_(std::move(state)) {}
DirectoryListing::~DirectoryListing() = default;

std::unique_ptr<DirectoryListing> DirectoryListing::Open(const char* path) {
  if (path == nullptr) return nullptr;
  std::string pattern = path;
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
  pattern += '*';
  auto state = std::make_unique<State>();
  state->find = ::FindFirstFileA(pattern.c_str(), &state->data);
  if (state->find == INVALID_HANDLE_VALUE) return nullptr;
  state->have_pending = true;
  return std::unique_ptr<DirectoryListing>(new DirectoryListing(std::move(state)));
}

bool DirectoryListing::Next(DirectoryEntry* entry) {
  for (;;) {
    if (!state_->have_pending && !::FindNextFileA(state_->find, &state_->data)) return false;
    state_->have_pending = false;
    const WIN32_FIND_DATAA& data = state_->data;
    if (IsDotOrDotDot(data.cFileName)) continue;
    entry->name = UsableName(data);
    entry->kind = KindOf(data);
    return true;
  }
}

std::unique_ptr<DirectoryListing> DirectoryListing::OpenFolder(const char*,
                                                               const char* path) const {
  return Open(path);
}

std::optional<InputFile> DirectoryListing::OpenFile(const char*, const char* path,
                                                    Sharing sharing) const {
  return InputFile::Open(path, sharing);
}

}  // namespace kv::platform
