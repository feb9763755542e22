// POSIX stand-in for the machine-wide registry key: a text file of
// "name=value" lines, read afresh at every query and never written.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/registry.h"

namespace kv::platform {
namespace {

constexpr const char* kDefaultRegistryFile = "/etc/trovalen/registry";

bool SameNameIgnoringCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return i == a.size() && b[i] == '\0';
}

// Reads one line without its LF (and one CR before it). Keeps at most
// `limit` bytes and reports through `overlong` that more were dropped, so a
// hostile file costs bounded memory. False at the end of the file.
bool ReadLine(std::FILE* file, size_t limit, std::string* line, bool* overlong) {
  line->clear();
  *overlong = false;
  int c = std::fgetc(file);
  if (c == EOF) return false;
  for (; c != EOF && c != '\n'; c = std::fgetc(file)) {
    if (line->size() < limit) {
      line->push_back(static_cast<char>(c));
    } else {
      *overlong = true;
    }
  }
  if (c == '\n' && !*overlong && !line->empty() && line->back() == '\r') {
    line->pop_back();
  }
  return true;
}

}  // namespace

std::optional<std::string> ReadSetting(const char* name) {
  if (name == nullptr) return std::nullopt;
  const char* file_name = std::getenv("TROVALEN_REGISTRY");
  if (file_name == nullptr || *file_name == '\0') file_name = kDefaultRegistryFile;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(file_name, "rb"), &std::fclose);
  if (!file) return std::nullopt;
  // A name, '=', a value of the longest accepted length and a CR.
  const size_t limit = 4096 + kMaxSettingLength + 2;
  std::string line;
  bool overlong = false;
  while (ReadLine(file.get(), limit, &line, &overlong)) {
    if (line.empty() || line[0] == '#') continue;
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    if (!SameNameIgnoringCase(line.substr(0, equals), name)) continue;
    std::string value = line.substr(equals + 1);
    if (overlong || value.empty() || value.size() > kMaxSettingLength) {
      return std::nullopt;
    }
    return value;
  }
  return std::nullopt;
}

}  // namespace kv::platform
