// The pest information operations: the table loaded on request and counted
// by references, or loaded for the length of one call.
#include "engine/data_folder.h"
#include "engine/engine.h"

namespace kv {

int32_t Engine::LoadPestInfo() {
  std::lock_guard<std::mutex> lock(pest_info_mutex_);
  return LoadPestInfoLocked();
}

int32_t Engine::LoadPestInfoLocked() {
  if (pest_info_loaded_) {
    ++pest_info_refs_;
    return 0;
  }
  // KVINFO.DAT never comes from a folder the host set, and the search
  // leaves the data folder at the folder it took.
  const std::string path = LocateDataFile(kPestInfoFileName, false, dat_folder_);
  const DatStatus status = pest_info_.Load(path.c_str());
  if (status != DatStatus::kOk) return ToInt(status);
  pest_info_loaded_ = true;
  pest_info_refs_ = 1;
  return 0;
}

int32_t Engine::UnloadPestInfo() {
  std::lock_guard<std::mutex> lock(pest_info_mutex_);
  UnloadPestInfoLocked();
  return 0;
}

void Engine::UnloadPestInfoLocked() {
  if (!pest_info_loaded_) return;
  if (--pest_info_refs_ > 0) return;
  pest_info_.Clear();
  pest_info_loaded_ = false;
}

int32_t Engine::GetDetailedPestInformation(uint32_t pest_id, _DETAILED_PEST_INFORMATION** out) {
  std::lock_guard<std::mutex> lock(pest_info_mutex_);
  const bool loaded_for_this_call = !pest_info_loaded_;
  if (loaded_for_this_call) {
    const int32_t status = LoadPestInfoLocked();
    if (status != 0) return status;
  }
  database_.WaitUsable();
  const PestInfoRecord* record = pest_info_.ById(pest_id);
  _DETAILED_PEST_INFORMATION* copy = nullptr;
  if (record != nullptr && out != nullptr) copy = CopyForHost(*record);
  if (loaded_for_this_call) UnloadPestInfoLocked();
  if (record == nullptr) return kStatusPestNotFound;
  if (out != nullptr) *out = copy;
  return 0;
}

int32_t Engine::GetDetailedPestInformationFromName(const char* name,
                                                   _DETAILED_PEST_INFORMATION** out) {
  uint32_t pest_id = 0;
  {
    PestDatabase::Reader reader = database_.Read();
    const _PEST_SIGNATURE* signature = reader.FindPestByName(name);
    if (signature == nullptr) return kStatusPestNotFound;
    pest_id = signature->dwPestID;
  }
  return GetDetailedPestInformation(pest_id, out);
}

_DETAILED_PEST_INFORMATION* Engine::GetDetailedPestInfoByIndex(int32_t index) {
  std::lock_guard<std::mutex> lock(pest_info_mutex_);
  database_.WaitUsable();
  const PestInfoRecord* record = pest_info_.At(index);
  return record == nullptr ? nullptr : CopyForHost(*record);
}

}  // namespace kv
