// Exports of the data folder, the exclusion list and the process lookup: a
// thin shell over the one Engine, with the Windows callee-pops twins at the
// end (kvserver.def.in gives their names).
#include "engine/data_folder.h"
#include "engine/engine.h"
#include "engine/export_guard.h"
#include "kvserver.h"
#include "process/process_lookup.h"

using kv::TheEngine;

extern "C" {

KV_EXPORT int32_t KV_CDECL kvGetDATFolder(char* buffer, int32_t size) {
  return kv::Guarded(0, [&] { return kv::CopyDatFolder(TheEngine().dat_folder(), buffer, size); });
}

KV_EXPORT int32_t KV_CDECL kvSetDATFolder(const char* folder) {
  return kv::Guarded(0, [&] {
    if (folder != nullptr) TheEngine().dat_folder() = folder;
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

#if defined(_WIN32)
int32_t KV_STDCALL kvGetDATFolder_stdcall(char* buffer, int32_t size) {
  return kvGetDATFolder(buffer, size);
}
int32_t KV_STDCALL kvSetDATFolder_stdcall(const char* folder) { return kvSetDATFolder(folder); }
int32_t KV_STDCALL kvAddExclusion_stdcall(const char* path) { return kvAddExclusion(path); }
int32_t KV_STDCALL kvRemoveExclusion_stdcall(const char* path) { return kvRemoveExclusion(path); }
const char* KV_STDCALL kvFindFirstExclusion_stdcall(void) { return kvFindFirstExclusion(); }
const char* KV_STDCALL kvFindNextExclusion_stdcall(void) { return kvFindNextExclusion(); }
int32_t KV_STDCALL kvIsFileExcluded_stdcall(const char* path) { return kvIsFileExcluded(path); }
int32_t KV_STDCALL kvGetProcessFilename_stdcall(uint32_t process_id, char* buffer, int32_t size) {
  return kvGetProcessFilename(process_id, buffer, size);
}
#endif

}  // extern "C"
