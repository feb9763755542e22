// The pest information operations: the table loaded on request and counted
// by references, or loaded for the length of one call.
#include "engine/engine.h"

namespace kv {

PestInfoStore::Locate Engine::PestInfoLocator() {
  // KVINFO.DAT never comes from a folder the host set, and the search
  // leaves the data folder at the folder it took.
  return [this] { return data_folder_.Locate(kPestInfoFileName, false); };
}

Status Engine::LoadPestInfo() { return pest_info_.Load(PestInfoLocator()); }

Status Engine::UnloadPestInfo() {
  pest_info_.Unload();
  return Status::kOk;
}

Status Engine::GetDetailedPestInformation(uint32_t pest_id, _DETAILED_PEST_INFORMATION** out) {
  bool found = false;
  _DETAILED_PEST_INFORMATION* copy = nullptr;
  const Status status = pest_info_.WithTable(PestInfoLocator(), [&](const PestInfoTable& table) {
    database_.WaitUsable();
    const PestInfoRecord* record = table.ById(pest_id);
    found = record != nullptr;
    if (found && out != nullptr) copy = CopyForHost(*record);
  });
  if (status != Status::kOk) return status;
  if (!found) return Status::kPestNotFound;
  if (out != nullptr) *out = copy;
  return Status::kOk;
}

Status Engine::GetDetailedPestInformationFromName(const char* name,
                                                  _DETAILED_PEST_INFORMATION** out) {
  uint32_t pest_id = 0;
  {
    PestDatabase::Reader reader = database_.Read();
    const _PEST_SIGNATURE* signature = reader.FindPestByName(name);
    if (signature == nullptr) return Status::kPestNotFound;
    pest_id = signature->dwPestID;
  }
  return GetDetailedPestInformation(pest_id, out);
}

_DETAILED_PEST_INFORMATION* Engine::GetDetailedPestInfoByIndex(int32_t index) {
  _DETAILED_PEST_INFORMATION* copy = nullptr;
  pest_info_.WithLoadedTable([&](const PestInfoTable& table) {
    database_.WaitUsable();
    const PestInfoRecord* record = table.At(index);
    if (record != nullptr) copy = CopyForHost(*record);
  });
  return copy;
}

}  // namespace kv
