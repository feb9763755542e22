// Loads, references and one-call loads of the shared pest information table.
#include "database/pest_info_store.h"

namespace kv {

Status PestInfoStore::Read(const Locate& locate, std::unique_ptr<PestInfoTable>* table) {
  auto loaded = std::make_unique<PestInfoTable>();
  const std::string path = locate();
  const Status status = loaded->Load(path.c_str());
  if (status == Status::kOk) *table = std::move(loaded);
  return status;
}

Status PestInfoStore::Load(const Locate& locate) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (table_) {
      ++references_;
      return Status::kOk;
    }
  }
  std::unique_ptr<PestInfoTable> table;
  const Status status = Read(locate, &table);
  if (status != Status::kOk) return status;
  std::lock_guard<std::mutex> lock(mutex_);
  // Another thread may have loaded it meanwhile: its table stays and this
  // one is dropped.
  if (!table_) table_ = std::move(table);
  ++references_;
  return Status::kOk;
}

void PestInfoStore::Unload() {
  std::unique_ptr<PestInfoTable> released;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!table_) return;
  if (--references_ > 0) return;
  released = std::move(table_);
}

Status PestInfoStore::WithTable(const Locate& locate, const Use& use) {
  if (WithLoadedTable(use)) return Status::kOk;
  std::unique_ptr<PestInfoTable> table;
  const Status status = Read(locate, &table);
  if (status != Status::kOk) return status;
  use(*table);
  return Status::kOk;
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
