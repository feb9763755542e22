// kvscan's few dealings with the system beside the engine: standard output
// kept for results, terminals, single key presses, Ctrl-C.
#pragma once

#include <cstdio>
#include <ctime>
#include <functional>
#include <optional>
#include <string>

namespace kv::kvscan {

// Takes the process's standard output for kvscan's results and points
// descriptor 1 at the null device (or at standard error when
// `engine_output_to_stderr`), so that what the engine prints never mixes
// with the results. Returns the stream for results, or null.
std::FILE* TakeStandardOutput(bool engine_output_to_stderr);

bool StandardErrorIsTerminal();
bool StandardInputIsTerminal();
// Columns of the terminal on standard error (80 when unknown).
int TerminalColumns();

// Single key presses from the terminal on standard input: without echo and
// without waiting for Enter while it is started; Ctrl-C still interrupts.
class KeyReader {
 public:
  KeyReader() = default;
  ~KeyReader() { Stop(); }
  KeyReader(const KeyReader&) = delete;
  KeyReader& operator=(const KeyReader&) = delete;

  // False when standard input is not a terminal.
  bool Start();
  void Stop();
  // Waits up to `milliseconds` for a key; the key, or -1 for none.
  int Wait(int milliseconds);

 private:
  bool started_ = false;
};

// Puts the terminal back as it was found (for an early exit).
void RestoreTerminal();

// Ctrl-C (and on POSIX SIGTERM): the first one calls `on_interrupt` on a
// thread of its own (never in a signal handler); a second one ends the
// process at once with 130. Call before the engine starts any thread.
void HandleInterrupts(std::function<void()> on_interrupt);

// Sleeps for `milliseconds`.
void SleepMilliseconds(int milliseconds);

// The modification time of a file, if it can be read.
std::optional<std::time_t> ModificationTime(const std::string& path);
// True when something exists at `path` (a file, a folder, ...).
bool PathExists(const std::string& path);

}  // namespace kv::kvscan
