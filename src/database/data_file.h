// The container shared by KVFILE.DAT and KVINFO.DAT: a 512-byte header, then
// a scrambled compressed block. docs/data-file-format.md describes the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/byte_buffer.h"
#include "common/container_format.h"
#include "database/dat_status.h"

namespace kv {

// Payloads above this size are refused as out of memory before anything is
// allocated: no real signature database comes near it, and a hostile header
// must not make the engine reserve gigabytes.
inline constexpr uint32_t kMaxPayloadSize = 1u << 30;

// Where the fixed format date is tested. The table loaders test it right
// after the magic; verification tests it after the whole block decoded, so
// a file wrong in both date and check word reads 4 to a loader and 3 to a
// verifier.
enum class DateCheck { kBeforeCheckWord, kLast };

struct DecodedDataFile {
  ByteBuffer payload;        // the expanded block, exactly its declared size
  int32_t record_count = 0;  // as the header states it; not yet validated
};

// Unscrambles a body in place: each stored byte minus the stored byte before
// it, XOR 0xB5; the first XOR 0xA6. Returns the number of bytes processed.
size_t DescrambleBlock(std::span<uint8_t> body);

// Checks and decodes a whole file image held in memory; the body is
// unscrambled in place. `out` may be null when only the status matters.
DatStatus DecodeDataFile(std::span<uint8_t> image, DateCheck date_check, DecodedDataFile* out);

// Reads the file at `path` with one read and decodes it. `file_size`, when
// given, receives the low 32 bits of the file's size as soon as the file is
// open, whatever the outcome afterwards.
DatStatus ReadDataFile(const char* path, DateCheck date_check, DecodedDataFile* out,
                       uint32_t* file_size = nullptr);

}  // namespace kv
