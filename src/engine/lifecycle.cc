// Starting and stopping the engine (kvServerInitialize and
// kvServerDeinitialize) and the single-file scan.
#include "engine/engine.h"
#include "scan/single_file_scan.h"

namespace kv {

Status Engine::Initialize() {
  LoadUnzipLibraryOnce();
  file_masks_.Set(kDefaultFileMasks);
  const std::string path = data_folder_.Locate(kSignatureFileName, true);
  const Status status = database_.LoadSignatures(path.c_str());
  if (status != Status::kOk) return status;
  exclusions_.Load();
  ++init_count_;
  max_scan_file_size_ = database_.MaxFileSize();
  SetScanMode(0);
  return Status::kOk;
}

Status Engine::Deinitialize() {
  if (init_count_.load() == 0) return Status::kNeverInitialized;
  UnloadPestInfo();
  database_.FreeSignatures();
  return Status::kOk;
}

_PEST_INFORMATION* Engine::ScanSingleFile(const char* path) {
  return kv::ScanSingleFile(path, exclusions_, database_);
}

}  // namespace kv
