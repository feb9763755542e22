// The pest database: the current signature table behind a reload gate, the
// size cursor, and the watcher thread that reloads KVFILE.DAT when its size
// changes. (The pest information table joins it later.)
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "database/dat_status.h"
#include "database/signature_table.h"
#include "kvserver.h"
#include "platform/sync.h"
#include "platform/threads.h"

namespace kv {

// How often the watcher looks at the file's size, and how long it lets a
// changed file settle before reloading it.
inline constexpr uint32_t kWatcherCheckIntervalMs = 12 * 60 * 60 * 1000;
inline constexpr uint32_t kWatcherSettleIntervalMs = 5 * 60 * 1000;

class PestDatabase {
 public:
  // A hold on the current signature table. While a Reader lives, no load,
  // reload or free releases the table it reads, so records it returns (and
  // the strings in them) stay valid; a swap waits for it. Hold one only for
  // the lookups and copies at hand, and never two on one thread.
  class Reader {
   public:
    Reader(Reader&&) = default;

    const _PEST_SIGNATURE* FindPest(uint32_t pvt, uint32_t second, uint32_t c,
                                    uint32_t d) const {
      return table_->FindPest(pvt, second, c, d);
    }
    const _PEST_SIGNATURE* LookupPVT(uint32_t pvt) const {
      return table_->LookupPVT(pvt);
    }
    const _PEST_SIGNATURE* FindPestByName(const char* name) const {
      return table_->FindPestByName(name);
    }
    // The database's one size cursor, moved over the table held.
    const _PEST_SIGNATURE* FirstWithSize(uint32_t size);
    const _PEST_SIGNATURE* NextWithSize();

    const SignatureTable& table() const { return *table_; }

   private:
    friend class PestDatabase;
    Reader(PestDatabase* database, std::shared_lock<std::shared_mutex> lock)
        : database_(database),
          lock_(std::move(lock)),
          table_(database->table_.get()) {}

    PestDatabase* database_;
    std::shared_lock<std::shared_mutex> lock_;
    const SignatureTable* table_;
  };

  // Production intervals by default; tests pass milliseconds.
  explicit PestDatabase(uint32_t check_interval_ms = kWatcherCheckIntervalMs,
                        uint32_t settle_interval_ms = kWatcherSettleIntervalMs);
  ~PestDatabase();
  PestDatabase(const PestDatabase&) = delete;
  PestDatabase& operator=(const PestDatabase&) = delete;

  // Reads, checks and decodes KVFILE.DAT and replaces the table with it. The
  // file's size is remembered (LoadedFileSize) as soon as it is open. On
  // failure the table in use stays. On success writes the two statistics
  // lines to standard output, remembers `path` and starts the watcher if it
  // is not running.
  DatStatus LoadSignatures(const char* path);

  // Empties the table; the watcher keeps running.
  void FreeSignatures();

  // Waits at the reload gate, then holds the current table.
  Reader Read();

  // One-shot lookups (each waits at the gate). The records returned stay
  // valid until the next load, reload or free; callers that copy from them
  // while a reload may run hold a Reader instead.
  const _PEST_SIGNATURE* FindPest(uint32_t pvt, uint32_t second, uint32_t c,
                                  uint32_t d);
  const _PEST_SIGNATURE* LookupPVT(uint32_t pvt);
  const _PEST_SIGNATURE* FindPestByName(const char* name);

  // New detection records (empty file name) for LookupPVT(pvt), exact value
  // only, and for FindPestByName(name); copied while the table is held.
  // Null when nothing matches or memory runs out.
  _PEST_INFORMATION* NewPestInformationByPVT(uint32_t pvt);
  _PEST_INFORMATION* NewPestInformationByName(const char* name);

  // The size cursor, without waiting at the gate: the first signature of
  // exactly `size`, then the rest of them one by one, then null. One cursor
  // per database; iterate from one thread at a time.
  const _PEST_SIGNATURE* FirstWithSize(uint32_t size);
  const _PEST_SIGNATURE* NextWithSize();

  // Waits until no reload is replacing the table. False when there is no
  // gate to wait on.
  bool WaitUsable() const;

  // The watcher's work when the file's size changed: closes the gate,
  // verifies the file and, only if it is sound, loads it; opens the gate.
  void Reload();

  // Teardown: stops the watcher (a reload in progress finishes first; a
  // sleep is cut short) and frees the table. Idempotent; no watcher starts
  // afterwards.
  void Shutdown();

  int32_t SignatureCount() const;
  uint32_t MaxFileSize() const;
  // Size of KVFILE.DAT when it was last opened for loading; -1 before.
  int32_t LoadedFileSize() const {
    return static_cast<int32_t>(loaded_file_size_.load());
  }
  // Path of the file last loaded successfully; empty before.
  std::string DatFilePath() const;
  // Collisions of the PVT index, summed over every successful load.
  int32_t PvtCollisions() const;
  // Slots of the current PVT index (0 before the first load).
  uint32_t PvtSlotCount() const;
  bool watcher_running() const;

 private:
  // Loads under load_mutex_. A reload (on the watcher thread) restores
  // LoadedFileSize on failure, so that the watcher tries the file again, and
  // starts no watcher.
  enum class LoadKind { kFromHost, kReload };
  DatStatus LoadLocked(const char* path, LoadKind kind);
  void StartWatcher();
  bool FileSizeChanged() const;
  void WatcherMain(platform::SleepingThread::Control& control);
  void ReplaceTable(std::unique_ptr<SignatureTable> table);

  const uint32_t check_interval_ms_;
  const uint32_t settle_interval_ms_;

  // The gate: signalled while lookups may pass.
  platform::ManualResetEvent reload_gate_{true};
  // Readers share it; swapping or freeing the table takes it exclusively.
  mutable std::shared_mutex table_lock_;
  std::unique_ptr<SignatureTable> table_;  // never null

  // Size cursor, shared without a lock as one iteration at a time.
  uint32_t size_cursor_key_ = 0;
  size_t size_cursor_index_ = 0;

  // Loads are serialised; these change only under load_mutex_.
  mutable std::mutex load_mutex_;
  std::string dat_file_path_;
  int32_t pvt_collisions_ = 0;

  // Taken by host threads only, never by the watcher, so that a watcher the
  // system ended abruptly cannot leave it locked for Shutdown.
  mutable std::mutex watcher_mutex_;
  bool shut_down_ = false;
  std::unique_ptr<platform::SleepingThread> watcher_;

  std::atomic<uint32_t> loaded_file_size_{0xFFFFFFFFu};
};

}  // namespace kv
