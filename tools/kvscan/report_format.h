// kvscan's output formats, free of the engine and the system: the text
// lines, the JSON objects of --json (one per line), UTF-8 checks and the
// meanings of the engine's status codes.
#pragma once

#include <cstdint>
#include <ctime>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace kv::kvscan {

// JSON objects keep their keys in the order written ("type" first).
using Json = nlohmann::ordered_json;

// The meaning of a KV_STATUS_* code, e.g. "corrupt data file".
std::string StatusMeaning(int32_t status);

// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or
// code points above U+10FFFF).
bool IsValidUtf8(std::string_view text);
// `text` with every ill-formed sequence replaced by U+FFFD.
std::string ToUtf8Lossy(std::string_view text);
// Lower-case hex of the bytes of `text`.
std::string HexBytes(std::string_view text);

// Seconds since 1970 as "YYYY-MM-DDTHH:MM:SSZ".
std::string UtcTime(std::time_t when);

// One report of a scan.
struct Report {
  std::string path;  // the engine's path, "archive|member" for members
  bool detected = false;
  uint32_t pest_id = 0;
  std::string pest_name;
  uint32_t pvt = 0;
  bool size_match = false;
};

// "PATH: NAME FOUND" or "PATH: OK", without the line end.
std::string ReportLine(const Report& report);

// The JSON objects of --json. Every object has "type"; paths are carried as
// "path" (UTF-8, ill-formed bytes replaced by U+FFFD) and "path_raw_hex"
// (the raw bytes in hex when the path is not valid UTF-8, else null).
Json ReportObject(const Report& report);
Json ErrorObject(const std::optional<std::string>& path, const std::string& message);

struct Summary {
  uint64_t scanned_files = 0;
  uint64_t detections = 0;
  uint64_t errors = 0;
  std::string data_file;
  std::optional<std::time_t> data_file_modified;
  std::string data_folder;
  double elapsed_seconds = 0;
  bool interrupted = false;
  int exit_code = 0;
};

inline constexpr const char* kSummaryHeading = "----------- SCAN SUMMARY -----------";
// The summary block, heading first, each line ending in '\n'.
std::string SummaryText(const Summary& summary);
Json SummaryObject(const Summary& summary);

// A JSON object as one line of text (no line end), never throwing on text
// that is not UTF-8 (it is replaced).
std::string JsonLine(const Json& object);

// Adds "<prefix>" and "<prefix>_raw_hex" for a path to `object`.
void AddPath(Json& object, const std::string& key, std::string_view path);

}  // namespace kv::kvscan
