// The container that KVFILE.DAT and KVINFO.DAT share, as the engine reads it
// and the tools write it: a 512-byte header, then a compressed block stored
// scrambled. docs/data-file-format.md describes the bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kv {

inline constexpr size_t kContainerHeaderSize = 512;
inline constexpr uint8_t kContainerMagic[4] = {'P', 'E', 'S', 'T'};
// CRC-32 of the body as stored (still scrambled), XOR the mask.
inline constexpr size_t kCheckWordOffset = 4;
inline constexpr uint32_t kCheckWordMask = 0x5D0A3C61u;
// Every file carries this one date, 2002-09-17 00:00 as a FILETIME.
inline constexpr size_t kFormatDateOffset = 20;
inline constexpr uint32_t kFormatDateLow = 0x2A61C000u;
inline constexpr uint32_t kFormatDateHigh = 0x01C25DDDu;
inline constexpr size_t kRecordCountOffset = 32;

// Scrambling, byte by byte in order: the first stored byte is the plain one
// XOR kScrambleFirstKey; each later one is (plain XOR kScrambleKey) plus the
// stored byte before it, modulo 256.
inline constexpr uint8_t kScrambleFirstKey = 0xA6;
inline constexpr uint8_t kScrambleKey = 0xB5;

}  // namespace kv
