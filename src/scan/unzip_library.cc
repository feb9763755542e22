// Loading the unzip library and resolving its operations by name.
#include "scan/unzip_library.h"

#include <type_traits>

#include "platform/modules.h"

namespace kv {

UnzipLibrary UnzipLibrary::Load(const char* name) {
  UnzipLibrary unzip;
  unzip.module = platform::LoadLibraryByName(name != nullptr ? name : platform::kUnzipLibraryName);
  if (unzip.module == nullptr) return unzip;
  auto find = [&unzip](const char* symbol) {
    return platform::FindLibrarySymbol(unzip.module, symbol);
  };
  // Function and object pointers share one representation on every
  // platform the engine runs on; the library's header gives the types.
  auto typed = [](auto& slot, void* address) {
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(address);
  };
  unzip.init = find("Wiz_Init");
  unzip.set_options = find("Wiz_SetOpts");
  typed(unzip.unzip_to_memory, find("Wiz_UnzipToMemory"));
  typed(unzip.single_entry_unzip, find("Wiz_SingleEntryUnzip"));
  typed(unzip.free_memory_buffer, find("UzpFreeMemBuffer"));
  typed(unzip.list_indexed, find("kvUnzipListIndexed"));
  typed(unzip.unzip_to_memory_by_index, find("kvUnzipToMemoryByIndex"));
  unzip.ready = unzip.init && unzip.set_options && unzip.unzip_to_memory &&
                unzip.single_entry_unzip && unzip.free_memory_buffer;
  return unzip;
}

}  // namespace kv
