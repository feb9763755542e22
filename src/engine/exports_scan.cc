// Exported scans and scan settings: the single-file scan, the file masks.
#include "engine/engine.h"
#include "engine/export_guard.h"
#include "kvserver.h"

extern "C" {

KV_EXPORT _PEST_INFORMATION* KV_CDECL kvScanSingleFile(const char* path) {
  return kv::Guarded<_PEST_INFORMATION*>(nullptr,
                                         [path] { return kv::TheEngine().ScanSingleFile(path); });
}

KV_EXPORT int32_t KV_CDECL kvSetFileMasks(const char* masks) {
  return kv::Guarded(0, [masks] { return kv::TheEngine().file_masks().Set(masks); });
}

}  // extern "C"
