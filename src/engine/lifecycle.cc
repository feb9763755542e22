// Starting and stopping the engine: kvServerInitialize and
// kvServerDeinitialize.
#include "engine/data_folder.h"
#include "engine/engine.h"

namespace kv {

int32_t Engine::Initialize() {
  file_masks_.Set(kDefaultFileMasks);
  const std::string path = LocateDataFile(kSignatureFileName, true, dat_folder_);
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

}  // namespace kv
