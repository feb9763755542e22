// Exports of the signature table: the raw lookup fpi and the lookups that
// hand out detection records, with their release.
#include "common/pest_information.h"
#include "engine/engine.h"
#include "engine/export_guard.h"
#include "kvserver.h"

using kv::TheEngine;

extern "C" {

KV_EXPORT const _PEST_SIGNATURE* KV_CDECL fpi(uint32_t pvt, uint32_t second, uint32_t c,
                                              uint32_t d) {
  // The interface hands out the table's own record, valid until the next
  // load, reload or free; the hold ends with this call.
  return kv::Guarded<const _PEST_SIGNATURE*>(
      nullptr, [&] { return TheEngine().database().Read().FindPest(pvt, second, c, d); });
}

KV_EXPORT _PEST_INFORMATION* KV_CDECL kvFindPestByPVT(uint32_t pvt) {
  return kv::Guarded<_PEST_INFORMATION*>(
      nullptr, [pvt] { return TheEngine().database().NewPestInformationByPVT(pvt); });
}

KV_EXPORT _PEST_INFORMATION* KV_CDECL kvFindPestByName(const char* name) {
  return kv::Guarded<_PEST_INFORMATION*>(
      nullptr, [name] { return TheEngine().database().NewPestInformationByName(name); });
}

KV_EXPORT int32_t KV_CDECL kvDeallocatePestInformation(_PEST_INFORMATION* record) {
  return kv::Guarded(0, [record] {
    kv::DeletePestInformation(record);
    return 1;
  });
}

}  // extern "C"
