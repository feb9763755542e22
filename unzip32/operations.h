// The library's operations behind its exports; each returns the export's
// own result and never throws.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "reader/directory.h"
#include "unzip32.h"

namespace kv::unzip32 {

// The members an include and an exclude list pick, in directory order.
// Each name picks the first member of exactly that name, else (when
// `fold_case`) of that name ignoring ASCII case. Names found nowhere in the
// include list are returned in `unmatched`.
std::vector<uint32_t> SelectMembers(const zip::Directory& directory, int include_count,
                                    char** include_names, int exclude_count, char** exclude_names,
                                    bool fold_case, int* unmatched);

int ListMembers(const Unzip32Options& options, int include_count, char** include_names,
                int exclude_count, char** exclude_names, Unzip32Callbacks* callbacks);

int ListIndexed(const char* archive_path, Unzip32IndexedMemberFn callback, void* context);

int ExtractToFolder(const Unzip32Options& options, int include_count, char** include_names,
                    int exclude_count, char** exclude_names, Unzip32Callbacks* callbacks);

// Which member an extraction to memory is for.
struct MemberChoice {
  const char* name = nullptr;     // by name, or
  std::optional<uint32_t> index;  // by position in the directory
};

// Nonzero on success, as Wiz_UnzipToMemory.
int ExtractToMemory(const char* archive_path, const MemberChoice& choice,
                    Unzip32Callbacks* callbacks, Unzip32Buffer* buffer);

void FreeBuffer(Unzip32Buffer* buffer);

}  // namespace kv::unzip32
