// Reports to the host and the names they carry.
#include "scan/scan_control.h"

#include "common/pest_information.h"

namespace kv {

bool ScanTarget::Report(char* path, _PEST_INFORMATION* info) const {
  const int32_t detected = info != nullptr ? 1 : 0;
  if (callback != nullptr) return callback(path, detected, info, user_value) != 0;
  if (stdcall_callback != nullptr) return stdcall_callback(path, detected, info, user_value) != 0;
  DeletePestInformation(info);
  return true;
}

std::string CutToFit(const std::string& name) {
  if (name.size() <= kMaxReportedPathLength) return name;
  const size_t marker_length = sizeof kCutMarker - 1;
  const size_t tail = kMaxReportedPathLength / 2;
  const size_t head = kMaxReportedPathLength - marker_length - tail;
  return name.substr(0, head) + kCutMarker + name.substr(name.size() - tail);
}

}  // namespace kv
