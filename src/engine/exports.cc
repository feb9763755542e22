// The flat exported functions: a thin shell over the one Engine. The Windows
// callee-pops twins follow at the end; kvserver.def.in gives their names.
#include "database/data_file.h"
#include "engine/engine.h"
#include "engine/export_guard.h"
#include "kvserver.h"

namespace kv {

// Built when the library is loaded, destroyed when it is unloaded.
Engine g_engine;

Engine& TheEngine() { return g_engine; }

}  // namespace kv

using kv::TheEngine;

extern "C" {

KV_EXPORT int32_t KV_CDECL kvSetScanMode(int32_t mode) {
  return TheEngine().SetScanMode(mode);
}

KV_EXPORT int32_t KV_CDECL kvPauseScan(void) { return TheEngine().PauseScan(); }

KV_EXPORT int32_t KV_CDECL kvResumeScan(void) {
  return TheEngine().ResumeScan();
}

KV_EXPORT int32_t KV_CDECL kvImmediateExit(void) {
  return TheEngine().ImmediateExit();
}

KV_EXPORT int32_t KV_CDECL kvVerifyDAT(const char* path) {
  return kv::Guarded(kv::ToInt(kv::DatStatus::kOutOfMemory), [path] {
    if (path == nullptr) return kv::ToInt(kv::DatStatus::kCannotOpen);
    return kv::ToInt(kv::ReadDataFile(path, kv::DateCheck::kLast, nullptr));
  });
}

#if defined(_WIN32)
// Callee-pops twins. Each only calls its plain function; the .def file
// exports "kvX_stdcall@N" under the name "_kvX_stdcall@N".

int32_t KV_STDCALL kvSetScanMode_stdcall(int32_t mode) {
  return kvSetScanMode(mode);
}
int32_t KV_STDCALL kvPauseScan_stdcall(void) { return kvPauseScan(); }
int32_t KV_STDCALL kvResumeScan_stdcall(void) { return kvResumeScan(); }
int32_t KV_STDCALL kvImmediateExit_stdcall(void) { return kvImmediateExit(); }
int32_t KV_STDCALL kvVerifyDAT_stdcall(const char* path) {
  return kvVerifyDAT(path);
}
#endif

}  // extern "C"
