// Identifying one file: exclusion test, fingerprint, signature lookup.
#include "common/pest_information.h"
#include "engine/engine.h"
#include "scan/fingerprint.h"

namespace kv {

_PEST_INFORMATION* Engine::ScanSingleFile(const char* path) {
  if (path == nullptr || exclusions_.IsExcluded(path) != 0) return nullptr;
  Fingerprint fingerprint;
  if (!ComputeFingerprint(path, &fingerprint)) return nullptr;
  // The record is copied while the table is held, so a reload cannot free
  // the signature under the copy.
  PestDatabase::Reader reader = database_.Read();
  const _PEST_SIGNATURE* signature =
      reader.FindPest(fingerprint.head_crc, fingerprint.long_head_crc, 0, 0);
  if (signature == nullptr) return nullptr;
  return NewPestInformation(*signature, path);
}

}  // namespace kv
