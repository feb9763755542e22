// The outcomes of reading an archive or one of its members.
#pragma once

namespace kv::zip {

enum class ZipStatus {
  kOk,
  kNotArchive,            // no end-of-central-directory record
  kDamagedDirectory,      // the central directory cannot be read as declared
  kTooManyMembers,        // more members than Limits::max_members
  kDirectoryTooLarge,     // central directory above Limits::max_directory_bytes
  kDamagedMember,         // bad local header, data outside the archive, or overlap
  kUnsupportedMethod,     // a compression or encryption method we do not read
  kBadPassword,           // encrypted, and the password is wrong or was refused
  kDeclaredSizeTooLarge,  // uncompressed size above the caller's cap
  kInflateLimit,          // the call would inflate more than its byte budget
  kSizeMismatch,          // the data is longer or shorter than declared
  kCrcMismatch,           // the data does not match its CRC-32
  kReadError,             // the byte source failed
  kWriteError,            // the output refused the bytes
  kOutOfMemory,
};

// A short English description, for messages.
const char* Describe(ZipStatus status);

}  // namespace kv::zip
