// The exclusion file's location, checksum and integrity stamp.
#include "exclusions/exclusion_store.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "common/crc32.h"
#include "config/data_folder.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/stamp.h"

namespace kv {
namespace {

using FilePointer = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

FilePointer OpenFile(const std::string& path, const char* mode) {
  return FilePointer(std::fopen(path.c_str(), mode), &std::fclose);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The sidecar holds four hex digits, optionally followed by a line end.
std::optional<uint16_t> ReadSidecar(const std::string& path) {
  FilePointer file = OpenFile(path, "rb");
  if (!file) return std::nullopt;
  char text[8] = {};
  const size_t length = std::fread(text, 1, sizeof text, file.get());
  if (length < 4 || length > 6) return std::nullopt;
  for (size_t i = 4; i < length; ++i) {
    if (text[i] != '\r' && text[i] != '\n') return std::nullopt;
  }
  unsigned value = 0;
  for (int i = 0; i < 4; ++i) {
    const int digit = HexValue(text[i]);
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<unsigned>(digit);
  }
  return static_cast<uint16_t>(value);
}

void WriteSidecar(const std::string& path, uint16_t stamp) {
  FilePointer file = OpenFile(path, "wb");
  if (!file) return;
  std::fprintf(file.get(), "%04x", static_cast<unsigned>(stamp));
}

bool HasChecksum(uint32_t checksum) { return checksum != 0 && checksum != 0xFFFFFFFFu; }

// The list opened for updating its stamp; none for a read-only list, even
// where the caller's privileges (root, wine running as root) would open it.
std::optional<platform::UpdatableFile> OpenForStamp(const std::string& path) {
  if (platform::IsReadOnlyFile(path.c_str())) return std::nullopt;
  return platform::UpdatableFile::Open(path.c_str());
}

}  // namespace

std::string ExclusionFilePath() {
  if (auto found = FindDataFile(kExclusionFileName, kShortTextLength)) return *found;
  std::optional<std::string> host = GetHostFolder(kShortTextLength + 1);
  if (!host) return {};
  std::string path = *host + platform::kPathSeparator + kExclusionFileName;
  if (path.size() > kShortTextLength) return {};
  return path;
}

uint32_t FileChecksum(const char* path) {
  std::optional<platform::InputFile> file = platform::InputFile::Open(path);
  if (!file) return 0;
  const std::optional<uint64_t> size = file->Size();
  if (!size || *size == 0 || (*size >> 32) != 0) return 0;
  // Read in pieces: the same CRC as one read, in bounded memory.
  std::vector<uint8_t> buffer(64 * 1024);
  uint32_t state = kCrc32Start;
  for (uint64_t left = *size; left > 0;) {
    const size_t piece = left < buffer.size() ? static_cast<size_t>(left) : buffer.size();
    if (!file->ReadExactly(buffer.data(), piece)) return 0;
    state = Crc32Update(state, buffer.data(), piece);
    left -= piece;
  }
  return ~state;
}

bool VerifyExclusionStamp(const std::string& path, StampPlaces places) {
  const uint32_t checksum = FileChecksum(path.c_str());
  if (!HasChecksum(checksum)) return true;
  std::optional<platform::UpdatableFile> file = OpenForStamp(path);
  if (!file) return true;
  const uint16_t wanted = static_cast<uint16_t>(checksum & 0xFFFFu);
  if (places == StampPlaces::kFileAndSidecar && file->ReadStamp() == wanted) return true;
  if (ReadSidecar(path + kStampSidecarSuffix) == wanted) return true;
  file->Truncate();
  return false;
}

void WriteExclusionStamp(const std::string& path, StampPlaces places) {
  const uint32_t checksum = FileChecksum(path.c_str());
  if (!HasChecksum(checksum)) return;
  std::optional<platform::UpdatableFile> file = OpenForStamp(path);
  if (!file) return;
  const uint16_t stamp = static_cast<uint16_t>(checksum & 0xFFFFu);
  const std::string sidecar = path + kStampSidecarSuffix;
  if (places == StampPlaces::kFileAndSidecar && file->WriteStamp(stamp)) {
    if (platform::PathExists(sidecar.c_str())) platform::RemoveFile(sidecar.c_str());
    return;
  }
  WriteSidecar(sidecar, stamp);
}

}  // namespace kv
