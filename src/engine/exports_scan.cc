// Exported scans and scan settings: the single-file scan, the walks and
// their stop, the file masks.
#include "engine/engine.h"
#include "engine/export_guard.h"
#include "kvserver.h"

namespace {

int32_t Walk(char* path, ScanCallback callback, ScanCallbackStdcall stdcall_callback,
             int32_t user_value) {
  return kv::TheEngine().ScanFileOrDirectory(
      path, kv::ScanTarget{callback, stdcall_callback, user_value});
}

}  // namespace

extern "C" {

KV_EXPORT _PEST_INFORMATION* KV_CDECL kvScanSingleFile(const char* path) {
  return kv::Guarded<_PEST_INFORMATION*>(nullptr,
                                         [path] { return kv::TheEngine().ScanSingleFile(path); });
}

KV_EXPORT int32_t KV_CDECL kvScanFileOrDirectory_Internal(char* path, ScanCallback callback,
                                                          ScanCallbackStdcall stdcall_callback,
                                                          int32_t user_value) {
  return kv::Guarded(0, [&] { return Walk(path, callback, stdcall_callback, user_value); });
}

KV_EXPORT int32_t KV_CDECL kvScanFileOrDirectory(char* path, ScanCallback callback,
                                                 int32_t user_value) {
  return kv::Guarded(0, [&] {
    kv::TheEngine().ResumeScan();
    return Walk(path, callback, nullptr, user_value);
  });
}

#if defined(_WIN32)
// The callee-pops twin takes a callee-pops callback: it cannot merely call
// the plain function.
int32_t KV_STDCALL kvScanFileOrDirectory_stdcall(char* path, ScanCallbackStdcall callback,
                                                 int32_t user_value) {
  return kv::Guarded(0, [&] {
    kv::TheEngine().ResumeScan();
    return Walk(path, nullptr, callback, user_value);
  });
}
#endif

KV_EXPORT int32_t KV_CDECL kvScanFileOrDirectory_async(char* path, ScanCallback callback,
                                                       int32_t user_value) {
  return kv::Guarded(
      0, [&] { return kv::TheEngine().ScanFileOrDirectoryAsync(path, callback, user_value); });
}

KV_EXPORT int32_t KV_CDECL kvSetFileMasks(const char* masks) {
  return kv::Guarded(0, [masks] { return kv::TheEngine().file_masks().Set(masks); });
}

}  // extern "C"
