// The flat exported functions: a thin shell over the one Engine (the other
// exports_*.cc hold the rest by topic; exports_twins.cc the Windows twins).
#include <new>

#include "database/data_file.h"
#include "engine/engine.h"
#include "engine/export_guard.h"
#include "kvserver.h"
#include "platform/library_state.h"

namespace kv {
namespace {

// Holds the one engine: built when the library is loaded, torn down when it
// is released, but left alone when the process is ending. Then every other
// thread is already gone, perhaps while holding one of the engine's locks,
// and a teardown could hang the exit; the system reclaims everything.
class EngineHolder {
 public:
  EngineHolder() : engine_(new (storage_) Engine) {}
  ~EngineHolder() {
    if (!platform::ProcessExiting()) engine_->~Engine();
  }
  EngineHolder(const EngineHolder&) = delete;
  EngineHolder& operator=(const EngineHolder&) = delete;

  Engine& engine() { return *engine_; }

 private:
  alignas(Engine) unsigned char storage_[sizeof(Engine)];
  Engine* engine_;
};

EngineHolder g_engine;

}  // namespace

Engine& TheEngine() { return g_engine.engine(); }

}  // namespace kv

using kv::TheEngine;

extern "C" {

KV_EXPORT int32_t KV_CDECL kvSetScanMode(int32_t mode) {
  return kv::Guarded(0, [mode] { return TheEngine().SetScanMode(mode); });
}

KV_EXPORT int32_t KV_CDECL kvPauseScan(void) {
  return kv::Guarded(0, [] { return TheEngine().PauseScan(); });
}

KV_EXPORT int32_t KV_CDECL kvResumeScan(void) {
  return kv::Guarded(0, [] { return TheEngine().ResumeScan(); });
}

KV_EXPORT int32_t KV_CDECL kvStopScan(void) {
  return kv::Guarded(0, [] { return TheEngine().StopScan(); });
}

KV_EXPORT int32_t KV_CDECL kvImmediateExit(void) {
  return kv::Guarded(0, [] { return TheEngine().ImmediateExit(); });
}

KV_EXPORT int32_t KV_CDECL kvVerifyDAT(const char* path) {
  return kv::GuardedStatus([path] {
    if (path == nullptr) return kv::Status::kCannotOpen;
    return kv::ReadDataFile(path, kv::DateCheck::kLast, nullptr);
  });
}

}  // extern "C"
