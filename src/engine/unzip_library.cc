// Loading the unzip library and resolving its five operations by name.
#include "engine/unzip_library.h"

#include "platform/modules.h"

namespace kv {

UnzipLibrary UnzipLibrary::Load() {
  UnzipLibrary unzip;
  unzip.module = platform::LoadLibraryByName(platform::kUnzipLibraryName);
  if (unzip.module == nullptr) return unzip;
  auto find = [&unzip](const char* name) {
    return platform::FindLibrarySymbol(unzip.module, name);
  };
  unzip.init = find("Wiz_Init");
  unzip.set_options = find("Wiz_SetOpts");
  unzip.unzip_to_memory = find("Wiz_UnzipToMemory");
  unzip.single_entry_unzip = find("Wiz_SingleEntryUnzip");
  unzip.free_memory_buffer = find("UzpFreeMemBuffer");
  unzip.list_indexed = find("kvUnzipListIndexed");
  unzip.unzip_to_memory_by_index = find("kvUnzipToMemoryByIndex");
  unzip.ready = unzip.init && unzip.set_options && unzip.unzip_to_memory &&
                unzip.single_entry_unzip && unzip.free_memory_buffer;
  return unzip;
}

}  // namespace kv
