// Extracting one member into a buffer the host releases with
// UzpFreeMemBuffer.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "call_context.h"
#include "operations.h"

namespace kv::unzip32 {
namespace {

struct FreeDeleter {
  void operator()(char* bytes) const { std::free(bytes); }
};
using MallocBytes = std::unique_ptr<char, FreeDeleter>;

// Collects the member in a malloc'd buffer that grows by doubling up to the
// declared size, so a member that lies about its size costs no more memory
// than the bytes it really inflates to.
class GrowingBuffer final : public zip::OutputSink {
 public:
  explicit GrowingBuffer(uint64_t declared_size) : declared_size_(declared_size) {}

  bool Write(std::span<const uint8_t> bytes) override {
    if (bytes.size() > declared_size_ - length_) return false;
    if (bytes.size() > capacity_ - length_ && !Grow(length_ + bytes.size())) return false;
    std::memcpy(bytes_.get() + length_, bytes.data(), bytes.size());
    length_ += bytes.size();
    return true;
  }

  // The bytes (a valid pointer even when there are none) and their count.
  MallocBytes Release(uint32_t* length) {
    if (!bytes_) bytes_.reset(static_cast<char*>(std::malloc(1)));
    *length = static_cast<uint32_t>(length_);
    return std::move(bytes_);
  }

 private:
  bool Grow(uint64_t needed) {
    uint64_t capacity = capacity_ == 0 ? 64 * 1024 : capacity_;
    while (capacity < needed) capacity *= 2;
    capacity = std::min(capacity, declared_size_);
    void* grown = std::realloc(bytes_.get(), static_cast<size_t>(capacity));
    if (grown == nullptr) return false;
    bytes_.release();
    bytes_.reset(static_cast<char*>(grown));
    capacity_ = capacity;
    return true;
  }

  uint64_t declared_size_;
  MallocBytes bytes_;
  uint64_t length_ = 0;
  uint64_t capacity_ = 0;
};

std::optional<uint32_t> FindChoice(const zip::Directory& directory, const MemberChoice& choice) {
  if (choice.index) {
    if (*choice.index < directory.size()) return choice.index;
    return std::nullopt;
  }
  if (choice.name == nullptr) return std::nullopt;
  return directory.Find(choice.name, true);
}

}  // namespace

int ExtractToMemory(const char* archive_path, const MemberChoice& choice,
                    Unzip32Callbacks* callbacks, Unzip32Buffer* buffer) {
  if (buffer == nullptr) return 0;
  buffer->length = 0;
  buffer->data = nullptr;
  OpenArchive archive;
  if (Open(archive_path, callbacks, &archive) != UNZIP32_OK) return 0;
  const zip::Directory& directory = *archive.directory;
  const std::optional<uint32_t> index = FindChoice(directory, choice);
  if (!index) {
    Say(callbacks, "no such member in " + Quoted(archive_path));
    return 0;
  }
  uint64_t budget = CallLimits().max_inflated_bytes;
  zip::ExtractRequest request;
  request.max_declared_size = MaxMemberSize().load();
  request.inflate_budget = &budget;
  request.password = PasswordFrom(callbacks);
  GrowingBuffer bytes(directory.member(*index).uncompressed_size);
  const zip::ZipStatus status =
      zip::ExtractMember(*archive.file, directory, *index, request, bytes);
  if (status != zip::ZipStatus::kOk) {
    Say(callbacks, Quoted(directory.name(*index)) + ": " + zip::Describe(status));
    return 0;
  }
  uint32_t length = 0;
  MallocBytes data = bytes.Release(&length);
  if (!data) return 0;
  buffer->length = length;
  buffer->data = data.release();
  return 1;
}

void FreeBuffer(Unzip32Buffer* buffer) {
  if (buffer == nullptr) return;
  std::free(buffer->data);
  buffer->data = nullptr;
  buffer->length = 0;
}

}  // namespace kv::unzip32
