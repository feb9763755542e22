// A host program for the loader test: it runs the engine's own unzip
// loader and says through its exit code what it found. Copied with the
// unzip library into a folder of its own, it stands where a host stands.
//   0: ready, with the optional indexed operations; 1: not ready;
//   2: ready without the optional operations.
#include "scan/unzip_library.h"

int main() {
  const kv::UnzipLibrary unzip = kv::UnzipLibrary::Load();
  if (!unzip.ready) return 1;
  return unzip.list_indexed != nullptr && unzip.unzip_to_memory_by_index != nullptr ? 0 : 2;
}
