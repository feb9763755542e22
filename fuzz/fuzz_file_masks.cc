// Fuzz target: the file masks and the wildcard matcher. The input is a mask
// list (set as kvSetFileMasks sets it) and a file name, or a pattern and a
// text for the matcher, split by FuzzedDataProvider. The matcher is checked
// against a table of which pattern prefixes match which text prefixes.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scan/file_masks.h"

namespace {

// Whether `pattern` matches `text`, by dynamic programming over their
// prefixes: an answer reached another way than the matcher's.
bool MatchesByTable(std::string_view pattern, std::string_view text) {
  std::vector<char> row(text.size() + 1, 0);  // row[t]: pattern[0, p) matches text[0, t)
  row[0] = 1;
  for (const char p : pattern) {
    std::vector<char> next(text.size() + 1, 0);
    if (p == '*') {
      char any = 0;
      for (size_t t = 0; t <= text.size(); ++t) next[t] = any = static_cast<char>(any | row[t]);
    } else {
      for (size_t t = 1; t <= text.size(); ++t) {
        next[t] = static_cast<char>(row[t - 1] && (p == '?' || p == text[t - 1]));
      }
    }
    row.swap(next);
  }
  return row[text.size()] != 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string first = input.ConsumeRandomLengthString();
  const std::string second = input.ConsumeRemainingBytesAsString();

  // The masks: the count of separators comes back, and a name is matched.
  kv::FileMasks masks;
  const std::string_view list(first.c_str());  // the export sees a C string
  const auto separators = static_cast<int32_t>(std::count(list.begin(), list.end(), ';'));
  if (masks.Set(first.c_str()) != separators) __builtin_trap();
  const bool matched = masks.Matches(second);
  // Matching ignores ASCII case: the name upper-cased matches the same way.
  std::string upper = second;
  for (char& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  if (masks.Matches(upper) != matched) __builtin_trap();

  // The matcher on its own, against the table; the table costs the product
  // of the lengths, so long pairs are matched without it.
  const int32_t result = kv::WildcardMatch(first, second);
  if (result != 0 && result != 1) __builtin_trap();
  if (first.size() * second.size() <= 1 << 16 && (result == 1) != MatchesByTable(first, second)) {
    __builtin_trap();
  }
  if (kv::WildcardMatch(first, first) != 1) __builtin_trap();
  return 0;
}
