// Extracting members into a folder: only inside it, folders recreated,
// existing files replaced only when the host's overwrite query agrees.
#include <algorithm>
#include <string>

#include "call_context.h"
#include "operations.h"
#include "reader/safe_name.h"

namespace kv::unzip32 {
namespace {

class FileSink final : public zip::OutputSink {
 public:
  explicit FileSink(OutputFile& file) : file_(file) {}
  bool Write(std::span<const uint8_t> bytes) override { return file_.Write(bytes); }

 private:
  OutputFile& file_;
};

// Walks down from `folder` through the components, creating the missing
// folders. Fails on anything that is not a real folder: a link or junction
// there could lead outside.
int EnterFolders(std::string* path, const std::vector<std::string>& components, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    *path += kPathSeparator;
    *path += components[i];
    switch (InspectPath(*path)) {
      case PathKind::kFolder:
        break;
      case PathKind::kMissing:
        if (!MakeFolder(*path)) return UNZIP32_WRITE_FAILED;
        break;
      case PathKind::kFile:
        return UNZIP32_WRITE_FAILED;
      case PathKind::kOther:
        return UNZIP32_UNSAFE_NAME;
    }
  }
  return UNZIP32_OK;
}

// Decides whether the file at `path` may be written.
int ClaimTarget(std::string& path, Unzip32Callbacks* callbacks) {
  switch (InspectPath(path)) {
    case PathKind::kMissing:
      return UNZIP32_OK;
    case PathKind::kFolder:
      return UNZIP32_WRITE_FAILED;
    case PathKind::kOther:
      return UNZIP32_UNSAFE_NAME;
    case PathKind::kFile:
      break;
  }
  const bool replace =
      callbacks != nullptr && callbacks->replace != nullptr && callbacks->replace(path.data()) == 1;
  return replace ? UNZIP32_OK : UNZIP32_SKIPPED;
}

int WriteMember(const OpenArchive& archive, uint32_t index, const std::string& path,
                const zip::ExtractRequest& request, Unzip32Callbacks* callbacks) {
  std::unique_ptr<OutputFile> file = OutputFile::Create(path);
  if (!file) return UNZIP32_WRITE_FAILED;
  FileSink sink(*file);
  zip::ZipStatus status =
      zip::ExtractMember(*archive.file, *archive.directory, index, request, sink);
  if (!file->Close() && status == zip::ZipStatus::kOk) status = zip::ZipStatus::kWriteError;
  if (status == zip::ZipStatus::kOk) return UNZIP32_OK;
  RemoveFile(path);  // nothing half-written is left behind
  Say(callbacks, Quoted(archive.directory->name(index)) + ": " + zip::Describe(status));
  return ResultOf(status);
}

int ExtractOne(const OpenArchive& archive, uint32_t index, const std::string& folder,
               const zip::ExtractRequest& request, Unzip32Callbacks* callbacks) {
  const std::string_view name = archive.directory->name(index);
  const std::optional<zip::RelativePath> relative = zip::SafeRelativePath(name);
  if (!relative) {
    Say(callbacks, Quoted(name) + ": refused, the name could lead outside the folder");
    return UNZIP32_UNSAFE_NAME;
  }
  const std::vector<std::string>& components = relative->components;
  std::string path = folder;
  const size_t folders = relative->folder ? components.size() : components.size() - 1;
  if (int result = EnterFolders(&path, components, folders); result != UNZIP32_OK) {
    Say(callbacks, Quoted(name) + ": cannot create its folder");
    return result;
  }
  if (relative->folder) return UNZIP32_OK;
  path += kPathSeparator;
  path += components.back();
  if (int result = ClaimTarget(path, callbacks); result != UNZIP32_OK) {
    if (result != UNZIP32_SKIPPED) Say(callbacks, Quoted(name) + ": cannot write " + Quoted(path));
    return result;
  }
  return WriteMember(archive, index, path, request, callbacks);
}

}  // namespace

int ExtractToFolder(const Unzip32Options& options, int include_count, char** include_names,
                    int exclude_count, char** exclude_names, Unzip32Callbacks* callbacks) {
  const std::string folder = options.extractFolder != nullptr ? options.extractFolder : ".";
  if (InspectPath(folder) == PathKind::kMissing || InspectPath(folder) == PathKind::kFile) {
    Say(callbacks, "no folder " + Quoted(folder));
    return UNZIP32_WRITE_FAILED;
  }
  OpenArchive archive;
  if (int result = Open(options.archivePath, callbacks, &archive); result != UNZIP32_OK) {
    return result;
  }
  int unmatched = 0;
  const std::vector<uint32_t> selected =
      SelectMembers(*archive.directory, include_count, include_names, exclude_count, exclude_names,
                    options.caseInsensitive != 0, &unmatched);
  uint64_t budget = CallLimits().max_inflated_bytes;
  zip::ExtractRequest request;
  request.inflate_budget = &budget;
  request.password = PasswordFrom(callbacks);
  int first_failure = unmatched > 0 ? UNZIP32_NO_MATCH : UNZIP32_OK;
  for (uint32_t index : selected) {
    const zip::Member& member = archive.directory->member(index);
    if (callbacks != nullptr && callbacks->service != nullptr &&
        callbacks->service(
            std::string(archive.directory->name(index)).c_str(),
            static_cast<uint32_t>(std::min<uint64_t>(member.uncompressed_size, UINT32_MAX))) != 0) {
      return UNZIP32_CANCELLED;
    }
    const int result = ExtractOne(archive, index, folder, request, callbacks);
    if (first_failure == UNZIP32_OK) first_failure = result;
  }
  return first_failure;
}

}  // namespace kv::unzip32
