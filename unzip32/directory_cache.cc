// The one-entry directory cache.
#include "directory_cache.h"

namespace kv::unzip32 {

zip::ZipStatus DirectoryCache::Get(ArchiveFile& file, const zip::Limits& limits,
                                   std::shared_ptr<const zip::Directory>* out) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (directory_ && key_ == file.identity()) {
      *out = directory_;
      return zip::ZipStatus::kOk;
    }
  }
  // Read without the lock: another thread's call on another archive need
  // not wait for this parse.
  std::unique_ptr<zip::Directory> directory;
  const zip::ZipStatus status = zip::Directory::Read(file, limits, &directory);
  if (status != zip::ZipStatus::kOk) return status;
  std::shared_ptr<const zip::Directory> shared(std::move(directory));
  std::lock_guard<std::mutex> lock(mutex_);
  key_ = file.identity();
  directory_ = shared;
  *out = std::move(shared);
  return zip::ZipStatus::kOk;
}

void DirectoryCache::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  key_ = {};
  directory_.reset();
}

DirectoryCache& TheDirectoryCache() {
  static DirectoryCache cache;
  return cache;
}

}  // namespace kv::unzip32
