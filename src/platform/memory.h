// Large tables that a program reaches at random, such as a compressor's
// match-finding trees: backed by huge pages where the system grants them for
// the asking, so that a random step does not also miss in the address
// translation cache.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

namespace kv::platform {

// Zero-filled memory for `bytes` (more than 0), with `*mapped_bytes` set to
// what must be handed back to FreeLargeMemory; null when there is none.
void* AllocateLargeMemory(size_t bytes, size_t* mapped_bytes);
void FreeLargeMemory(void* memory, size_t mapped_bytes);

// An array of `count` plain values, each set to `fill`. Throws
// std::bad_alloc when the memory cannot be had.
template <typename T>
class LargeArray {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

 public:
  LargeArray() = default;
  LargeArray(size_t count, T fill) : count_(count) {
    if (count == 0) return;
    if (count > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    items_ = static_cast<T*>(AllocateLargeMemory(count * sizeof(T), &mapped_bytes_));
    if (items_ == nullptr) throw std::bad_alloc();
    if (fill != T{}) std::fill(items_, items_ + count, fill);
  }
  ~LargeArray() { Release(); }
  LargeArray(LargeArray&& other) noexcept { *this = std::move(other); }
  LargeArray& operator=(LargeArray&& other) noexcept {
    if (this != &other) {
      Release();
      items_ = std::exchange(other.items_, nullptr);
      count_ = std::exchange(other.count_, 0);
      mapped_bytes_ = std::exchange(other.mapped_bytes_, 0);
    }
    return *this;
  }
  LargeArray(const LargeArray&) = delete;
  LargeArray& operator=(const LargeArray&) = delete;

  size_t size() const { return count_; }
  T* data() { return items_; }
  const T* data() const { return items_; }
  T& operator[](size_t index) { return items_[index]; }
  const T& operator[](size_t index) const { return items_[index]; }

 private:
  void Release() {
    if (items_ != nullptr) FreeLargeMemory(items_, mapped_bytes_);
    items_ = nullptr;
    count_ = 0;
    mapped_bytes_ = 0;
  }

  T* items_ = nullptr;
  size_t count_ = 0;
  size_t mapped_bytes_ = 0;
};

using LargeTable = LargeArray<uint32_t>;

}  // namespace kv::platform
