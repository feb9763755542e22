// Persistence of the exclusion list: where "excluded.dat" lives, its
// checksum, and the integrity stamp kept outside its content.
#pragma once

#include <cstdint>
#include <string>

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
uint32_t FileChecksum(const char* path);

// Where the stamp may be kept. The file's own place (creation time or
// extended attribute) comes first; the sidecar "<list>.stamp" stands in
// where the file system does not keep it. kSidecarOnly behaves as such a
// file system does.
enum class StampPlaces { kFileAndSidecar, kSidecarOnly };

// True when the list may be read: it has no checksum, cannot be opened for
// reading and writing (read-only or locked), or carries the low 16 bits of
// its checksum in either place. Otherwise empties the file and returns
// false.
bool VerifyExclusionStamp(const std::string& path, StampPlaces places);

// Stamps the list with the low 16 bits of its checksum, in the file's own
// place when it keeps it (then removing a sidecar), else in the sidecar.
// Writes nothing when the checksum is 0 or 0xFFFFFFFF or the file cannot be
// opened for reading and writing.
void WriteExclusionStamp(const std::string& path, StampPlaces places);

}  // namespace kv
