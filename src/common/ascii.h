// ASCII-only case folding: letters a-z and A-Z fold, every other byte
// (0x80 and above included) stays as it is, whatever the locale.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kv {

constexpr char ToUpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr char ToLowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string ToUpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = ToUpperAscii(c);
  return upper;
}

// True when `text` holds `upper` (already upper case) at `start`, ASCII case
// ignored; false when it would run past the end.
inline bool HoldsUpperAsciiAt(std::string_view text, size_t start, std::string_view upper) {
  if (start > text.size() || text.size() - start < upper.size()) return false;
  for (size_t i = 0; i < upper.size(); ++i) {
    if (ToUpperAscii(text[start + i]) != upper[i]) return false;
  }
  return true;
}

inline bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (ToUpperAscii(a[i]) != ToUpperAscii(b[i])) return false;
  }
  return true;
}

}  // namespace kv
