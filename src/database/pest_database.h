// The pest database: the current signature table behind a reload gate, the
// Readers that hold it for lookups and size walks, and the watcher thread
// that reloads KVFILE.DAT when its size changes. (The pest information table
// joins it later.)
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "common/status.h"
#include "database/signature_table.h"
#include "kvserver.h"
#include "platform/sync.h"
#include "platform/threads.h"

namespace kv {

// How often the watcher looks at the file's size, and how long it lets a
// changed file settle before reloading it.
inline constexpr uint32_t kWatcherCheckIntervalMs = 12 * 60 * 60 * 1000;
inline constexpr uint32_t kWatcherSettleIntervalMs = 5 * 60 * 1000;

// A thread's hold on one database's table, shared by the Readers it takes.
struct TableHold;

class PestDatabase {
 public:
  // A hold on the current signature table, for one lookup or one step of a
  // walk. While a Reader lives, no load, reload or free releases the table
  // it reads: the records it returns, and the names in them, stay valid
  // until it goes (a swap of the table waits for it). Nothing else hands out
  // a record of the table, except the fpi export, whose interface does.
  //
  // Never hold a Reader across foreign code: a host callback, a file read,
  // or a call back into the engine. A reload waits for every Reader, and
  // every lookup waits for the reload, so code that runs while one is held
  // must not wait for either; a host callback may load, and a file read may
  // take as long as the disk likes, with every lookup of every thread held
  // up behind the reload. A walk copies what it needs from the records (id,
  // PVT, name) into its own memory, lets the Reader go, then reads the file
  // or calls the host, and takes a new Reader for its next lookup.
  //
  // A second Reader taken on a thread that already holds one of the same
  // database shares that hold: it reads the same table and does not wait at
  // the reload gate (a reload that waits for the first Reader would never
  // open it). Loading or freeing the table on a thread that holds a Reader
  // would wait for itself; debug builds stop there with a message.
  //
  // A Reader stays on the thread that took it: it cannot be copied or moved.
  class Reader {
   public:
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    const _PEST_SIGNATURE* FindPest(uint32_t pvt, uint32_t second, uint32_t c, uint32_t d) const {
      return table_->FindPest(pvt, second, c, d);
    }
    const _PEST_SIGNATURE* LookupPVT(uint32_t pvt) const { return table_->LookupPVT(pvt); }
    const _PEST_SIGNATURE* FindPestByName(const char* name) const {
      return table_->FindPestByName(name);
    }

    // This Reader's size cursor: the first signature of exactly `size`,
    // then the rest of them one by one, lowest index first, then null (and
    // null again until FirstWithSize starts over). NextWithSize before any
    // FirstWithSize returns null.
    const _PEST_SIGNATURE* FirstWithSize(uint32_t size);
    const _PEST_SIGNATURE* NextWithSize();

    const SignatureTable& table() const { return *table_; }

   private:
    friend class PestDatabase;
    explicit Reader(PestDatabase* database);

    PestDatabase* database_;
    const SignatureTable* table_ = nullptr;
    // This thread's hold on the database, shared with nested Readers; null
    // when this Reader holds a lock of its own (too many databases held).
    TableHold* hold_ = nullptr;
    uint32_t size_cursor_key_ = 0;
    // Past any table until FirstWithSize places it.
    size_t size_cursor_index_ = static_cast<size_t>(-1);
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
  Status LoadSignatures(const char* path);

  // Empties the table; the watcher keeps running.
  void FreeSignatures();

  // Waits at the reload gate, then holds the current table (or shares the
  // hold this thread already has; see Reader).
  Reader Read();

  // New detection records (empty file name) for LookupPVT(pvt), exact value
  // only, and for FindPestByName(name); copied while the table is held.
  // Null when nothing matches or memory runs out.
  _PEST_INFORMATION* NewPestInformationByPVT(uint32_t pvt);
  _PEST_INFORMATION* NewPestInformationByName(const char* name);

  // Waits until no reload is replacing the table. False when there is no
  // gate to wait on.
  bool WaitUsable() const;

  // The watcher's work when the file's size changed: closes the gate,
  // verifies the file and, only if it is sound, loads it; opens the gate.
  void Reload();
  // True from the moment a reload closes the gate until it opens it again.
  bool reloading() const { return reloading_.load(); }

  // Teardown: stops the watcher (a reload in progress finishes first; a
  // sleep is cut short) and frees the table. Idempotent; no watcher starts
  // afterwards.
  void Shutdown();

  int32_t SignatureCount() const;
  uint32_t MaxFileSize() const;
  // Size of KVFILE.DAT when it was last opened for loading; -1 before.
  int32_t LoadedFileSize() const { return static_cast<int32_t>(loaded_file_size_.load()); }
  // Path of the file last loaded successfully; empty before.
  std::string DatFilePath() const;
  // Collisions of the PVT index, summed over every successful load.
  int32_t PvtCollisions() const;
  // Slots of the current PVT index (0 before the first load).
  uint32_t PvtSlotCount() const;
  bool watcher_running() const;
  // Size checks the watcher has made so far (each after one check interval).
  uint32_t watcher_checks() const { return watcher_checks_.load(); }

 private:
  // Loads under load_mutex_. A reload (on the watcher thread) restores
  // LoadedFileSize on failure, so that the watcher tries the file again, and
  // starts no watcher.
  enum class LoadKind { kFromHost, kReload };
  Status LoadLocked(const char* path, LoadKind kind);
  void StartWatcher();
  bool FileSizeChanged() const;
  void WatcherMain(platform::SleepingThread::Control& control);
  void ReplaceTable(std::unique_ptr<SignatureTable> table);
  // Debug builds: stops the process when this thread holds a Reader of
  // this database, since replacing the table would wait for it forever.
  void CheckNoReaderOnThisThread(const char* operation) const;

  const uint32_t check_interval_ms_;
  const uint32_t settle_interval_ms_;

  // The gate: signalled while lookups may pass.
  platform::ManualResetEvent reload_gate_{true};
  std::atomic<bool> reloading_{false};
  // Readers share it; swapping or freeing the table takes it exclusively.
  mutable std::shared_mutex table_lock_;
  std::unique_ptr<SignatureTable> table_;  // never null

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
  std::atomic<uint32_t> watcher_checks_{0};
};

}  // namespace kv
