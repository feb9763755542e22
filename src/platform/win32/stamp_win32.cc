// Win32 stamp store: bits 32 to 47 of the file's creation time.
#include <windows.h>

#include <utility>

#include "platform/stamp.h"

namespace kv::platform {
namespace {

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
const intptr_t kNoHandle = reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE);

}  // namespace

std::optional<UpdatableFile> UpdatableFile::Open(const char* path) {
  if (path == nullptr) return std::nullopt;
  HANDLE file =
      ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  return UpdatableFile(reinterpret_cast<intptr_t>(file));
}

UpdatableFile::UpdatableFile(UpdatableFile&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)) {}

UpdatableFile& UpdatableFile::operator=(UpdatableFile&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, kNoHandle);
  }
  return *this;
}

UpdatableFile::~UpdatableFile() { Close(); }

void UpdatableFile::Close() {
  if (handle_ != kNoHandle) ::CloseHandle(AsHandle(handle_));
  handle_ = kNoHandle;
}

std::optional<uint16_t> UpdatableFile::ReadStamp() const {
  FILETIME created{}, accessed{}, written{};
  if (!::GetFileTime(AsHandle(handle_), &created, &accessed, &written)) {
    return std::nullopt;
  }
  return static_cast<uint16_t>(created.dwHighDateTime & 0xFFFFu);
}

bool UpdatableFile::WriteStamp(uint16_t stamp) {
  FILETIME created{}, accessed{}, written{};
  if (!::GetFileTime(AsHandle(handle_), &created, &accessed, &written)) return false;
  created.dwHighDateTime = (created.dwHighDateTime & 0xFFFF0000u) | stamp;
  if (!::SetFileTime(AsHandle(handle_), &created, &accessed, &written)) return false;
  // Some file systems (and wine) accept the call and keep the old time.
  return ReadStamp() == stamp;
}

bool UpdatableFile::Truncate() {
  return ::SetFilePointer(AsHandle(handle_), 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
         ::SetEndOfFile(AsHandle(handle_)) != 0;
}

bool StampSurvivesRename() { return false; }

}  // namespace kv::platform
