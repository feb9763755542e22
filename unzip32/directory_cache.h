// The central directory of the last archive read, kept between calls: the
// engine lists an archive and then asks for its members one call at a time.
#pragma once

#include <memory>
#include <mutex>

#include "platform_files.h"
#include "reader/directory.h"
#include "reader/limits.h"

namespace kv::unzip32 {

class DirectoryCache {
 public:
  // The directory of `file`: the cached one when the file's identity (path,
  // volume and file id, size, modification time) is unchanged, else read
  // now and cached in place of the last. A failed read is not cached.
  zip::ZipStatus Get(ArchiveFile& file, const zip::Limits& limits,
                     std::shared_ptr<const zip::Directory>* out);

  // Forgets the cached directory.
  void Clear();

 private:
  std::mutex mutex_;
  FileIdentity key_;
  std::shared_ptr<const zip::Directory> directory_;
};

// The one cache of the library.
DirectoryCache& TheDirectoryCache();

}  // namespace kv::unzip32
