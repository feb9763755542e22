// The exported functions: argument checks and a guard that turns any
// exception (out of memory, in practice) into a failure result, over the
// operations in operations.h.
#include <new>

#include "call_context.h"
#include "operations.h"
#include "unzip32.h"

namespace {

template <typename Result, typename Body>
Result Guarded(Result on_exception, Body body) noexcept {
  try {
    return body();
  } catch (...) {
    return on_exception;
  }
}

}  // namespace

extern "C" {

UNZIP32_EXPORT int UNZIP32_CALL Wiz_Init(void*, Unzip32Callbacks* callbacks) {
  return callbacks != nullptr ? 1 : 0;
}

UNZIP32_EXPORT int UNZIP32_CALL Wiz_SetOpts(void*, Unzip32Options* options) {
  return options != nullptr ? 1 : 0;
}

UNZIP32_EXPORT int UNZIP32_CALL Wiz_SingleEntryUnzip(int include_count, char** include_names,
                                                     int exclude_count, char** exclude_names,
                                                     Unzip32Options* options,
                                                     Unzip32Callbacks* callbacks) {
  if (options == nullptr || options->archivePath == nullptr || include_count < 0 ||
      exclude_count < 0 || (include_count > 0 && include_names == nullptr)) {
    return UNZIP32_BAD_PARAMETERS;
  }
  return Guarded(UNZIP32_NO_MEMORY, [&] {
    if (options->verboseListing != 0) {
      if (callbacks == nullptr) return UNZIP32_BAD_PARAMETERS;
      return kv::unzip32::ListMembers(*options, include_count, include_names, exclude_count,
                                      exclude_names, callbacks);
    }
    return kv::unzip32::ExtractToFolder(*options, include_count, include_names, exclude_count,
                                        exclude_names, callbacks);
  });
}

UNZIP32_EXPORT int UNZIP32_CALL Wiz_UnzipToMemory(char* archive_path, char* member_name,
                                                  Unzip32Callbacks* callbacks,
                                                  Unzip32Buffer* buffer) {
  kv::unzip32::MemberChoice choice;
  choice.name = member_name;
  return Guarded(
      0, [&] { return kv::unzip32::ExtractToMemory(archive_path, choice, callbacks, buffer); });
}

UNZIP32_EXPORT void UNZIP32_CALL UzpFreeMemBuffer(Unzip32Buffer* buffer) {
  kv::unzip32::FreeBuffer(buffer);
}

UNZIP32_EXPORT int UNZIP32_CALL kvUnzipListIndexed(const char* archive_path,
                                                   Unzip32IndexedMemberFn callback, void* context) {
  return Guarded(UNZIP32_NO_MEMORY,
                 [&] { return kv::unzip32::ListIndexed(archive_path, callback, context); });
}

UNZIP32_EXPORT int UNZIP32_CALL kvUnzipToMemoryByIndex(const char* archive_path, uint32_t index,
                                                       Unzip32Callbacks* callbacks,
                                                       Unzip32Buffer* buffer) {
  kv::unzip32::MemberChoice choice;
  choice.index = index;
  return Guarded(
      0, [&] { return kv::unzip32::ExtractToMemory(archive_path, choice, callbacks, buffer); });
}

UNZIP32_EXPORT uint32_t UNZIP32_CALL kvUnzipSetMaxMemberSize(uint32_t bytes) {
  return kv::unzip32::MaxMemberSize().exchange(bytes != 0 ? bytes
                                                          : kv::unzip32::kDefaultMaxMemberSize);
}

}  // extern "C"
