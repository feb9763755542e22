// Fuzz target: the exclusion list's loader and matching rule. The input is
// a path and the content of "excluded.dat", split by FuzzedDataProvider. The
// content is written to a file of this process's own and loaded through the
// real loader; the path is then matched against it, and every entry against
// itself.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "exclusions/exclusion_list.h"
#include "platform/file_system.h"
#include "platform/paths.h"

namespace {

// The real file system, except that the list never opens for update: the
// stamp check then lets any content load, as it does for a read-only list,
// and nothing empties or stamps the file.
class ReadOnlyList : public kv::platform::FileSystem {
 public:
  std::optional<kv::platform::UpdatableFile> OpenForUpdate(const std::string&) override {
    return std::nullopt;
  }
};

// A file of this process's own (several fuzzing processes may share the
// temporary folder), removed when the process ends.
class ListFile {
 public:
  ListFile()
      : path_((std::filesystem::temp_directory_path() /
               ("kv_fuzz_exclusions_" + std::to_string(std::random_device()()) + ".dat"))
                  .string()) {}
  ~ListFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

const std::string& ListPath() {
  static const ListFile file;
  return file.path();
}

bool WriteList(const std::string& content) {
  std::FILE* file = std::fopen(ListPath().c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string path = input.ConsumeRandomLengthString();
  const std::string content = input.ConsumeRemainingBytesAsString();
  if (!WriteList(content)) return 0;

  static ReadOnlyList files;
  kv::ExclusionList list(kv::ExclusionListOptions{[] { return ListPath(); },
                                                  [](const char*) { __builtin_trap(); }, &files});
  if (!list.Load()) __builtin_trap();  // the file is there and readable

  const int32_t excluded = list.IsExcluded(path.c_str());
  if (excluded != 0 && excluded != 1) __builtin_trap();

  // The enumeration lists what was loaded, each entry of at most 259 bytes,
  // and an entry (not a folder written with its separator) excludes itself.
  const std::vector<std::string> entries = list.entries();
  size_t listed = 0;
  for (const char* entry = list.First(); entry != nullptr; entry = list.Next()) {
    const std::string text = entry;
    if (listed >= entries.size() || text != entries[listed++]) __builtin_trap();
    if (text.empty() || text.size() > 259) __builtin_trap();
    if (text.back() != kv::platform::kPathSeparator && list.IsExcluded(entry) != 1) {
      __builtin_trap();
    }
  }
  if (listed != entries.size()) __builtin_trap();
  return 0;
}
