// The exclusion file's location, checksum, integrity stamp and one-step
// replacement.
#include "exclusions/exclusion_store.h"

#include <optional>
#include <vector>

#include "common/crc32.h"
#include "config/data_folder.h"
#include "platform/modules.h"
#include "platform/paths.h"

namespace kv {
namespace {

using platform::FileSystem;
using Stamps = std::vector<uint16_t>;

// A sidecar holds one stamp, or two while a rewrite is under way: four hex
// digits each, separated by a space, optionally followed by a line end.
constexpr size_t kMaxSidecarLength = 4 + 1 + 4 + 2;

bool HasChecksum(uint32_t checksum) { return checksum != 0 && checksum != 0xFFFFFFFFu; }

uint16_t StampOf(uint32_t checksum) { return static_cast<uint16_t>(checksum & 0xFFFFu); }

std::string SidecarPath(const std::string& path) { return path + kStampSidecarSuffix; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> ReadSidecarText(FileSystem& files, const std::string& sidecar) {
  std::optional<platform::InputFile> file = files.OpenForReading(sidecar);
  if (!file) return std::nullopt;
  char text[kMaxSidecarLength + 1];
  const size_t length = file->ReadUpTo(text, sizeof text);
  return std::string(text, length);
}

// The stamps a sidecar holds; none when it is missing or malformed.
Stamps ParseSidecar(std::string text) {
  for (int i = 0; i < 2 && !text.empty() && (text.back() == '\r' || text.back() == '\n'); ++i) {
    text.pop_back();
  }
  if (text.size() != 4 && text.size() != 9) return {};
  Stamps stamps;
  for (size_t start = 0; start < text.size(); start += 5) {
    if (start > 0 && text[start - 1] != ' ') return {};
    unsigned value = 0;
    for (size_t i = start; i < start + 4; ++i) {
      const int digit = HexValue(text[i]);
      if (digit < 0) return {};
      value = value * 16 + static_cast<unsigned>(digit);
    }
    stamps.push_back(static_cast<uint16_t>(value));
  }
  return stamps;
}

bool SidecarHolds(FileSystem& files, const std::string& sidecar, uint16_t stamp) {
  const std::optional<std::string> text = ReadSidecarText(files, sidecar);
  if (!text) return false;
  for (uint16_t held : ParseSidecar(*text)) {
    if (held == stamp) return true;
  }
  return false;
}

bool WriteWholeFile(FileSystem& files, const std::string& path, const std::string& content) {
  std::optional<platform::ReplacementFile> file = files.CreateReplacement(path);
  return file && files.Write(*file, content.data(), content.size()) && files.Finish(*file) &&
         files.Commit(*file);
}

// The sidecar too is replaced in one step: a crash never leaves it cut.
bool WriteSidecar(FileSystem& files, const std::string& sidecar, const Stamps& stamps) {
  std::string text;
  for (uint16_t stamp : stamps) {
    static constexpr char kDigits[] = "0123456789abcdef";
    if (!text.empty()) text += ' ';
    for (int shift = 12; shift >= 0; shift -= 4) text += kDigits[(stamp >> shift) & 0xF];
  }
  return WriteWholeFile(files, sidecar, text);
}

void RemoveSidecar(FileSystem& files, const std::string& sidecar) {
  if (files.Exists(sidecar)) files.Remove(sidecar);
}

// Puts `stamp` on the list as it stands: in the file's own place when that
// keeps it, else in the sidecar.
void StampInPlace(FileSystem& files, const std::string& path, uint16_t stamp) {
  const std::string sidecar = SidecarPath(path);
  std::optional<platform::UpdatableFile> file = files.OpenForUpdate(path);
  if (file && (files.ReadStamp(*file) == stamp || files.WriteStamp(*file, stamp))) {
    RemoveSidecar(files, sidecar);
    return;
  }
  WriteSidecar(files, sidecar, {stamp});
}

// The stamp with which the list as it stands passes its check; none when it
// passes without one (no checksum) or does not pass at all.
std::optional<uint16_t> PassingStamp(FileSystem& files, const std::string& path) {
  const uint32_t checksum = FileChecksum(path.c_str(), files);
  if (!HasChecksum(checksum)) return std::nullopt;
  const uint16_t wanted = StampOf(checksum);
  std::optional<platform::UpdatableFile> file = files.OpenForUpdate(path);
  if (file && files.ReadStamp(*file) == wanted) return wanted;
  if (SidecarHolds(files, SidecarPath(path), wanted)) return wanted;
  return std::nullopt;
}

// Stamps the finished, not yet committed replacement where the stamp will
// still be after the rename; false when it will not be.
bool StampTravelsWith(FileSystem& files, const platform::ReplacementFile& replacement,
                      uint16_t stamp) {
  if (!files.StampSurvivesRename()) return false;
  std::optional<platform::UpdatableFile> file = files.OpenForUpdate(replacement.path());
  return file && files.WriteStamp(*file, stamp);
}

}  // namespace

std::string ExclusionFilePath() {
  // Asked once: every folder of a walk looks for the list.
  const std::string executable = platform::HostExecutablePath();
  if (auto found = FindDataFile(kExclusionFileName, kShortTextLength, executable)) return *found;
  std::optional<std::string> host = HostFolderOf(executable, kShortTextLength + 1);
  if (!host) return {};
  std::string path = *host + platform::kPathSeparator + kExclusionFileName;
  if (path.size() > kShortTextLength) return {};
  return path;
}

uint32_t FileChecksum(const char* path, FileSystem& files) {
  if (path == nullptr) return 0;
  std::optional<platform::InputFile> file = files.OpenForReading(path);
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

bool VerifyExclusionStamp(FileSystem& files, const std::string& path) {
  const uint32_t checksum = FileChecksum(path.c_str(), files);
  if (!HasChecksum(checksum)) return true;
  std::optional<platform::UpdatableFile> file = files.OpenForUpdate(path);
  if (!file) return true;
  const uint16_t wanted = StampOf(checksum);
  if (files.ReadStamp(*file) == wanted) return true;
  if (SidecarHolds(files, SidecarPath(path), wanted)) return true;
  files.Truncate(*file);
  return false;
}

void WriteExclusionStamp(FileSystem& files, const std::string& path) {
  const uint32_t checksum = FileChecksum(path.c_str(), files);
  if (!HasChecksum(checksum)) return;
  if (!files.OpenForUpdate(path)) return;
  StampInPlace(files, path, StampOf(checksum));
}

bool ReplaceExclusionFile(FileSystem& files, const std::string& path, const std::string& content) {
  if (path.empty()) return false;
  // The read-only rule: a list that does not open for writing stays as it
  // is, even where the folder would let a new file be renamed over it.
  if (files.Exists(path) && !files.OpenForUpdate(path)) return false;
  const std::optional<uint16_t> old_stamp = PassingStamp(files, path);

  std::optional<platform::ReplacementFile> file = files.CreateReplacement(path);
  if (!file || !files.Write(*file, content.data(), content.size()) || !files.Finish(*file)) {
    return false;
  }
  const uint32_t checksum = Crc32(content.data(), content.size());
  const uint16_t stamp = StampOf(checksum);
  const std::string sidecar = SidecarPath(path);
  const std::optional<std::string> old_sidecar = ReadSidecarText(files, sidecar);
  bool sidecar_changed = false;
  if (HasChecksum(checksum) && !StampTravelsWith(files, *file, stamp)) {
    // The stamp reaches the list only after the rename. Until it does, the
    // sidecar vouches for the old list and the new one alike, so that a
    // crash between the two renames leaves a list that loads.
    Stamps stamps;
    if (old_stamp && *old_stamp != stamp) stamps.push_back(*old_stamp);
    stamps.push_back(stamp);
    if (!WriteSidecar(files, sidecar, stamps)) return false;
    sidecar_changed = true;
  }
  if (!files.Commit(*file)) {
    if (sidecar_changed) {
      if (old_sidecar) {
        WriteWholeFile(files, sidecar, *old_sidecar);
      } else {
        RemoveSidecar(files, sidecar);
      }
    }
    return false;
  }
  if (HasChecksum(checksum)) {
    StampInPlace(files, path, stamp);
  } else {
    RemoveSidecar(files, sidecar);  // an empty list needs no stamp
  }
  return true;
}

}  // namespace kv
