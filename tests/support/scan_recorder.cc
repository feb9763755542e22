// The scan recorders' registry and callbacks.
#include "support/scan_recorder.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>

namespace kv::test {
namespace {

// User values 1000 + slot; an end notification carries 0 and goes to the
// shared count.
constexpr int32_t kFirstUserValue = 1000;
std::mutex g_registry_mutex;
std::array<ScanRecorder*, 16> g_recorders{};
std::condition_variable g_ended;
int g_end_notifications = 0;

}  // namespace

ScanRecorder::ScanRecorder(ReleaseRecord release) : release_(release), user_value_(-1) {
  std::lock_guard<std::mutex> lock(g_registry_mutex);
  for (size_t slot = 0; slot < g_recorders.size(); ++slot) {
    if (g_recorders[slot] == nullptr) {
      g_recorders[slot] = this;
      user_value_ = kFirstUserValue + static_cast<int32_t>(slot);
      return;
    }
  }
}

ScanRecorder::~ScanRecorder() {
  std::lock_guard<std::mutex> lock(g_registry_mutex);
  for (ScanRecorder*& slot : g_recorders) {
    if (slot == this) slot = nullptr;
  }
}

int32_t ScanRecorder::Callback(char* path, int32_t detected, _PEST_INFORMATION* info,
                               int32_t user_value) {
  ScanRecorder* recorder = nullptr;
  {
    std::lock_guard<std::mutex> lock(g_registry_mutex);
    if (path == nullptr) {
      ++g_end_notifications;
      g_ended.notify_all();
      return 1;
    }
    const int32_t slot = user_value - kFirstUserValue;
    if (slot >= 0 && slot < static_cast<int32_t>(g_recorders.size())) recorder = g_recorders[slot];
  }
  if (recorder == nullptr) {
    ADD_FAILURE() << "a report with an unknown user value " << user_value << ": " << path;
    return 1;
  }
  return recorder->Record(path, detected, info);
}

int32_t KV_STDCALL ScanRecorder::StdcallCallback(char* path, int32_t detected,
                                                 _PEST_INFORMATION* info, int32_t user_value) {
  return Callback(path, detected, info, user_value);
}

int32_t ScanRecorder::Record(char* path, int32_t detected, _PEST_INFORMATION* info) {
  ScanReport report;
  report.path = path;
  report.detected = detected;
  report.user_value = user_value_;
  if (info != nullptr) {
    report.has_info = true;
    report.pest_id = info->dwPestID;
    report.pvt = info->dwPVT;
    report.file_name = info->lpszFileName != nullptr ? info->lpszFileName : "";
    report.pest_name = info->lpszPestName != nullptr ? info->lpszPestName : "";
    report.size_match = info->bSizeMatch;
    release_(info);
  }
  std::function<int32_t(const ScanReport&)> answer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    reports_.push_back(report);
    answer = answer_;
  }
  return answer ? answer(report) : 1;
}

void ScanRecorder::set_answer(std::function<int32_t(const ScanReport&)> answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  answer_ = std::move(answer);
}

std::vector<ScanReport> ScanRecorder::reports() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reports_;
}

std::vector<std::string> ScanRecorder::paths() const {
  std::vector<std::string> paths;
  for (const ScanReport& report : reports()) paths.push_back(report.path);
  return paths;
}

std::vector<ScanReport> ScanRecorder::Ending(const std::string& suffix) const {
  std::vector<ScanReport> found;
  for (const ScanReport& report : reports()) {
    if (report.path.size() >= suffix.size() &&
        report.path.compare(report.path.size() - suffix.size(), suffix.size(), suffix) == 0) {
      found.push_back(report);
    }
  }
  return found;
}

int ScanRecorder::EndNotifications() {
  std::lock_guard<std::mutex> lock(g_registry_mutex);
  return g_end_notifications;
}

bool ScanRecorder::WaitForEndNotifications(int count, int seconds) {
  std::unique_lock<std::mutex> lock(g_registry_mutex);
  return g_ended.wait_for(lock, std::chrono::seconds(seconds),
                          [count] { return g_end_notifications >= count; });
}

}  // namespace kv::test
