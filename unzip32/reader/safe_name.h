// Whether a member's name can be written inside an extraction folder, and
// the relative path it is written at.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kv::zip {

struct RelativePath {
  std::vector<std::string> components;  // folders, then the file (or last folder)
  bool folder = false;                  // the name ends with a separator
};

// Splits `name` at '/' and '\'. Refused (nothing) when it could name a place
// outside the folder or something that is not a plain file on some system:
// empty, a leading separator, a ':' anywhere (drive letters, streams),
// control characters or any of <>"|?*, an empty, "." or ".." component, a
// component ending in '.' or ' ' (which Windows strips, so "..." or ".. "
// would climb), or a device name such as CON or COM1. The same names are
// refused on every system, so an archive behaves alike everywhere.
std::optional<RelativePath> SafeRelativePath(std::string_view name);

}  // namespace kv::zip
