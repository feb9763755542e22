// kvscan's text lines and JSON objects.
#include "report_format.h"

#include <cstdio>

#include "kvserver.h"

namespace kv::kvscan {

std::string StatusMeaning(int32_t status) {
  switch (status) {
    case KV_STATUS_OK:
      return "the data file is sound";
    case KV_STATUS_CANNOT_OPEN:
      return "the data file cannot be opened";
    case KV_STATUS_CORRUPT:
      return "the data file is corrupt";
    case KV_STATUS_WRONG_DATE:
      return "the data file has the wrong format date";
    case KV_STATUS_OUT_OF_MEMORY:
      return "out of memory";
    case KV_STATUS_WRONG_MAGIC:
      return "not a data file (wrong magic)";
    case KV_STATUS_NEVER_INITIALIZED:
      return "the engine was never initialized";
    case KV_STATUS_PEST_NOT_FOUND:
      return "no such pest";
    default:
      return "unknown status";
  }
}

namespace {

// Length of the well-formed UTF-8 sequence at the start of `text`, or 0.
size_t SequenceLength(std::string_view text) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
  while (!text.empty()) {
    const size_t length = SequenceLength(text);
    if (length == 0) return false;
    text.remove_prefix(length);
  }
  return true;
}

std::string ToUtf8Lossy(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const size_t length = SequenceLength(text);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      text.remove_prefix(1);
    } else {
      out.append(text.substr(0, length));
      text.remove_prefix(length);
    }
  }
  return out;
}

std::string HexBytes(std::string_view text) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size() * 2);
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    out += kDigits[byte >> 4];
    out += kDigits[byte & 15];
  }
  return out;
}

std::string UtcTime(std::time_t when) {
  std::tm parts{};
#if defined(_WIN32)
  if (gmtime_s(&parts, &when) != 0) return "";
#else
  if (gmtime_r(&when, &parts) == nullptr) return "";
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

std::string ReportLine(const Report& report) {
  if (report.detected) return report.path + ": " + report.pest_name + " FOUND";
  return report.path + ": OK";
}

void AddPath(Json& object, const std::string& key, std::string_view path) {
  if (IsValidUtf8(path)) {
    object[key] = std::string(path);
    object[key + "_raw_hex"] = nullptr;
  } else {
    object[key] = ToUtf8Lossy(path);
    object[key + "_raw_hex"] = HexBytes(path);
  }
}

Json ReportObject(const Report& report) {
  Json object = {{"type", "report"}};
  AddPath(object, "path", report.path);
  object["detected"] = report.detected;
  if (report.detected) {
    object["pest_id"] = report.pest_id;
    object["name"] = ToUtf8Lossy(report.pest_name);
    object["pvt"] = report.pvt;
    object["size_match"] = report.size_match;
  } else {
    object["pest_id"] = nullptr;
    object["name"] = nullptr;
    object["pvt"] = nullptr;
    object["size_match"] = nullptr;
  }
  return object;
}

Json ErrorObject(const std::optional<std::string>& path, const std::string& message) {
  Json object = {{"type", "error"}};
  if (path) {
    AddPath(object, "path", *path);
  } else {
    object["path"] = nullptr;
    object["path_raw_hex"] = nullptr;
  }
  object["message"] = ToUtf8Lossy(message);
  return object;
}

std::string SummaryText(const Summary& summary) {
  char elapsed[64];
  std::snprintf(elapsed, sizeof elapsed, "%.3f s", summary.elapsed_seconds);
  std::string text = std::string(kSummaryHeading) + "\n";
  text += "Scanned files: " + std::to_string(summary.scanned_files) + "\n";
  text += "Detections: " + std::to_string(summary.detections) + "\n";
  text += "Errors: " + std::to_string(summary.errors) + "\n";
  text += "Data file: " + summary.data_file;
  if (summary.data_file_modified)
    text += " (modified " + UtcTime(*summary.data_file_modified) + ")";
  text += "\n";
  text += "Data folder: " + summary.data_folder + "\n";
  text += "Time: " + std::string(elapsed) + "\n";
  if (summary.interrupted) text += "Interrupted: the scan was stopped before its end\n";
  return text;
}

Json SummaryObject(const Summary& summary) {
  Json object = {{"type", "summary"},
                 {"scanned_files", summary.scanned_files},
                 {"detections", summary.detections},
                 {"errors", summary.errors}};
  AddPath(object, "data_file", summary.data_file);
  object["data_file_modified"] =
      summary.data_file_modified ? Json(UtcTime(*summary.data_file_modified)) : nullptr;
  AddPath(object, "data_folder", summary.data_folder);
  object["elapsed_seconds"] = summary.elapsed_seconds;
  object["interrupted"] = summary.interrupted;
  object["exit_code"] = summary.exit_code;
  return object;
}

std::string JsonLine(const Json& object) {
  return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace kv::kvscan
