// The reports of one kvscan run.
#include "scan_session.h"

#include "report_format.h"

namespace kv::kvscan {
namespace {
#if defined(_WIN32)
constexpr const char* kSeparators = "\\/";
#else
constexpr const char* kSeparators = "/";
#endif
}  // namespace

ScanState scan_state;

std::string_view FolderOf(std::string_view path) {
  const size_t member = path.find('|');
  if (member != std::string_view::npos) path = path.substr(0, member);  // the archive
  size_t cut = path.find_last_of(kSeparators);
  if (cut == std::string_view::npos) return ".";
  if (cut == 0) cut = 1;
  return path.substr(0, cut);
}

int32_t KV_CDECL OnReport(char* path, int32_t detected, _PEST_INFORMATION* info,
                          int32_t /*user_value*/) {
  if (path == nullptr) {  // the end notification of an asynchronous walk
    scan_state.walk_ended = true;
    return 0;
  }
  // A Ctrl-C that came between our check and the walk's start.
  if (scan_state.interrupted) kvStopScan();
  const bool is_detection = detected != 0 && info != nullptr;
  scan_state.reports++;
  if (is_detection) scan_state.detections++;
  {
    // Assigned in place: the status line's folder costs no allocation per
    // report once it has grown to the longest folder.
    std::lock_guard<std::mutex> lock(scan_state.folder_mutex);
    scan_state.current_folder.assign(FolderOf(path));
  }
  // Only a report that is printed is copied.
  if (!scan_state.quiet && (is_detection || !scan_state.infected_only)) {
    Report report;
    report.path = path;
    report.detected = is_detection;
    if (is_detection) {
      report.pest_id = info->dwPestID;
      report.pest_name = info->lpszPestName != nullptr ? info->lpszPestName : "";
      report.pvt = info->dwPVT;
      report.size_match = info->bSizeMatch != 0;
    }
    // Only the form the output writes is built.
    if (scan_state.output->json()) {
      scan_state.output->Object(ReportObject(report));
    } else {
      scan_state.output->Text(ReportLine(report));
    }
  }
  if (info != nullptr) kvDeallocatePestInformation(info);
  return 1;
}

std::string StatusText(double seconds, bool paused, int columns) {
  const uint64_t files = scan_state.reports;
  const uint64_t rate = seconds > 0.05 ? static_cast<uint64_t>(files / seconds) : 0;
  std::string text = std::to_string(files) + " files, " +
                     std::to_string(scan_state.detections.load()) + " detections, " +
                     std::to_string(rate) + " files/s" + (paused ? " [paused: p resumes]  " : "  ");
  std::string folder;
  {
    std::lock_guard<std::mutex> lock(scan_state.folder_mutex);
    folder = scan_state.current_folder;
  }
  const size_t room = columns > 1 ? static_cast<size_t>(columns - 1) : 1;
  if (text.size() + folder.size() > room) {
    const size_t keep = room > text.size() + 3 ? room - text.size() - 3 : 0;
    folder = "..." + folder.substr(folder.size() - std::min(keep, folder.size()));
  }
  return text + folder;
}

}  // namespace kv::kvscan
