// Setting and testing the file-mask list; the wildcard matcher.
#include "scan/file_masks.h"

#include <mutex>

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
  std::vector<std::string> list;
  int32_t separators = 0;
  std::string current;
  for (const char* c = masks; *c != '\0'; ++c) {
    if (*c != ';') {
      current += *c;
      continue;
    }
    list.push_back(ToUpperAscii(current));
    ++separators;
    current.clear();
  }
  if (!current.empty()) list.push_back(ToUpperAscii(current));
  // Built aside, swapped in at once: a walk matching now sees the old list
  // or the new one, never half of either.
  std::unique_lock<std::shared_mutex> lock(mutex_);
  masks_.swap(list);
  return separators;
}

std::vector<std::string> FileMasks::masks() const {
  std::shared_lock<std::shared_mutex> lock(mutex_);
  return masks_;
}

bool FileMasks::Matches(std::string_view name) const {
  // Every file of a walk is matched: the upper-cased name reuses one
  // buffer per thread instead of allocating each time.
  thread_local std::string upper_name;
  upper_name.assign(name);
  for (char& c : upper_name) c = ToUpperAscii(c);
  std::shared_lock<std::shared_mutex> lock(mutex_);
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
