// The engine's one vocabulary of results: every status code a host can see,
// with the values the public header gives them. Only the export shell turns
// a Status into the plain integer the host receives.
#pragma once

#include <cstdint>
#include <new>
#include <utility>

#include "kvserver.h"

namespace kv {

enum class Status : int32_t {
  kOk = 0,
  kCannotOpen = 2,
  kCorrupt = 3,
  kWrongFormatDate = 4,
  kOutOfMemory = 5,
  kWrongMagic = 6,
  kNeverInitialized = 9,
  kPestNotFound = 10,
};

static_assert(static_cast<int32_t>(Status::kOk) == KV_STATUS_OK);
static_assert(static_cast<int32_t>(Status::kCannotOpen) == KV_STATUS_CANNOT_OPEN);
static_assert(static_cast<int32_t>(Status::kCorrupt) == KV_STATUS_CORRUPT);
static_assert(static_cast<int32_t>(Status::kWrongFormatDate) == KV_STATUS_WRONG_DATE);
static_assert(static_cast<int32_t>(Status::kOutOfMemory) == KV_STATUS_OUT_OF_MEMORY);
static_assert(static_cast<int32_t>(Status::kWrongMagic) == KV_STATUS_WRONG_MAGIC);
static_assert(static_cast<int32_t>(Status::kNeverInitialized) == KV_STATUS_NEVER_INITIALIZED);
static_assert(static_cast<int32_t>(Status::kPestNotFound) == KV_STATUS_PEST_NOT_FOUND);

inline int32_t ToInt(Status status) { return static_cast<int32_t>(status); }

// Inside the engine, memory running out throws std::bad_alloc wherever it
// happens. It becomes a status in two places only: the export shell, and
// here, where a load reports how it went (a load on the watcher thread has no
// export above it). Runs `load`, which returns a Status; kOutOfMemory when an
// allocation in it failed.
template <typename Load>
Status StatusOfLoad(Load&& load) {
  try {
    return std::forward<Load>(load)();
  } catch (const std::bad_alloc&) {
    return Status::kOutOfMemory;
  }
}

// A short English description of a status value, for tools.
const char* DescribeStatus(int32_t status);

}  // namespace kv
