// Persistence of the exclusion list: where "excluded.dat" lives, its
// checksum, the integrity stamp kept outside its content, and replacing the
// file so that no failure or crash can cut it or leave it unstamped.
#pragma once

#include <cstdint>
#include <string>

#include "platform/file_system.h"

namespace kv {

inline constexpr char kExclusionFileName[] = "excluded.dat";
// Suffix of the file beside the list that holds the stamp where the file
// itself cannot.
inline constexpr char kStampSidecarSuffix[] = ".stamp";

// The full path of "excluded.dat" to use now: an existing one found by the
// data-file search, else one beside the host executable. Empty when no path
// of at most 259 characters can be made.
std::string ExclusionFilePath();

// The CRC-32 of the file's bytes; 0 when there is none to take (no file, an
// empty one, 4 GiB or more, a read that fails).
uint32_t FileChecksum(const char* path,
                      platform::FileSystem& files = platform::FileSystem::Default());

// True when the list may be read: it has no checksum, cannot be opened for
// reading and writing (read-only or locked), or carries the low 16 bits of
// its checksum in the file's own place (creation time or extended
// attribute) or in the sidecar "<list>.stamp". Otherwise empties the file
// and returns false.
bool VerifyExclusionStamp(platform::FileSystem& files, const std::string& path);

// Stamps the list as it stands with the low 16 bits of its checksum: in the
// file's own place when it keeps it (then removing a sidecar), else in the
// sidecar. Writes nothing when the checksum is 0 or 0xFFFFFFFF or the file
// cannot be opened for reading and writing.
void WriteExclusionStamp(platform::FileSystem& files, const std::string& path);

// Replaces the list with `content`, stamped: the content goes to a new file
// beside the list (beside the file a link leads to), is made durable and
// renamed over the list, and the stamp follows it. A missing list is
// created; an existing one must open for reading and writing (a read-only
// or locked list is left alone). False when any step failed: the list and
// its stamp are then as they were. A crash at any point leaves either the
// old list or the new one, each with a stamp that lets it load.
bool ReplaceExclusionFile(platform::FileSystem& files, const std::string& path,
                          const std::string& content);

}  // namespace kv
