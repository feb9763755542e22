// Where the reader takes an archive's bytes from: an interface for random
// reads, and its implementation over a span of memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace kv::zip {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Total length of the archive in bytes.
  virtual uint64_t Size() const = 0;
  // Fills `out` with the bytes at `offset`; false when they are not all
  // there or cannot be read.
  virtual bool ReadAt(uint64_t offset, std::span<uint8_t> out) = 0;
};

// An archive already in memory; the span must outlive the source.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  uint64_t Size() const override { return bytes_.size(); }

  bool ReadAt(uint64_t offset, std::span<uint8_t> out) override {
    if (offset > bytes_.size() || out.size() > bytes_.size() - offset) return false;
    if (!out.empty()) std::memcpy(out.data(), bytes_.data() + offset, out.size());
    return true;
  }

 private:
  std::span<const uint8_t> bytes_;
};

}  // namespace kv::zip
