// Extracting one member: its local header re-read, its data decrypted and
// inflated, never more bytes than its declared size, its CRC-32 checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "reader/byte_source.h"
#include "reader/directory.h"
#include "reader/zip_status.h"

namespace kv::zip {

// Receives the member's bytes as they are produced, in order. A sink that
// returns false ends the extraction with kWriteError.
class OutputSink {
 public:
  virtual ~OutputSink() = default;
  virtual bool Write(std::span<const uint8_t> bytes) = 0;
};

// Asked for the password of an encrypted member (given its name); nothing
// means the caller declined.
using PasswordQuery = std::function<std::optional<std::string>(std::string_view member_name)>;

struct ExtractRequest {
  // A member declaring more uncompressed bytes is refused before any work.
  uint64_t max_declared_size = UINT64_MAX;
  // Bytes the whole call may still inflate, shared by the members it
  // extracts; each takes its declared size from it. Null: no budget.
  uint64_t* inflate_budget = nullptr;
  // Null: encrypted members fail with kBadPassword.
  PasswordQuery password;
};

// Extracts member `index` of `directory` from `source` into `sink`. On any
// failure the sink may have received part of the data; the caller discards
// it. A member whose data is longer than declared fails with kSizeMismatch
// after at most its declared size has been written.
ZipStatus ExtractMember(ByteSource& source, const Directory& directory, size_t index,
                        const ExtractRequest& request, OutputSink& sink);

// ExtractMember into a vector, emptied on failure.
ZipStatus ExtractToVector(ByteSource& source, const Directory& directory, size_t index,
                          const ExtractRequest& request, std::vector<uint8_t>* out);

}  // namespace kv::zip
