// Exports of the data folder, the exclusion list and the process lookup: a
// thin shell over the one Engine.
#include "config/data_folder.h"
#include "engine/engine.h"
#include "engine/export_guard.h"
#include "kvserver.h"
#include "process/process_lookup.h"

using kv::TheEngine;

extern "C" {

KV_EXPORT int32_t KV_CDECL kvGetDATFolder(char* buffer, int32_t size) {
  return kv::Guarded(0, [&] { return TheEngine().data_folder().CopyTo(buffer, size); });
}

KV_EXPORT int32_t KV_CDECL kvSetDATFolder(const char* folder) {
  return kv::Guarded(0, [&] {
    if (folder != nullptr) TheEngine().data_folder().Set(folder);
    return 1;
  });
}

KV_EXPORT int32_t KV_CDECL kvAddExclusion(const char* path) {
  return kv::Guarded(0, [&] { return TheEngine().exclusions().Add(path); });
}

KV_EXPORT int32_t KV_CDECL kvRemoveExclusion(const char* path) {
  return kv::Guarded(0, [&] { return TheEngine().exclusions().Remove(path); });
}

KV_EXPORT const char* KV_CDECL kvFindFirstExclusion(void) {
  return kv::Guarded<const char*>(nullptr, [] { return TheEngine().exclusions().First(); });
}

KV_EXPORT const char* KV_CDECL kvFindNextExclusion(void) {
  return kv::Guarded<const char*>(nullptr, [] { return TheEngine().exclusions().Next(); });
}

KV_EXPORT int32_t KV_CDECL kvIsFileExcluded(const char* path) {
  return kv::Guarded(0, [&] { return TheEngine().exclusions().IsExcluded(path); });
}

KV_EXPORT int32_t KV_CDECL kvGetProcessFilename(uint32_t process_id, char* buffer, int32_t size) {
  return kv::Guarded(
      -1, [&] { return kv::GetProcessFilename(process_id, buffer, static_cast<uint32_t>(size)); });
}

}  // extern "C"
