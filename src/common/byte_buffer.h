// An owned, uninitialised byte array. Like every allocation inside the engine
// it throws std::bad_alloc when the memory cannot be had.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace kv {

class ByteBuffer {
 public:
  ByteBuffer() = default;

  static ByteBuffer Allocate(size_t size) {
    ByteBuffer buffer;
    buffer.bytes_.reset(new uint8_t[size == 0 ? 1 : size]);
    buffer.size_ = size;
    return buffer;
  }

  uint8_t* data() { return bytes_.get(); }
  const uint8_t* data() const { return bytes_.get(); }
  size_t size() const { return size_; }
  std::span<uint8_t> span() { return {bytes_.get(), size_}; }
  std::span<const uint8_t> span() const { return {bytes_.get(), size_}; }

 private:
  std::unique_ptr<uint8_t[]> bytes_;
  size_t size_ = 0;
};

}  // namespace kv
