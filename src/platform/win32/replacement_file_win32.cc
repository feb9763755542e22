// Win32 replacement files: created beside the file that the target finally
// names, with its attributes, flushed with FlushFileBuffers, and renamed
// over it with MoveFileExA (replace existing, write through).
//
// MoveFileExA rather than ReplaceFileA: the rename is one operation that
// either happens or not, whereas ReplaceFileA has failures that leave the
// target renamed away or gone. Either way NTFS gives the renamed file the
// creation time of the name it replaces, so a stamp kept there must be
// written after Commit.
#include <windows.h>

#include <atomic>
#include <utility>

#include "platform/replacement_file.h"

namespace kv::platform {
namespace {

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// Attributes the new file takes over from the old one.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// The file that a symbolic link (or other reparse point) leads to, in plain
// drive or UNC form; the path itself for anything else.
std::string FinalPath(const char* target, DWORD attributes) {
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return target;
  }
  HANDLE file = ::CreateFileA(target, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return target;
  char buffer[2 * MAX_PATH];
  const DWORD length = ::GetFinalPathNameByHandleA(file, buffer, sizeof buffer,
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  ::CloseHandle(file);
  if (length == 0 || length >= sizeof buffer) return target;
  std::string path(buffer, length);
  if (StartsWith(path, "\\\\?\\UNC\\")) return "\\\\" + path.substr(8);
  if (StartsWith(path, "\\\\?\\")) return path.substr(4);
  return path;
}

}  // namespace

std::optional<ReplacementFile> ReplacementFile::Create(const char* target) {
  if (target == nullptr || *target == '\0') return std::nullopt;
  const std::string final_target = FinalPath(target, ::GetFileAttributesA(target));
  const DWORD old_attributes = ::GetFileAttributesA(final_target.c_str());
  DWORD attributes = FILE_ATTRIBUTE_NORMAL;
  if (old_attributes != INVALID_FILE_ATTRIBUTES) {
    if ((old_attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return std::nullopt;
    if ((old_attributes & kKeptAttributes) != 0) attributes = old_attributes & kKeptAttributes;
  }

  static std::atomic<unsigned> counter{0};
  const std::string stem = final_target + ".new-" + std::to_string(::GetCurrentProcessId()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string path = stem + std::to_string(counter++);
    HANDLE file =
        ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
      return std::nullopt;
    }
    return ReplacementFile(reinterpret_cast<intptr_t>(file), std::move(path), final_target);
  }
  return std::nullopt;
}

void ReplacementFile::RemoveNewFile() { ::DeleteFileA(path_.c_str()); }

void ReplacementFile::Close() {
  if (handle_ != kNoHandle) ::CloseHandle(AsHandle(handle_));
  handle_ = kNoHandle;
}

bool ReplacementFile::Write(const void* data, size_t length) {
  if (handle_ == kNoHandle) return false;
  const auto* next = static_cast<const char*>(data);
  while (length > 0) {
    const DWORD chunk = length > 0x40000000u ? 0x40000000u : static_cast<DWORD>(length);
    DWORD written = 0;
    if (!::WriteFile(AsHandle(handle_), next, chunk, &written, nullptr) || written == 0) {
      return false;
    }
    next += written;
    length -= written;
  }
  return true;
}

bool ReplacementFile::Finish() {
  if (handle_ == kNoHandle) return false;
  const bool flushed = ::FlushFileBuffers(AsHandle(handle_)) != 0;
  const bool closed = ::CloseHandle(AsHandle(std::exchange(handle_, kNoHandle))) != 0;
  return flushed && closed;
}

bool ReplacementFile::Commit() {
  if (handle_ != kNoHandle || path_.empty() || committed_) return false;  // not finished
  if (!::MoveFileExA(path_.c_str(), target_.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return false;
  }
  committed_ = true;
  return true;
}

}  // namespace kv::platform
