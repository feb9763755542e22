// Identifying one file on disk against the signature table.
#pragma once

#include "database/pest_database.h"
#include "exclusions/exclusion_list.h"
#include "kvserver.h"

namespace kv {

// A new detection record for the file at `path` (kept as given), or null
// when the path is excluded, cannot be fingerprinted or matches nothing.
// The record is copied while the table is held, so a reload cannot free the
// signature under the copy; the file is read before the table is held.
_PEST_INFORMATION* ScanSingleFile(const char* path, ExclusionList& exclusions,
                                  PestDatabase& database);

}  // namespace kv
