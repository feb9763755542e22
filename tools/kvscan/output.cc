// kvscan's writer: one lock for results, messages and the status line.
#include "output.h"

#include "report_format.h"

namespace kv::kvscan {

void Output::ClearStatusLocked() {
  if (status_width_ == 0) return;
  std::string blank(status_width_ + 2, ' ');  // CR, spaces over the line, CR
  blank.front() = '\r';
  blank.back() = '\r';
  std::fwrite(blank.data(), 1, blank.size(), stderr);
  std::fflush(stderr);
  status_width_ = 0;
}

void Output::WriteResultLocked(const std::string& line) {
  ClearStatusLocked();
  std::fwrite(line.data(), 1, line.size(), results_);
  std::fputc('\n', results_);
}

void Output::Text(const std::string& line) {
  if (json_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  WriteResultLocked(line);
}

void Output::Object(const Json& object) {
  if (!json_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  WriteResultLocked(JsonLine(object));
}

void Output::Error(const std::optional<std::string>& path, const std::string& message) {
  std::lock_guard<std::mutex> lock(mutex_);
  ClearStatusLocked();
  std::fflush(results_);
  const std::string line = "kvscan: " + (path ? *path + ": " : std::string()) + message + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  if (json_) WriteResultLocked(JsonLine(ErrorObject(path, message)));
}

void Output::Note(const std::string& message) {
  std::lock_guard<std::mutex> lock(mutex_);
  ClearStatusLocked();
  std::fflush(results_);
  const std::string line = "kvscan: " + message + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

void Output::ShowStatus(const std::string& text, int columns) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::fflush(results_);  // results come before the line that follows them
  const size_t room = columns > 1 ? static_cast<size_t>(columns - 1) : 1;
  std::string line = text.size() > room ? text.substr(0, room) : text;
  std::string draw = "\r";
  draw += line;
  if (line.size() < status_width_) draw += std::string(status_width_ - line.size(), ' ');
  std::fwrite(draw.data(), 1, draw.size(), stderr);
  std::fflush(stderr);
  status_width_ = std::max(line.size(), status_width_);
}

void Output::ClearStatus() {
  std::lock_guard<std::mutex> lock(mutex_);
  ClearStatusLocked();
}

void Output::Flush() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::fflush(results_);
}

}  // namespace kv::kvscan
