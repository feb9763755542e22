// A file system for tests that fails or crashes on cue, and that can keep
// no stamps at all or behave as NTFS does with a file renamed over another.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/file_system.h"

namespace kv::test {

// Thrown where a crash is simulated. It ends the operation the way a crash
// does: no later step of it runs. (Destructors still close handles and
// remove unfinished new files, which a crash would only leave lying about.)
struct SimulatedCrash {};

class FaultyFileSystem : public platform::FileSystem {
 public:
  enum class Stamps {
    kKept,       // as the real file system
    kNotKept,    // as one without extended attributes: stamps neither read nor written
    kTunnelled,  // as NTFS: a file renamed over another takes the other's stamp
  };

  explicit FaultyFileSystem(Stamps stamps = Stamps::kKept) : stamps_(stamps) {}

  // Every change to the file system (creating, writing, finishing and
  // committing a new file, writing a stamp, emptying or removing a file)
  // is a step, counted from 0 since the last Disarm. The faults below are
  // armed for the steps that follow. A write that fails puts half of its
  // bytes in first, as on a disk that fills up.
  void FailStep(size_t step) { fail_step_ = step; }
  void CrashAtStep(size_t step) { crash_step_ = step; }
  void Disarm() {
    fail_step_ = crash_step_ = std::nullopt;
    steps_ = 0;
  }
  size_t steps() const { return steps_; }

  std::optional<uint16_t> ReadStamp(const platform::UpdatableFile& file) override {
    if (stamps_ == Stamps::kNotKept) return std::nullopt;
    return FileSystem::ReadStamp(file);
  }
  bool WriteStamp(platform::UpdatableFile& file, uint16_t stamp) override {
    return Proceed() && stamps_ != Stamps::kNotKept && FileSystem::WriteStamp(file, stamp);
  }
  bool Truncate(platform::UpdatableFile& file) override {
    return Proceed() && FileSystem::Truncate(file);
  }
  bool StampSurvivesRename() override {
    return stamps_ != Stamps::kTunnelled && FileSystem::StampSurvivesRename();
  }
  bool Remove(const std::string& path) override { return Proceed() && FileSystem::Remove(path); }

  std::optional<platform::ReplacementFile> CreateReplacement(const std::string& target) override {
    if (!Proceed()) return std::nullopt;
    return FileSystem::CreateReplacement(target);
  }
  bool Write(platform::ReplacementFile& file, const void* data, size_t length) override {
    if (Proceed()) return FileSystem::Write(file, data, length);
    FileSystem::Write(file, data, length / 2);
    return false;
  }
  bool Finish(platform::ReplacementFile& file) override {
    return Proceed() && FileSystem::Finish(file);
  }
  bool Commit(platform::ReplacementFile& file) override {
    if (!Proceed()) return false;
    if (stamps_ != Stamps::kTunnelled) return FileSystem::Commit(file);
    // The old file's stamp goes onto the new one. (A target without a
    // stamp would pass on none; the store never stamps a new file before
    // its commit here, so there is none to take away.)
    std::optional<uint16_t> old_stamp;
    if (auto old_file = FileSystem::OpenForUpdate(file.target())) {
      old_stamp = FileSystem::ReadStamp(*old_file);
    }
    if (!FileSystem::Commit(file)) return false;
    if (auto new_file = FileSystem::OpenForUpdate(file.target()); new_file && old_stamp) {
      FileSystem::WriteStamp(*new_file, *old_stamp);
    }
    return true;
  }

 private:
  // Counts a step; false when it is to fail.
  bool Proceed() {
    const size_t step = steps_++;
    if (crash_step_ == step) throw SimulatedCrash{};
    return fail_step_ != step;
  }

  Stamps stamps_;
  size_t steps_ = 0;
  std::optional<size_t> fail_step_;
  std::optional<size_t> crash_step_;
};

}  // namespace kv::test
