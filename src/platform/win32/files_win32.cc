// Win32 file access: CreateFileA with read and write sharing.
#include <windows.h>

#include <algorithm>
#include <utility>

#include "platform/files.h"

namespace kv::platform {
namespace {

// FAT keeps write times to two seconds; NTFS updates them lazily. Three
// seconds, in the 100-nanosecond ticks of FILETIME.
constexpr uint64_t kUnsettledTicks = 30'000'000u;

}  // namespace
namespace {

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
const intptr_t kNoHandle = reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE);

}  // namespace

std::optional<InputFile> InputFile::Open(const char* path, Sharing sharing) {
  if (path == nullptr) return std::nullopt;
  const DWORD share =
      sharing == Sharing::kReadWrite ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ;
  HANDLE file = ::CreateFileA(path, GENERIC_READ, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  if (::GetFileType(file) != FILE_TYPE_DISK) {
    ::CloseHandle(file);
    return std::nullopt;
  }
  return InputFile(reinterpret_cast<intptr_t>(file));
}

InputFile::InputFile(InputFile&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, kNoHandle);
  }
  return *this;
}

InputFile::~InputFile() { Close(); }

void InputFile::Close() {
  if (handle_ != kNoHandle) ::CloseHandle(AsHandle(handle_));
  handle_ = kNoHandle;
}

std::optional<uint64_t> InputFile::Size() const {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(AsHandle(handle_), &size)) return std::nullopt;
  return static_cast<uint64_t>(size.QuadPart);
}

size_t InputFile::ReadUpTo(void* buffer, size_t length) {
  size_t total = 0;
  auto* next = static_cast<char*>(buffer);
  while (total < length) {
    const size_t left = length - total;
    const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
    DWORD got = 0;
    if (!::ReadFile(AsHandle(handle_), next + total, chunk, &got, nullptr) || got == 0) {
      break;
    }
    total += got;
  }
  return total;
}

bool InputFile::ReadExactly(void* buffer, size_t length) {
  return ReadUpTo(buffer, length) == length;
}

uint32_t GetFileSizeByName(const char* path, uint32_t* high) {
  if (path == nullptr) return 0xFFFFFFFFu;
  // No access rights at all: only the attributes are wanted.
  HANDLE file = ::CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0xFFFFFFFFu;
  DWORD size_high = 0;
  const DWORD size_low = ::GetFileSize(file, &size_high);
  ::CloseHandle(file);
  if (high != nullptr) *high = size_high;
  return size_low;
}

std::optional<FileVersion> QueryFileVersion(const char* path) {
  if (path == nullptr) return std::nullopt;
  HANDLE file = ::CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool queried = ::GetFileInformationByHandle(file, &info) != 0;
  ::CloseHandle(file);
  if (!queried) return std::nullopt;
  auto join = [](DWORD high, DWORD low) { return (uint64_t{high} << 32) | low; };
  auto ticks = [&join](const FILETIME& time) {
    return join(time.dwHighDateTime, time.dwLowDateTime);
  };
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  FileVersion version;
  version.volume = info.dwVolumeSerialNumber;
  version.file = join(info.nFileIndexHigh, info.nFileIndexLow);
  version.size = join(info.nFileSizeHigh, info.nFileSizeLow);
  version.modified = ticks(info.ftLastWriteTime);
  version.changed = ticks(info.ftCreationTime);
  version.settled = ticks(now) > std::max(version.modified, version.changed) + kUnsettledTicks;
  return version;
}

bool WriteNewFile(const char* path, const void* data, size_t size) {
  if (path == nullptr) return false;
  HANDLE file =
      ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const auto* next = static_cast<const char*>(data);
  size_t written = 0;
  while (written < size) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - written, 1u << 30));
    DWORD put = 0;
    if (!::WriteFile(file, next + written, chunk, &put, nullptr) || put == 0) break;
    written += put;
  }
  const bool complete = ::CloseHandle(file) != 0 && written == size;
  if (!complete) ::DeleteFileA(path);
  return complete;
}

}  // namespace kv::platform
