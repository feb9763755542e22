// The directory walk. It keeps one listing per folder level on the heap and
// one path buffer for the whole walk, so its stack use does not grow with
// the depth of the tree.
#include "scan/directory_walk.h"

#include <memory>
#include <optional>
#include <vector>

#include "common/pest_information.h"
#include "platform/directories.h"
#include "platform/paths.h"
#include "scan/archive_scan.h"
#include "scan/file_identification.h"

namespace kv {
namespace {

bool IsSeparator(char c) { return c == '/' || c == platform::kPathSeparator; }

// Where a walk stands in its tree.
class Walk {
 public:
  Walk(const ScanServices& services, const ScanTarget& target)
      : services_(services), target_(target), archives_(services, target) {}

  int32_t Run(const char* path);

 private:
  struct Level {
    std::unique_ptr<platform::DirectoryListing> listing;
    size_t path_length;  // the folder's own path in path_
  };

  void WalkFolder();
  void EnterFolder(const platform::DirectoryListing* parent, const char* name);
  // Examines the file at path_ and reports it; false when the callback
  // asked to end the folder.
  bool ExamineFile(const platform::DirectoryListing* folder, const char* name);
  // The file's detection record, or null; tells whether it starts like a
  // ZIP archive.
  _PEST_INFORMATION* Identify(platform::InputFile& file, const char* reported_name,
                              bool* is_archive);
  void Compose(size_t folder_length, const char* name);
  bool Stopping() const { return services_.control.StopRequested(); }

  const ScanServices& services_;
  const ScanTarget& target_;
  ArchiveScanner archives_;
  std::vector<Level> levels_;
  std::string path_;      // the full path of the current entry
  std::string reported_;  // path_ cut to fit, when it does not
  int32_t count_ = 0;
};

int32_t Walk::Run(const char* path) {
  path_ = path;
  // One trailing separator is dropped; a root stays a root.
  if (path_.size() > 1 && IsSeparator(path_.back())) path_.pop_back();
  switch (platform::GetPathKind(path_.c_str())) {
    case platform::PathKind::kMissing:
      services_.exclusions.Load();
      return 0;
    case platform::PathKind::kFile: {
      services_.exclusions.Load();
      services_.control.WaitWhilePaused();
      if (Stopping()) return 0;
      const size_t cut = path_.find_last_of(std::string("/") + platform::kPathSeparator);
      const char* name = path_.c_str() + (cut == std::string::npos ? 0 : cut + 1);
      if (services_.masks.Matches(name)) ExamineFile(nullptr, name);
      return count_;
    }
    case platform::PathKind::kFolder:
      EnterFolder(nullptr, nullptr);
      WalkFolder();
      return count_;
  }
  return count_;
}

void Walk::EnterFolder(const platform::DirectoryListing* parent, const char* name) {
  services_.exclusions.Load();
  std::unique_ptr<platform::DirectoryListing> listing =
      parent == nullptr ? platform::DirectoryListing::Open(path_.c_str())
                        : parent->OpenFolder(name, path_.c_str());
  if (listing) levels_.push_back({std::move(listing), path_.size()});
}

void Walk::Compose(size_t folder_length, const char* name) {
  path_.resize(folder_length);
  if (path_.empty() || !IsSeparator(path_.back())) path_ += platform::kPathSeparator;
  path_ += name;
}

void Walk::WalkFolder() {
  platform::DirectoryEntry entry;
  while (!levels_.empty()) {
    services_.control.WaitWhilePaused();
    if (Stopping()) return;
    Level& level = levels_.back();
    if (!level.listing->Next(&entry)) {
      levels_.pop_back();
      continue;
    }
    Compose(level.path_length, entry.name);
    switch (entry.kind) {
      case platform::EntryKind::kFolder:
        EnterFolder(level.listing.get(), entry.name);  // may move `level`
        break;
      case platform::EntryKind::kLinkedFolder:
        break;  // a link may lead back up the tree: never followed
      case platform::EntryKind::kFile:
      case platform::EntryKind::kOther:
        if (!services_.masks.Matches(entry.name)) break;
        if (!ExamineFile(entry.kind == platform::EntryKind::kFile ? level.listing.get() : nullptr,
                         entry.kind == platform::EntryKind::kFile ? entry.name : nullptr)) {
          levels_.pop_back();
        }
        break;
    }
  }
}

bool Walk::ExamineFile(const platform::DirectoryListing* folder, const char* name) {
  if (path_.size() > kMaxReportedPathLength) reported_ = CutToFit(path_);
  std::string& reported = path_.size() > kMaxReportedPathLength ? reported_ : path_;
  _PEST_INFORMATION* info = nullptr;
  bool is_archive = false;
  // Only a regular file is opened (`name` is null for anything else), and
  // an excluded one not at all: not even its members are looked at.
  if (name != nullptr && services_.exclusions.IsExcluded(path_.c_str()) == 0) {
    std::optional<platform::InputFile> file =
        folder != nullptr ? folder->OpenFile(name, path_.c_str(), platform::Sharing::kReadOnly)
                          : platform::InputFile::Open(path_.c_str(), platform::Sharing::kReadOnly);
    if (file) info = Identify(*file, reported.c_str(), &is_archive);
  }
  // An archive's members are reported before the archive itself.
  if (is_archive) count_ += archives_.Scan(path_.c_str(), reported);
  ++count_;
  // The report's path is the walk's own buffer; hosts may not keep it.
  return target_.Report(reported.data(), info);
}

_PEST_INFORMATION* Walk::Identify(platform::InputFile& file, const char* reported_name,
                                  bool* is_archive) {
  const std::optional<uint64_t> size = file.Size();
  if (!size) return nullptr;
  const SizeSelection selection =
      services_.control.ScanMode() == 0 ? SizeSelection::kExactSizeOnly : SizeSelection::kAnySize;
  // The size limit spares the file's own fingerprint, not its members.
  const bool fingerprinted = *size <= services_.control.MaxScanFileSize();
  // Every file within the limit is fingerprinted in full mode: its ZIP test
  // reads the whole head at once.
  FileHead head(file, *size, fingerprinted && selection == SizeSelection::kAnySize);
  *is_archive = head.StartsLikeZip();
  if (!fingerprinted) return nullptr;
  return IdentifyFile(head, *size, selection, services_.database, reported_name);
}

}  // namespace

int32_t WalkFileOrDirectory(const char* path, const ScanServices& services,
                            const ScanTarget& target) {
  if (path == nullptr) return 0;
  Walk walk(services, target);
  return walk.Run(path);
}

bool IsZipFile(const char* path) {
  std::optional<platform::InputFile> file = platform::InputFile::Open(path);
  if (!file) return false;
  uint8_t bytes[2] = {0, 0};
  return file->ReadUpTo(bytes, 2) == 2 && bytes[0] == 0x50 && bytes[1] == 0x4B;
}

}  // namespace kv
