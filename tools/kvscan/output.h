// Where kvscan writes: results on the kept standard output (text lines or
// JSON lines), messages on standard error, and on a terminal the status
// line, which is cleared before anything else is written.
#pragma once

#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "report_format.h"

namespace kv::kvscan {

class Output {
 public:
  Output(std::FILE* results, bool json) : results_(results), json_(json) {}

  bool json() const { return json_; }

  // One line of results (text mode) or one JSON object (JSON mode).
  void Text(const std::string& line);
  void Object(const Json& object);
  // An error: "kvscan: MESSAGE" on standard error, and in JSON mode an
  // error object among the results.
  void Error(const std::optional<std::string>& path, const std::string& message);
  // A warning or note on standard error only.
  void Note(const std::string& message);

  // The status line on standard error (a terminal): drawn over the previous
  // one, cut to `columns` - 1 characters.
  void ShowStatus(const std::string& text, int columns);
  void ClearStatus();

  void Flush();

 private:
  void ClearStatusLocked();
  void WriteResultLocked(const std::string& line);

  std::FILE* results_;
  bool json_;
  std::mutex mutex_;
  size_t status_width_ = 0;
};

}  // namespace kv::kvscan
