// Identifying one file: exclusion test, fingerprint, signature lookup.
#include "scan/single_file_scan.h"

#include "common/pest_information.h"
#include "scan/fingerprint.h"

namespace kv {

_PEST_INFORMATION* ScanSingleFile(const char* path, ExclusionList& exclusions,
                                  PestDatabase& database) {
  if (path == nullptr || exclusions.IsExcluded(path) != 0) return nullptr;
  Fingerprint fingerprint;
  if (!ComputeFingerprint(path, &fingerprint)) return nullptr;
  PestDatabase::Reader reader = database.Read();
  const _PEST_SIGNATURE* signature =
      reader.FindPest(fingerprint.head_crc, fingerprint.long_head_crc, 0, 0);
  if (signature == nullptr) return nullptr;
  return NewPestInformation(*signature, path);
}

}  // namespace kv
