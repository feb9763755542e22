// The directory walk: every file of a folder tree (or one file) identified
// and reported to the host, depth first in the order the system lists them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "scan/scan_control.h"

namespace kv {

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
