// Win32 files for the unzip library: ReadFile at an offset, attributes that
// reveal reparse points, CreateFileA for output.
#include <windows.h>

#include <algorithm>

#include "platform_files.h"

namespace kv::unzip32 {

const char kPathSeparator = '\\';

namespace {

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

uint64_t Join(DWORD high, DWORD low) { return (static_cast<uint64_t>(high) << 32) | low; }

}  // namespace

std::unique_ptr<ArchiveFile> ArchiveFile::Open(const char* path) {
  HANDLE handle =
      ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  std::unique_ptr<ArchiveFile> file(new ArchiveFile());
  file->handle_ = reinterpret_cast<intptr_t>(handle);
  BY_HANDLE_FILE_INFORMATION information{};
  if (!::GetFileInformationByHandle(handle, &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return nullptr;
  }
  file->identity_.path = path;
  file->identity_.volume = information.dwVolumeSerialNumber;
  file->identity_.file_id = Join(information.nFileIndexHigh, information.nFileIndexLow);
  file->identity_.size = Join(information.nFileSizeHigh, information.nFileSizeLow);
  file->identity_.modified = static_cast<int64_t>(
      Join(information.ftLastWriteTime.dwHighDateTime, information.ftLastWriteTime.dwLowDateTime));
  return file;
}

ArchiveFile::~ArchiveFile() {
  if (handle_ != -1) ::CloseHandle(AsHandle(handle_));
}

bool ArchiveFile::ReadAt(uint64_t offset, std::span<uint8_t> out) {
  if (offset > identity_.size || out.size() > identity_.size - offset) return false;
  size_t done = 0;
  while (done < out.size()) {
    const uint64_t at = offset + done;
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(at);
    position.OffsetHigh = static_cast<DWORD>(at >> 32);
    const DWORD wanted = static_cast<DWORD>(std::min<size_t>(out.size() - done, 1u << 30));
    DWORD got = 0;
    if (!::ReadFile(AsHandle(handle_), out.data() + done, wanted, &got, &position) || got == 0) {
      return false;
    }
    done += got;
  }
  return true;
}

PathKind InspectPath(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PathKind::kMissing
                                                                          : PathKind::kOther;
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return PathKind::kOther;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return PathKind::kFolder;
  return PathKind::kFile;
}

bool MakeFolder(const std::string& path) { return ::CreateDirectoryA(path.c_str(), nullptr) != 0; }

bool RemoveFile(const std::string& path) { return ::DeleteFileA(path.c_str()) != 0; }

std::unique_ptr<OutputFile> OutputFile::Create(const std::string& path) {
  HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  std::unique_ptr<OutputFile> file(new OutputFile());
  file->handle_ = reinterpret_cast<intptr_t>(handle);
  return file;
}

OutputFile::~OutputFile() { Close(); }

bool OutputFile::Write(std::span<const uint8_t> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD wanted = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    DWORD put = 0;
    if (!::WriteFile(AsHandle(handle_), bytes.data() + done, wanted, &put, nullptr) || put == 0) {
      return false;
    }
    done += put;
  }
  return true;
}

bool OutputFile::Close() {
  if (handle_ == -1) return true;
  const bool closed = ::CloseHandle(AsHandle(handle_)) != 0;
  handle_ = -1;
  return closed;
}

}  // namespace kv::unzip32
