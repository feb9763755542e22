// Starting and stopping the engine (kvServerInitialize and
// kvServerDeinitialize) and the single-file scan.
#include "engine/engine.h"
#include "scan/single_file_scan.h"

namespace kv {

int32_t Engine::Initialize() {
  LoadUnzipLibraryOnce();
  file_masks_.Set(kDefaultFileMasks);
  const std::string path = data_folder_.Locate(kSignatureFileName, true);
  const DatStatus status = database_.LoadSignatures(path.c_str());
  if (status != DatStatus::kOk) return ToInt(status);
  exclusions_.Load();
  ++init_count_;
  max_scan_file_size_ = database_.MaxFileSize();
  SetScanMode(0);
  return ToInt(DatStatus::kOk);
}

int32_t Engine::Deinitialize() {
  if (init_count_.load() == 0) return kStatusNeverInitialized;
  UnloadPestInfo();
  database_.FreeSignatures();
  return 0;
}

_PEST_INFORMATION* Engine::ScanSingleFile(const char* path) {
  return kv::ScanSingleFile(path, exclusions_, database_);
}

}  // namespace kv
