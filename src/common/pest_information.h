// Detection records (_PEST_INFORMATION) handed to hosts: made here by every
// lookup and scan, released only through kvDeallocatePestInformation.
#pragma once

#include "kvserver.h"

namespace kv {

// A new record for `signature`, found in `file_name` (null or "" for none):
// id, PVT and a copy of the pest name; the file name is a copy too, a
// one-byte array holding the terminator when empty; bSizeMatch and the
// reserved words 0. Throws std::bad_alloc when memory runs out, leaving
// nothing allocated.
_PEST_INFORMATION* NewPestInformation(const _PEST_SIGNATURE& signature, const char* file_name);

// Releases the file name, the pest name, then the record. Accepts null.
void DeletePestInformation(_PEST_INFORMATION* record);

}  // namespace kv
