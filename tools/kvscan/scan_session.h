// The reports of one kvscan run: the engine's scan callback, the counts,
// the Ctrl-C flag, and on a terminal the interactive walk with its status
// line and pause key.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "kvserver.h"
#include "output.h"
#include "terminal.h"

namespace kv::kvscan {

// What every report goes through. One per process: the engine's callback
// carries an integer, not a pointer, so it reaches this as a global.
struct ScanState {
  Output* output = nullptr;
  bool infected_only = false;
  bool quiet = false;
  std::atomic<uint64_t> reports{0};
  std::atomic<uint64_t> detections{0};
  std::atomic<bool> interrupted{false};
  std::atomic<bool> walk_ended{false};
  std::mutex folder_mutex;
  std::string current_folder;
};

extern ScanState scan_state;

// The engine's scan callback: counts and prints the report and releases its
// record; a null path is the end notification of an asynchronous walk.
int32_t KV_CDECL OnReport(char* path, int32_t detected, _PEST_INFORMATION* info,
                          int32_t user_value);

// The folder of a reported path (the archive's, for a member), as a part of
// `path` ("." when it names none).
std::string_view FolderOf(std::string_view path);
// The status line: counts, rate, pause state, the current folder cut from
// the left to fit `columns`.
std::string StatusText(double seconds, bool paused, int columns);

// The interactive scan of one path on a terminal: the walk on the engine's
// thread, this thread drawing the status line and reading keys.
class InteractiveScan {
 public:
  InteractiveScan(Output& output, bool progress, KeyReader* keys,
                  std::chrono::steady_clock::time_point start)
      : output_(output), progress_(progress), keys_(keys), start_(start) {}

  // False when the walk could not start.
  bool Run(std::string path) {
    // A pause between paths holds the next one until it is resumed.
    while (paused_ && !scan_state.interrupted) Tick();
    if (scan_state.interrupted) return true;
    scan_state.walk_ended = false;
    if (kvScanFileOrDirectory_async(path.data(), OnReport, 0) != 1) return false;
    while (!scan_state.walk_ended) Tick();
    return true;
  }

  void Finish() {
    if (progress_) output_.ClearStatus();
  }

 private:
  void Tick() {
    const int key = keys_ != nullptr ? keys_->Wait(20) : -1;
    if (key < 0 && keys_ == nullptr) SleepMilliseconds(20);
    if (key == 'p' || key == 'P') {
      paused_ = !paused_;
      if (paused_) {
        kvPauseScan();
      } else {
        kvResumeScan();
      }
      last_draw_ = {};  // the status line shows the change at once
    }
    if (!progress_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_draw_ < std::chrono::milliseconds(100)) return;
    last_draw_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const int columns = TerminalColumns();
    output_.ShowStatus(StatusText(seconds, paused_, columns), columns);
  }

  Output& output_;
  bool progress_;
  KeyReader* keys_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_draw_{};
  bool paused_ = false;
};

}  // namespace kv::kvscan
