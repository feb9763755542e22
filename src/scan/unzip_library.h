// The unzip library the archive scanner relies on, looked up once per process,
// with its operations typed as the library's header declares them.
#pragma once

#include "unzip32.h"

namespace kv {

struct UnzipLibrary {
  using UnzipToMemoryFn = int(UNZIP32_CALL*)(char*, char*, Unzip32Callbacks*, Unzip32Buffer*);
  using SingleEntryUnzipFn = int(UNZIP32_CALL*)(int, char**, int, char**, Unzip32Options*,
                                                Unzip32Callbacks*);
  using FreeMemoryBufferFn = void(UNZIP32_CALL*)(Unzip32Buffer*);
  using ListIndexedFn = int(UNZIP32_CALL*)(const char*, Unzip32IndexedMemberFn, void*);
  using UnzipToMemoryByIndexFn = int(UNZIP32_CALL*)(const char*, uint32_t, Unzip32Callbacks*,
                                                    Unzip32Buffer*);

  void* module = nullptr;
  void* init = nullptr;         // "Wiz_Init": looked up only
  void* set_options = nullptr;  // "Wiz_SetOpts": looked up only
  UnzipToMemoryFn unzip_to_memory = nullptr;
  SingleEntryUnzipFn single_entry_unzip = nullptr;
  FreeMemoryBufferFn free_memory_buffer = nullptr;

  // Optional: our own library adds them, a third-party one may not. Listing
  // with each member's directory index and extraction by that index reach
  // members that share a name with an earlier one.
  ListIndexedFn list_indexed = nullptr;                       // "kvUnzipListIndexed"
  UnzipToMemoryByIndexFn unzip_to_memory_by_index = nullptr;  // "kvUnzipToMemoryByIndex"

  // All five operations present: archive members can be scanned.
  bool ready = false;

  // Loads the unzip library `name` (the platform's by default; a path loads
  // that file) and looks up its operations; a missing library or operation
  // leaves `ready` false.
  static UnzipLibrary Load(const char* name = nullptr);
};

}  // namespace kv
