// The ways of computing a CRC-32 that Crc32Update chooses between, named so
// that tests and benchmarks can run each one on any input.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kv {

enum class Crc32Method {
  // Eight table lookups per 8 bytes; runs on any processor.
  kSlicing,
  // Carry-less multiplication (PCLMULQDQ) folding 64 bytes per step, with
  // the tables for what remains; x86-64 processors that have the instruction.
  kCarrylessMultiply,
};

// True when this build and this processor can run `method`.
bool Crc32MethodAvailable(Crc32Method method);

// Crc32Update computed by `method`; a method that is not available falls
// back to kSlicing. Every method returns the same state for the same input.
uint32_t Crc32UpdateWith(Crc32Method method, uint32_t state, const void* data, size_t length);

}  // namespace kv
