// Whole-file reads and all-or-nothing writes for kvdat.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace kv::kvdat {

// Throws std::runtime_error naming the file when it cannot be read.
std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path);

// Writes to a temporary file beside `path` and renames it over `path`, so
// readers see the old file or the new one, never a part. Throws
// std::runtime_error on failure, leaving nothing behind.
void WriteFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes);

}  // namespace kv::kvdat
