// The unzip library the archive scanner relies on, looked up once per process.
#pragma once

namespace kv {

struct UnzipLibrary {
  void* module = nullptr;
  void* init = nullptr;                // "Wiz_Init": looked up only
  void* set_options = nullptr;         // "Wiz_SetOpts": looked up only
  void* unzip_to_memory = nullptr;     // "Wiz_UnzipToMemory"
  void* single_entry_unzip = nullptr;  // "Wiz_SingleEntryUnzip"
  void* free_memory_buffer = nullptr;  // "UzpFreeMemBuffer"

  // Optional: our own library adds them, a third-party one may not. Listing
  // with each member's directory index and extraction by that index reach
  // members that share a name with an earlier one.
  void* list_indexed = nullptr;              // "kvUnzipListIndexed"
  void* unzip_to_memory_by_index = nullptr;  // "kvUnzipToMemoryByIndex"

  // All five operations present: archive members can be scanned.
  bool ready = false;

  // Loads the platform's unzip library by name and looks up its operations;
  // a missing library or operation leaves `ready` false.
  static UnzipLibrary Load();
};

}  // namespace kv
