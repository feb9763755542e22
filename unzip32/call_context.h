// What every operation of the library shares: its bounds, the archive
// opened with its directory for the length of one call, the host's
// callbacks turned into messages and password answers, and results.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform_files.h"
#include "reader/directory.h"
#include "reader/limits.h"
#include "reader/member_reader.h"
#include "unzip32.h"

namespace kv::unzip32 {

inline constexpr uint32_t kDefaultMaxMemberSize = 256u << 20;

// The reader's bounds: member count, directory size, bytes inflated per call.
zip::Limits CallLimits();

// Largest declared size extraction to memory accepts; process-wide.
std::atomic<uint32_t>& MaxMemberSize();

// The archive of one call: the file stays open until the object goes.
struct OpenArchive {
  std::unique_ptr<ArchiveFile> file;
  std::shared_ptr<const zip::Directory> directory;
};

// Opens `path` and gets its directory (from the cache when unchanged).
// Returns an UNZIP32_ result; failures are also told through `callbacks`.
int Open(const char* path, Unzip32Callbacks* callbacks, OpenArchive* archive);

// The UNZIP32_ result for a reader status.
int ResultOf(zip::ZipStatus status);

// Sends one line to the host's message callback, if it gave one.
void Say(Unzip32Callbacks* callbacks, std::string_view text);

// The host's password callback as the reader asks for it; empty without one.
zip::PasswordQuery PasswordFrom(Unzip32Callbacks* callbacks);

// The member name for a message: long names are cut short.
std::string Quoted(std::string_view name);

}  // namespace kv::unzip32
