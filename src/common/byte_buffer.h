// An owned, uninitialised byte array whose allocation failure is a value, not
// an exception: the data-file readers report it as "out of memory".
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>

namespace kv {

class ByteBuffer {
 public:
  ByteBuffer() = default;

  // An empty buffer (testing false) when the memory cannot be had.
  static ByteBuffer Allocate(size_t size) {
    ByteBuffer buffer;
    buffer.bytes_.reset(new (std::nothrow) uint8_t[size == 0 ? 1 : size]);
    if (buffer.bytes_) buffer.size_ = size;
    return buffer;
  }

  explicit operator bool() const { return bytes_ != nullptr; }
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
