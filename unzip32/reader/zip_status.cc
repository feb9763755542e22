// Descriptions of the reader's outcomes.
#include "reader/zip_status.h"

namespace kv::zip {

const char* Describe(ZipStatus status) {
  switch (status) {
    case ZipStatus::kOk:
      return "ok";
    case ZipStatus::kNotArchive:
      return "not a zip archive";
    case ZipStatus::kDamagedDirectory:
      return "the central directory is damaged";
    case ZipStatus::kTooManyMembers:
      return "too many members";
    case ZipStatus::kDirectoryTooLarge:
      return "the central directory is too large";
    case ZipStatus::kDamagedMember:
      return "the member is damaged";
    case ZipStatus::kUnsupportedMethod:
      return "unsupported compression or encryption method";
    case ZipStatus::kBadPassword:
      return "wrong or missing password";
    case ZipStatus::kDeclaredSizeTooLarge:
      return "the member is larger than allowed";
    case ZipStatus::kInflateLimit:
      return "too many bytes inflated in one call";
    case ZipStatus::kSizeMismatch:
      return "the member's data does not have its declared size";
    case ZipStatus::kCrcMismatch:
      return "CRC-32 mismatch";
    case ZipStatus::kReadError:
      return "cannot read the archive";
    case ZipStatus::kWriteError:
      return "cannot write the output";
    case ZipStatus::kOutOfMemory:
      return "out of memory";
  }
  return "unknown error";
}

}  // namespace kv::zip
