// Exported start and stop of the engine, and the pest information exports.
#include "database/pest_info_table.h"
#include "engine/engine.h"
#include "engine/export_guard.h"
#include "kvserver.h"

using kv::TheEngine;

namespace {
constexpr int32_t kOutOfMemory = KV_STATUS_OUT_OF_MEMORY;
}

extern "C" {

KV_EXPORT int32_t KV_CDECL kvServerInitialize(void) {
  return kv::Guarded(kOutOfMemory, [] { return TheEngine().Initialize(); });
}

KV_EXPORT int32_t KV_CDECL kvServerDeinitialize(void) {
  return kv::Guarded(0, [] { return TheEngine().Deinitialize(); });
}

KV_EXPORT int32_t KV_CDECL kvLoadPestInfo(void) {
  return kv::Guarded(kOutOfMemory, [] { return TheEngine().LoadPestInfo(); });
}

KV_EXPORT int32_t KV_CDECL kvUnloadPestInfo(void) {
  return kv::Guarded(0, [] { return TheEngine().UnloadPestInfo(); });
}

KV_EXPORT int32_t KV_CDECL kvGetDetailedPestInformation(uint32_t pest_id,
                                                        _DETAILED_PEST_INFORMATION** out) {
  return kv::Guarded(kOutOfMemory,
                     [&] { return TheEngine().GetDetailedPestInformation(pest_id, out); });
}

KV_EXPORT int32_t KV_CDECL kvGetDetailedPestInformationFromName(const char* name,
                                                                _DETAILED_PEST_INFORMATION** out) {
  return kv::Guarded(kOutOfMemory,
                     [&] { return TheEngine().GetDetailedPestInformationFromName(name, out); });
}

KV_EXPORT _DETAILED_PEST_INFORMATION* KV_CDECL kvGetDetailedPestInfoByIndex(int32_t index) {
  return kv::Guarded<_DETAILED_PEST_INFORMATION*>(
      nullptr, [index] { return TheEngine().GetDetailedPestInfoByIndex(index); });
}

KV_EXPORT int32_t KV_CDECL kvDeallocateDetailedPestInformation(_DETAILED_PEST_INFORMATION* info) {
  kv::FreeDetailedPestInformation(info);
  return 1;
}

}  // extern "C"
