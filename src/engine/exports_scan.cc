// Exported scan settings: the file masks.
#include "engine/engine.h"
#include "engine/export_guard.h"
#include "kvserver.h"

extern "C" {

KV_EXPORT int32_t KV_CDECL kvSetFileMasks(const char* masks) {
  return kv::Guarded(0, [masks] { return kv::TheEngine().file_masks().Set(masks); });
}

#if defined(_WIN32)
int32_t KV_STDCALL kvSetFileMasks_stdcall(const char* masks) {
  return kvSetFileMasks(masks);
}
#endif

}  // extern "C"
