// The engine's one vocabulary of results: every status code a host can see,
// with the values the public header gives them. Only the export shell turns
// a Status into the plain integer the host receives.
#pragma once

#include <cstdint>

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

// A short English description of a status value, for tools.
const char* DescribeStatus(int32_t status);

}  // namespace kv
