// The rules that keep extracted names inside their folder.
#include "reader/safe_name.h"

#include <array>

namespace kv::zip {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool IsForbiddenCharacter(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte < 0x20 || byte == 0x7F) return true;
  for (char forbidden : std::string_view("<>:\"|?*")) {
    if (c == forbidden) return true;
  }
  return false;
}

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return upper;
}

// Windows opens a device for these names, whatever extension follows.
bool IsDeviceName(std::string_view component) {
  const std::string base = UpperAscii(component.substr(0, component.find('.')));
  static constexpr std::array<std::string_view, 6> kDevices = {"CON", "PRN",    "AUX",
                                                               "NUL", "CONIN$", "CONOUT$"};
  for (std::string_view device : kDevices) {
    if (base == device) return true;
  }
  const bool numbered_port =
      base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT"));
  return numbered_port && base[3] >= '0' && base[3] <= '9';
}

bool IsSafeComponent(std::string_view component) {
  if (component.empty() || component == "." || component == "..") return false;
  const char last = component.back();
  if (last == '.' || last == ' ') return false;
  return !IsDeviceName(component);
}

}  // namespace

std::optional<RelativePath> SafeRelativePath(std::string_view name) {
  if (name.empty() || IsSeparator(name.front())) return std::nullopt;
  for (char c : name) {
    if (IsForbiddenCharacter(c)) return std::nullopt;
  }
  RelativePath path;
  path.folder = IsSeparator(name.back());
  if (path.folder) name.remove_suffix(1);
  size_t start = 0;
  for (;;) {
    size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    const std::string_view component = name.substr(start, end - start);
    if (!IsSafeComponent(component)) return std::nullopt;
    path.components.emplace_back(component);
    if (end == name.size()) break;
    start = end + 1;
  }
  return path;
}

}  // namespace kv::zip
