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
  std::vector<CompiledMask> compiled;
  compiled.reserve(list.size());
  for (const std::string& mask : list) compiled.push_back(Compile(mask));
  // Built aside, swapped in at once: a walk matching now sees the old list
  // or the new one, never half of either.
  std::unique_lock<std::shared_mutex> lock(mutex_);
  masks_.swap(list);
  compiled_.swap(compiled);
  return separators;
}

FileMasks::CompiledMask FileMasks::Compile(const std::string& mask) {
  CompiledMask compiled;
  compiled.exclude = mask.size() > 1 && mask[0] == '!';
  compiled.pattern = compiled.exclude ? mask.substr(1) : mask;
  const std::string& pattern = compiled.pattern;
  if (pattern.size() < 2 || pattern[0] != '*') return compiled;
  // "*TEXT" matches the names that end in TEXT, "*TEXT*" those that hold
  // it, where TEXT has no wildcard of its own.
  const bool trailing_star = pattern.size() > 2 && pattern.back() == '*';
  const std::string literal = pattern.substr(1, pattern.size() - (trailing_star ? 2 : 1));
  if (literal.find_first_of("*?") != std::string::npos) return compiled;
  compiled.literal = literal;
  compiled.shape = trailing_star ? CompiledMask::Shape::kContains : CompiledMask::Shape::kEndsWith;
  return compiled;
}

std::vector<std::string> FileMasks::masks() const {
  std::shared_lock<std::shared_mutex> lock(mutex_);
  return masks_;
}

namespace {

// The literals are upper case; the name's bytes are compared upper-cased.
bool EndsWith(std::string_view name, std::string_view literal) {
  return name.size() >= literal.size() &&
         HoldsUpperAsciiAt(name, name.size() - literal.size(), literal);
}

bool Contains(std::string_view name, std::string_view literal) {
  for (size_t start = 0; start + literal.size() <= name.size(); ++start) {
    if (HoldsUpperAsciiAt(name, start, literal)) return true;
  }
  return false;
}

}  // namespace

bool FileMasks::Matches(std::string_view name) const {
  // Every file of a walk is matched: a mask the general matcher needs gets
  // the upper-cased name in one buffer per thread instead of an allocation.
  thread_local std::string upper_name;
  bool upper_made = false;
  std::shared_lock<std::shared_mutex> lock(mutex_);
  bool included = false;
  for (const CompiledMask& mask : compiled_) {
    bool matched = false;
    switch (mask.shape) {
      case CompiledMask::Shape::kEndsWith:
        matched = EndsWith(name, mask.literal);
        break;
      case CompiledMask::Shape::kContains:
        matched = Contains(name, mask.literal);
        break;
      case CompiledMask::Shape::kGeneral:
        if (!upper_made) {
          upper_name.assign(name);
          for (char& c : upper_name) c = ToUpperAscii(c);
          upper_made = true;
        }
        matched = WildcardMatch(mask.pattern, upper_name) == 1;
        break;
    }
    if (matched) {
      if (mask.exclude) return false;
      included = true;
    }
  }
  return included;
}

}  // namespace kv
