// The pest information table as the engine shares it: loaded on request and
// counted by references, or loaded for the length of one call when no one
// holds it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "common/status.h"
#include "database/pest_info_table.h"

namespace kv {

class PestInfoStore {
 public:
  // Gives the path of KVINFO.DAT; called only when the file is to be read.
  using Locate = std::function<std::string()>;
  // Works on a table; runs with the store's lock held, so it must neither
  // read files nor call out of the engine.
  using Use = std::function<void(const PestInfoTable&)>;

  // Counts one more reference when the table is loaded; otherwise reads the
  // file from `locate` and keeps it with one reference. On failure nothing
  // changes and the load's status is returned.
  Status Load(const Locate& locate);
  // Drops one reference; the last one frees the table. Nothing when the
  // table is not loaded.
  void Unload();

  // Runs `use` on the loaded table, or on a table read from `locate` for
  // this call alone (and freed after it). The load's status when that read
  // fails, without running `use`.
  Status WithTable(const Locate& locate, const Use& use);
  // Runs `use` on the loaded table; false, without running it, when none is
  // loaded.
  bool WithLoadedTable(const Use& use);

  bool loaded() const;
  int32_t references() const;

 private:
  // The file is read outside the lock: a slow disk must not hold up
  // lookups in the table already loaded.
  static Status Read(const Locate& locate, std::unique_ptr<PestInfoTable>* table);

  mutable std::mutex mutex_;
  std::unique_ptr<PestInfoTable> table_;  // null while not loaded
  int32_t references_ = 0;
};

}  // namespace kv
