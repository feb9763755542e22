// Paths written in the tests with '\' as the separator, turned into the
// platform's own.
#pragma once

#include <string>

#include "platform/paths.h"

namespace kv::test {

inline std::string NativePath(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = platform::kPathSeparator;
  }
  return path;
}

// `folder` followed by the separator.
inline std::string WithSeparator(const std::string& folder) {
  return folder + platform::kPathSeparator;
}

}  // namespace kv::test
