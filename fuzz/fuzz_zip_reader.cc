// Fuzz target: an archive image, listed, then every member extracted to
// memory with a password answered, and every name put through the
// extraction-folder check.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "reader/directory.h"
#include "reader/member_reader.h"
#include "reader/safe_name.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kv::zip::MemorySource source(std::span<const uint8_t>(data, size));
  kv::zip::Limits limits;
  limits.max_inflated_bytes = 64u << 20;  // keeps each input quick
  std::unique_ptr<kv::zip::Directory> directory;
  if (kv::zip::Directory::Read(source, limits, &directory) != kv::zip::ZipStatus::kOk) return 0;
  uint64_t budget = limits.max_inflated_bytes;
  kv::zip::ExtractRequest request;
  request.max_declared_size = 16u << 20;
  request.inflate_budget = &budget;
  request.password = [](std::string_view) { return std::optional<std::string>("secret"); };
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < directory->size(); ++i) {
    kv::zip::ExtractToVector(source, *directory, i, request, &bytes);
    kv::zip::SafeRelativePath(directory->name(i));
    directory->Find(directory->name(i));
  }
  return 0;
}
