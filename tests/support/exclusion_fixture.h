// An exclusion list of a test's own: "excluded.dat" in a temporary folder,
// messages counted instead of shown.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "exclusions/exclusion_list.h"
#include "support/test_files.h"

namespace kv::test {

class ExclusionFixture {
 public:
  explicit ExclusionFixture(StampPlaces places = StampPlaces::kFileAndSidecar)
      : path_(folder_.File("excluded.dat")),
        list_(ExclusionListOptions{[this] { return path_; },
                                   [this](const char* text) { messages_.push_back(text); },
                                   places}) {}

  ExclusionList& list() { return list_; }
  const std::string& path() const { return path_; }
  const TempFolder& folder() const { return folder_; }
  const std::vector<std::string>& messages() const { return messages_; }

  // The file as another program would write it: no stamp.
  void WriteForeign(const std::string& content) {
    WriteFileBytes(path_, Bytes(content.begin(), content.end()));
  }
  // The file as the engine would leave it: written, then stamped.
  void WriteStamped(const std::string& content, StampPlaces places = StampPlaces::kFileAndSidecar) {
    WriteForeign(content);
    WriteExclusionStamp(path_, places);
  }
  std::string Content() const {
    const Bytes bytes = ReadFileBytes(path_);
    return std::string(bytes.begin(), bytes.end());
  }
  bool Exists() const { return std::filesystem::exists(path_); }

 private:
  TempFolder folder_;
  std::string path_;
  std::vector<std::string> messages_;
  ExclusionList list_;
};

}  // namespace kv::test
