// The pest database: loading and replacing the signature table behind the
// reload gate and the reader lock, the Readers and their size cursors, and
// the watcher thread.
#include "database/pest_database.h"

#include <cstdio>
#include <cstdlib>

#include "common/pest_information.h"
#include "database/data_file.h"
#include "platform/files.h"

namespace kv {

PestDatabase::PestDatabase(uint32_t check_interval_ms, uint32_t settle_interval_ms)
    : check_interval_ms_(check_interval_ms),
      settle_interval_ms_(settle_interval_ms),
      table_(std::make_unique<SignatureTable>()) {}

PestDatabase::~PestDatabase() { Shutdown(); }

Status PestDatabase::LoadSignatures(const char* path) {
  CheckNoReaderOnThisThread("LoadSignatures");
  std::lock_guard<std::mutex> lock(load_mutex_);
  const Status status = LoadLocked(path, LoadKind::kFromHost);
  if (status != Status::kOk) return status;
  // The table is in use now. A watcher that cannot be had, for want of
  // memory as of a thread, only means that it is never reloaded.
  StatusOfLoad([this] {
    StartWatcher();
    return Status::kOk;
  });
  return status;
}

Status PestDatabase::LoadLocked(const char* path, LoadKind kind) {
  if (path == nullptr) return Status::kCannotOpen;
  const uint32_t old_size = loaded_file_size_.load();
  std::unique_ptr<SignatureTable> table;
  // The new table is built aside; the one in use stays until it is whole.
  const Status status = StatusOfLoad([&] {
    uint32_t file_size = 0;
    DecodedDataFile decoded;
    const Status read = ReadDataFile(path, DateCheck::kBeforeCheckWord, &decoded, &file_size);
    if (read != Status::kCannotOpen) loaded_file_size_.store(file_size);
    if (read == Status::kOk)
      table = SignatureTable::Build(decoded.payload.span(), decoded.record_count);
    return read;
  });
  if (status != Status::kOk) {
    if (kind == LoadKind::kReload) loaded_file_size_.store(old_size);
    return status;
  }

  pvt_collisions_ += table->pvt_index().collisions();
  std::printf("\n pvt collisions: %d", pvt_collisions_);
  std::printf("\n filesize collisions: %d", 0);
  std::fflush(stdout);

  ReplaceTable(std::move(table));
  dat_file_path_ = path;
  return Status::kOk;
}

// The holds a thread has on tables: one per database, shared by all the
// Readers the thread takes of it, so that a nested Reader neither waits at
// the gate nor locks twice. A thread holds a few databases at most; beyond
// kMaxHeldDatabases a Reader takes a lock of its own.
struct TableHold {
  const PestDatabase* database;
  const SignatureTable* table;
  uint32_t readers;  // 0: the entry is free
};

namespace {

constexpr size_t kMaxHeldDatabases = 4;
thread_local TableHold t_holds[kMaxHeldDatabases] = {};

TableHold* HoldOf(const PestDatabase* database) {
  for (TableHold& hold : t_holds) {
    if (hold.readers != 0 && hold.database == database) return &hold;
  }
  return nullptr;
}

TableHold* FreeHold() {
  for (TableHold& hold : t_holds) {
    if (hold.readers == 0) return &hold;
  }
  return nullptr;
}

}  // namespace

PestDatabase::Reader::Reader(PestDatabase* database) : database_(database) {
  if (TableHold* hold = HoldOf(database)) {
    ++hold->readers;
    hold_ = hold;
    table_ = hold->table;
    return;
  }
  database->WaitUsable();
  database->table_lock_.lock_shared();
  table_ = database->table_.get();
  hold_ = FreeHold();
  if (hold_ != nullptr) *hold_ = {database, table_, 1};
}

PestDatabase::Reader::~Reader() {
  if (hold_ != nullptr && --hold_->readers != 0) return;
  database_->table_lock_.unlock_shared();
}

const _PEST_SIGNATURE* PestDatabase::Reader::FirstWithSize(uint32_t size) {
  size_cursor_key_ = size;
  size_cursor_index_ = table_->SizeSearchStart(size);
  return NextWithSize();
}

const _PEST_SIGNATURE* PestDatabase::Reader::NextWithSize() {
  const size_t count = static_cast<size_t>(table_->count());
  while (size_cursor_index_ < count &&
         table_->at(size_cursor_index_).dwFileSize < size_cursor_key_) {
    ++size_cursor_index_;
  }
  if (size_cursor_index_ >= count ||
      table_->at(size_cursor_index_).dwFileSize != size_cursor_key_) {
    return nullptr;
  }
  return &table_->at(size_cursor_index_++);
}

void PestDatabase::CheckNoReaderOnThisThread(const char* operation) const {
#ifndef NDEBUG
  if (HoldOf(this) != nullptr) {
    std::fprintf(stderr, "kvserver: %s on a thread that holds a reader of the table\n", operation);
    std::abort();
  }
#else
  (void)operation;
#endif
}

void PestDatabase::ReplaceTable(std::unique_ptr<SignatureTable> table) {
  {
    std::unique_lock<std::shared_mutex> lock(table_lock_);
    table_.swap(table);
  }
  // `table` now holds the old one, released outside the lock.
}

void PestDatabase::FreeSignatures() {
  CheckNoReaderOnThisThread("FreeSignatures");
  ReplaceTable(std::make_unique<SignatureTable>());
}

PestDatabase::Reader PestDatabase::Read() { return Reader(this); }

_PEST_INFORMATION* PestDatabase::NewPestInformationByPVT(uint32_t pvt) {
  const Reader reader = Read();
  const _PEST_SIGNATURE* found = reader.LookupPVT(pvt);
  return found == nullptr ? nullptr : NewPestInformation(*found, "");
}

_PEST_INFORMATION* PestDatabase::NewPestInformationByName(const char* name) {
  const Reader reader = Read();
  const _PEST_SIGNATURE* found = reader.FindPestByName(name);
  return found == nullptr ? nullptr : NewPestInformation(*found, "");
}

bool PestDatabase::WaitUsable() const {
  if (!reload_gate_.valid()) return false;
  // Wait() changes nothing; the gate is only logically const.
  const_cast<platform::ManualResetEvent&>(reload_gate_).Wait();
  return true;
}

void PestDatabase::Reload() {
  std::lock_guard<std::mutex> lock(load_mutex_);
  WaitUsable();
  reload_gate_.Reset();
  reloading_.store(true);
  // A failure, memory running out included, leaves the old table in use and
  // the old size remembered, so the watcher tries again at its next check.
  StatusOfLoad([&] {
    const std::string path = dat_file_path_;
    const Status verified = ReadDataFile(path.c_str(), DateCheck::kLast, nullptr);
    return verified == Status::kOk ? LoadLocked(path.c_str(), LoadKind::kReload) : verified;
  });
  reloading_.store(false);
  reload_gate_.Set();
}

void PestDatabase::StartWatcher() {
  std::lock_guard<std::mutex> lock(watcher_mutex_);
  if (watcher_ || shut_down_) return;
  // Without a thread the table is simply never reloaded.
  watcher_ = platform::SleepingThread::Start(
      [this](platform::SleepingThread::Control& control) { WatcherMain(control); });
}

void PestDatabase::WatcherMain(platform::SleepingThread::Control& control) {
  while (control.SleepFor(check_interval_ms_)) {
    // No exception may leave the thread: a check that runs out of memory
    // (copying the path) has seen no change, and the next one tries again.
    bool changed = false;
    StatusOfLoad([&] {
      changed = FileSizeChanged();
      return Status::kOk;
    });
    watcher_checks_.fetch_add(1);
    if (!changed) continue;
    if (!control.SleepFor(settle_interval_ms_)) return;
    if (control.stop_requested()) return;
    Reload();
  }
}

void PestDatabase::Shutdown() {
  std::unique_ptr<platform::SleepingThread> watcher;
  {
    std::lock_guard<std::mutex> lock(watcher_mutex_);
    shut_down_ = true;
    watcher = std::move(watcher_);
  }
  // A reload in progress finishes before the watcher stops. If the system
  // ended the watcher in the middle of one (process exit), the table and the
  // gate may be half-changed: they are left alone for the process's end.
  const bool clean = watcher == nullptr || watcher->Stop();
  if (!clean) {
    watcher.release();
    return;
  }
  FreeSignatures();
}

int32_t PestDatabase::SignatureCount() const {
  std::shared_lock<std::shared_mutex> lock(table_lock_);
  return table_->count();
}

uint32_t PestDatabase::MaxFileSize() const {
  std::shared_lock<std::shared_mutex> lock(table_lock_);
  return table_->max_file_size();
}

std::string PestDatabase::DatFilePath() const {
  std::lock_guard<std::mutex> lock(load_mutex_);
  return dat_file_path_;
}

int32_t PestDatabase::PvtCollisions() const {
  std::lock_guard<std::mutex> lock(load_mutex_);
  return pvt_collisions_;
}

uint32_t PestDatabase::PvtSlotCount() const {
  std::shared_lock<std::shared_mutex> lock(table_lock_);
  return table_->pvt_index().slot_count();
}

bool PestDatabase::FileSizeChanged() const {
  const std::string path = DatFilePath();
  return platform::GetFileSizeByName(path.c_str()) != loaded_file_size_.load();
}

bool PestDatabase::watcher_running() const {
  std::lock_guard<std::mutex> lock(watcher_mutex_);
  return watcher_ != nullptr;
}

}  // namespace kv
