// An exclusion list of a test's own: "excluded.dat" in a temporary folder,
// messages counted instead of shown, and the file system of the test's
// choice.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "exclusions/exclusion_list.h"
#include "platform/file_system.h"
#include "support/test_files.h"

namespace kv::test {

class ExclusionFixture {
 public:
  explicit ExclusionFixture(platform::FileSystem& files = platform::FileSystem::Default())
      : files_(files), path_(folder_.File("excluded.dat")) {
    Restart();
  }

  ExclusionList& list() { return *list_; }
  const std::string& path() const { return path_; }
  const TempFolder& folder() const { return folder_; }
  const std::vector<std::string>& messages() const { return messages_; }

  // A new list on the same file, as the next process to use it would have.
  void Restart() {
    list_ = std::make_unique<ExclusionList>(
        ExclusionListOptions{[this] { return path_; },
                             [this](const char* text) { messages_.push_back(text); }, &files_});
  }

  // The file as another program would write it: no stamp.
  void WriteForeign(const std::string& content) {
    WriteFileBytes(path_, Bytes(content.begin(), content.end()));
  }
  // The file as the engine would leave it: written, then stamped.
  void WriteStamped(const std::string& content) {
    WriteForeign(content);
    WriteExclusionStamp(files_, path_);
  }
  std::string Content() const {
    const Bytes bytes = ReadFileBytes(path_);
    return std::string(bytes.begin(), bytes.end());
  }
  bool Exists() const { return std::filesystem::exists(path_); }

 private:
  platform::FileSystem& files_;
  TempFolder folder_;
  std::string path_;
  std::vector<std::string> messages_;
  std::unique_ptr<ExclusionList> list_;
};

}  // namespace kv::test
