// File masks: the ordered include ("*.EXE") and exclude ("!*.GIF") patterns
// that decide which file names a scan examines.
#pragma once

#include <cstdint>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

inline constexpr const char* kDefaultFileMasks = "*.*;!*.GIF;!*.ICO;!*.JAVA;!*.CLASS;!*.JAR;!*.BMP";

// 1 when `pattern` matches the whole of `text`: "*" matches any run, "?"
// one character, everything else itself, case-sensitively. Only the most
// recent "*" is retried.
int32_t WildcardMatch(std::string_view pattern, std::string_view text);

// Safe to set while walks on other threads match names against it.
class FileMasks {
 public:
  // Replaces the list with the ";"-separated masks, upper-cased (ASCII).
  // Returns the number of ";" in the text; a null text returns 0 and keeps
  // the list. Masks are held whole, whatever their length.
  int32_t Set(const char* masks);

  // True when some include mask matches the name and no exclude mask does.
  // An empty list passes nothing. Allocates nothing once a thread has
  // matched a name as long as this one.
  bool Matches(std::string_view name) const;

  std::vector<std::string> masks() const;

 private:
  // A mask as names are matched against it. Most masks are "*.EXT" or
  // "*TEXT*": their literal is compared with the name directly, without the
  // general matcher or an upper-cased copy of the name.
  struct CompiledMask {
    enum class Shape { kGeneral, kEndsWith, kContains };
    std::string pattern;  // without the '!' of an exclude mask
    std::string literal;  // kEndsWith and kContains: the text between the stars
    Shape shape = Shape::kGeneral;
    bool exclude = false;
  };
  static CompiledMask Compile(const std::string& mask);

  mutable std::shared_mutex mutex_;
  std::vector<std::string> masks_;
  std::vector<CompiledMask> compiled_;  // one per mask, in order
};

}  // namespace kv
