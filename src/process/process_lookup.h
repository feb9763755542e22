// kvGetProcessFilename: the executable path of a running process.
#pragma once

#include <cstdint>

namespace kv {

// Takes a fresh inventory of the running processes and copies the path of
// the one with `process_id` into `buffer` (room for `size` characters and a
// NUL). Returns the path's length; 0 with an empty buffer when no listed
// process has the id; -1 when the buffer is null (untouched), the inventory
// cannot be taken (untouched) or the path is longer than `size` (empty).
int32_t GetProcessFilename(uint32_t process_id, char* buffer, uint32_t size);

}  // namespace kv
