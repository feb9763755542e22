// Case folding of the ASCII letters only: the engine compares names and paths
// without regard to case for A-Z and a-z, whatever the locale says.
#pragma once

namespace kv {

inline char AsciiToLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when both strings are equal once their ASCII letters are folded.
inline bool EqualsIgnoringAsciiCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    if (AsciiToLower(*a) != AsciiToLower(*b)) return false;
    if (*a == '\0') return true;
  }
}

}  // namespace kv
