// Exported start and stop of the engine, and the pest information exports.
#include "database/pest_info_table.h"
#include "engine/engine.h"
#include "engine/export_guard.h"
#include "kvserver.h"

using kv::TheEngine;

extern "C" {

KV_EXPORT int32_t KV_CDECL kvServerInitialize(void) {
  return kv::GuardedStatus([] { return TheEngine().Initialize(); });
}

KV_EXPORT int32_t KV_CDECL kvServerDeinitialize(void) {
  return kv::GuardedStatus([] { return TheEngine().Deinitialize(); });
}

KV_EXPORT int32_t KV_CDECL kvLoadPestInfo(void) {
  return kv::GuardedStatus([] { return TheEngine().LoadPestInfo(); });
}

KV_EXPORT int32_t KV_CDECL kvUnloadPestInfo(void) {
  return kv::GuardedStatus([] { return TheEngine().UnloadPestInfo(); });
}

KV_EXPORT int32_t KV_CDECL kvGetDetailedPestInformation(uint32_t pest_id,
                                                        _DETAILED_PEST_INFORMATION** out) {
  return kv::GuardedStatus([&] { return TheEngine().GetDetailedPestInformation(pest_id, out); });
}

KV_EXPORT int32_t KV_CDECL kvGetDetailedPestInformationFromName(const char* name,
                                                                _DETAILED_PEST_INFORMATION** out) {
  return kv::GuardedStatus(
      [&] { return TheEngine().GetDetailedPestInformationFromName(name, out); });
}

KV_EXPORT _DETAILED_PEST_INFORMATION* KV_CDECL kvGetDetailedPestInfoByIndex(int32_t index) {
  return kv::Guarded<_DETAILED_PEST_INFORMATION*>(
      nullptr, [index] { return TheEngine().GetDetailedPestInfoByIndex(index); });
}

KV_EXPORT int32_t KV_CDECL kvDeallocateDetailedPestInformation(_DETAILED_PEST_INFORMATION* info) {
  return kv::Guarded(0, [info] {
    kv::FreeDetailedPestInformation(info);
    return 1;
  });
}

}  // extern "C"
