// Loads, references and one-call loads of the shared pest information table.
#include "database/pest_info_store.h"

namespace kv {

DatStatus PestInfoStore::Read(const Locate& locate, std::unique_ptr<PestInfoTable>* table) {
  auto loaded = std::make_unique<PestInfoTable>();
  const std::string path = locate();
  const DatStatus status = loaded->Load(path.c_str());
  if (status == DatStatus::kOk) *table = std::move(loaded);
  return status;
}

DatStatus PestInfoStore::Load(const Locate& locate) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (table_) {
      ++references_;
      return DatStatus::kOk;
    }
  }
  std::unique_ptr<PestInfoTable> table;
  const DatStatus status = Read(locate, &table);
  if (status != DatStatus::kOk) return status;
  std::lock_guard<std::mutex> lock(mutex_);
  // Another thread may have loaded it meanwhile: its table stays and this
  // one is dropped.
  if (!table_) table_ = std::move(table);
  ++references_;
  return DatStatus::kOk;
}

void PestInfoStore::Unload() {
  std::unique_ptr<PestInfoTable> released;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!table_) return;
  if (--references_ > 0) return;
  references_ = 0;
  released = std::move(table_);
}

DatStatus PestInfoStore::WithTable(const Locate& locate, const Use& use) {
  if (WithLoadedTable(use)) return DatStatus::kOk;
  std::unique_ptr<PestInfoTable> table;
  const DatStatus status = Read(locate, &table);
  if (status != DatStatus::kOk) return status;
  use(*table);
  return DatStatus::kOk;
}

bool PestInfoStore::WithLoadedTable(const Use& use) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!table_) return false;
  use(*table_);
  return true;
}

bool PestInfoStore::loaded() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return table_ != nullptr;
}

int32_t PestInfoStore::references() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return references_;
}

}  // namespace kv
