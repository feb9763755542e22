// Setting and testing the file-mask list; the wildcard matcher.
#include "scan/file_masks.h"

#include "common/ascii.h"

namespace kv {

int32_t WildcardMatch(std::string_view pattern, std::string_view text) {
  size_t p = 0;
  size_t t = 0;
  while (t < text.size() && (p >= pattern.size() || pattern[p] != '*')) {
    if (p >= pattern.size() || (pattern[p] != text[t] && pattern[p] != '?')) {
      return 0;
    }
    ++p;
    ++t;
  }
  size_t pattern_resume = 0;
  size_t text_resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      if (++p == pattern.size()) return 1;
      pattern_resume = p;
      text_resume = t + 1;
    } else if (p < pattern.size() && (pattern[p] == text[t] || pattern[p] == '?')) {
      ++p;
      ++t;
    } else {
      p = pattern_resume;
      t = text_resume++;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size() ? 1 : 0;
}

int32_t FileMasks::Set(const char* masks) {
  if (masks == nullptr) return 0;
  masks_.clear();
  int32_t separators = 0;
  std::string current;
  for (const char* c = masks; *c != '\0'; ++c) {
    if (*c != ';') {
      current += *c;
      continue;
    }
    masks_.push_back(ToUpperAscii(current));
    ++separators;
    current.clear();
  }
  if (!current.empty()) masks_.push_back(ToUpperAscii(current));
  return separators;
}

bool FileMasks::Matches(std::string_view name) const {
  const std::string upper_name = ToUpperAscii(name);
  bool included = false;
  for (const std::string& mask : masks_) {
    const bool exclude = mask.size() > 1 && mask[0] == '!';
    const std::string_view pattern =
        exclude ? std::string_view(mask).substr(1) : std::string_view(mask);
    if (WildcardMatch(pattern, upper_name) == 1) {
      if (exclude) return false;
      included = true;
    }
  }
  return included;
}

}  // namespace kv
