// What a replacement file does the same on every system: moving it, and
// removing the new file unless it was committed.
#include "platform/replacement_file.h"

#include <utility>

namespace kv::platform {

ReplacementFile::ReplacementFile(ReplacementFile&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)),
      path_(std::exchange(other.path_, {})),
      target_(std::exchange(other.target_, {})),
      committed_(std::exchange(other.committed_, false)) {}

ReplacementFile& ReplacementFile::operator=(ReplacementFile&& other) noexcept {
  if (this != &other) {
    Discard();
    handle_ = std::exchange(other.handle_, kNoHandle);
    path_ = std::exchange(other.path_, {});
    target_ = std::exchange(other.target_, {});
    committed_ = std::exchange(other.committed_, false);
  }
  return *this;
}

ReplacementFile::~ReplacementFile() { Discard(); }

void ReplacementFile::Discard() {
  Close();
  if (!committed_ && !path_.empty()) RemoveNewFile();
  path_.clear();
}

}  // namespace kv::platform
