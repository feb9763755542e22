// The directory walk: every file of a folder tree (or one file) identified
// and reported to the host, depth first in the order the system lists them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "scan/scan_control.h"

namespace kv {

// Report names never exceed the hosts' 4,096-byte path buffers.
inline constexpr size_t kMaxReportedPathLength = 4095;
// Stands in the middle of a name cut to fit; '<' and '>' are never part of
// a Windows file name, so the marker cannot be mistaken for one.
inline constexpr char kCutMarker[] = "<...>";

// `name` if it fits kMaxReportedPathLength, else its start and its end
// around kCutMarker, kMaxReportedPathLength characters in all.
std::string CutToFit(const std::string& name);

// Walks `path`, a file or a folder (one trailing separator ignored), and
// returns the number of reports: every file whose name passes the masks,
// detected or not, plus the members archives reported. A folder's listing is
// preceded by a reload of the exclusion list. Folders reached through links
// are not walked. A 0 from the callback ends the folder it was reporting
// from; a stop request ends the whole walk. Nothing is reported for a
// missing path (0).
int32_t WalkFileOrDirectory(const char* path, const ScanServices& services,
                            const ScanTarget& target);

// True when the regular file at `path` starts with "PK". Never blocks on a
// pipe.
bool IsZipFile(const char* path);

}  // namespace kv
