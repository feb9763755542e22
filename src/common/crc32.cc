// CRC-32 two ways: table-driven, eight bytes per step (slicing-by-8), on any
// processor; and, on x86-64 processors with carry-less multiplication,
// folding 64 bytes per step with PCLMULQDQ, the tables finishing the last
// few bytes. Crc32Update picks the second once the processor is known to
// have the instruction; both give the same state for the same bytes.
#include "common/crc32.h"

#include <array>

#include "common/byte_order.h"
#include "common/crc32_methods.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define KV_CRC32_CARRYLESS 1
#include <cpuid.h>
#include <immintrin.h>
#else
#define KV_CRC32_CARRYLESS 0
#endif

namespace kv {
namespace {

using Crc32Tables = std::array<std::array<uint32_t, 256>, 8>;

// tables[0] is the classic byte table; tables[k][i] is the state after
// feeding byte i followed by k zero bytes.
constexpr Crc32Tables MakeCrc32Tables() {
  Crc32Tables tables{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t value = i;
    for (int bit = 0; bit < 8; ++bit) {
      value = (value & 1u) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
    }
    tables[0][i] = value;
  }
  for (size_t k = 1; k < 8; ++k) {
    for (uint32_t i = 0; i < 256; ++i) {
      const uint32_t before = tables[k - 1][i];
      tables[k][i] = tables[0][before & 0xFFu] ^ (before >> 8);
    }
  }
  return tables;
}

constexpr Crc32Tables kCrc32Tables = MakeCrc32Tables();

uint32_t UpdateSlicing(uint32_t state, const uint8_t* bytes, size_t length) {
  const auto& t = kCrc32Tables;
  for (; length >= 8; length -= 8, bytes += 8) {
    const uint32_t low = LoadLe32(bytes) ^ state;
    const uint32_t high = LoadLe32(bytes + 4);
    state = t[7][low & 0xFFu] ^ t[6][(low >> 8) & 0xFFu] ^ t[5][(low >> 16) & 0xFFu] ^
            t[4][low >> 24] ^ t[3][high & 0xFFu] ^ t[2][(high >> 8) & 0xFFu] ^
            t[1][(high >> 16) & 0xFFu] ^ t[0][high >> 24];
  }
  // At most 7 bytes are left: one step of four, then single bytes.
  if (length >= 4) {
    const uint32_t word = LoadLe32(bytes) ^ state;
    state = t[3][word & 0xFFu] ^ t[2][(word >> 8) & 0xFFu] ^ t[1][(word >> 16) & 0xFFu] ^
            t[0][word >> 24];
    bytes += 4;
    length -= 4;
  }
  for (; length > 0; --length, ++bytes) {
    state = t[0][(state ^ *bytes) & 0xFFu] ^ (state >> 8);
  }
  return state;
}

#if KV_CRC32_CARRYLESS

// Folding needs four 16-byte lanes to start.
constexpr size_t kFoldStart = 64;

bool ProcessorHasCarrylessMultiply() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  return __get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0 && (ecx & bit_PCLMUL) != 0;
}

// Asked once: the answer cannot change while the program runs.
bool HasCarrylessMultiply() {
  static const bool has = ProcessorHasCarrylessMultiply();
  return has;
}

#define KV_CARRYLESS_TARGET __attribute__((target("pclmul,sse2")))

// Multiplies the two 64-bit halves of `lane` by the two halves of `factors`
// (each a power of x modulo the polynomial, bit-reflected) and adds `next`:
// the lane moved forward over the distance the factors stand for.
KV_CARRYLESS_TARGET inline __m128i FoldLane(__m128i lane, __m128i factors, __m128i next) {
  const __m128i low = _mm_clmulepi64_si128(lane, factors, 0x00);
  const __m128i high = _mm_clmulepi64_si128(lane, factors, 0x11);
  return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

// Feeds `length` bytes, at least kFoldStart and a multiple of 16, into
// `state`. Four lanes of 16 bytes move forward 64 bytes at a time, are then
// folded into one that takes the rest 16 bytes at a time, and the 128 bits
// left are reduced to the 32-bit state (Barrett reduction). The constants
// are x^k mod P(x) for the distances folded, bit-reflected, and P(x) with
// its Barrett quotient; P(x) is 0x104C11DB7, reflected 0x1DB710641.
KV_CARRYLESS_TARGET uint32_t FoldCarryless(uint32_t state, const uint8_t* bytes, size_t length) {
  const auto load = [](const uint8_t* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  };
  const __m128i fold_64 = _mm_set_epi64x(0x01C6E41596, 0x0154442BD4);
  const __m128i fold_16 = _mm_set_epi64x(0x00CCAA009E, 0x01751997D0);
  const __m128i fold_to_32 = _mm_set_epi64x(0, 0x0163CD6124);
  const __m128i polynomial = _mm_set_epi64x(0x01F7011641, 0x01DB710641);
  const __m128i low_32_bits = _mm_setr_epi32(~0, 0, ~0, 0);

  __m128i lane0 = _mm_xor_si128(load(bytes), _mm_cvtsi32_si128(static_cast<int>(state)));
  __m128i lane1 = load(bytes + 16);
  __m128i lane2 = load(bytes + 32);
  __m128i lane3 = load(bytes + 48);
  bytes += 64;
  length -= 64;
  for (; length >= 64; bytes += 64, length -= 64) {
    lane0 = FoldLane(lane0, fold_64, load(bytes));
    lane1 = FoldLane(lane1, fold_64, load(bytes + 16));
    lane2 = FoldLane(lane2, fold_64, load(bytes + 32));
    lane3 = FoldLane(lane3, fold_64, load(bytes + 48));
  }
  __m128i folded = FoldLane(lane0, fold_16, lane1);
  folded = FoldLane(folded, fold_16, lane2);
  folded = FoldLane(folded, fold_16, lane3);
  for (; length >= 16; bytes += 16, length -= 16) {
    folded = FoldLane(folded, fold_16, load(bytes));
  }

  // The 128 bits down to 64 with the same remainder: the low 64 bits folded
  // onto the high ones, then the low 32 onto the rest.
  folded = _mm_xor_si128(_mm_srli_si128(folded, 8), _mm_clmulepi64_si128(folded, fold_16, 0x10));
  folded = _mm_xor_si128(_mm_srli_si128(folded, 4),
                         _mm_clmulepi64_si128(_mm_and_si128(folded, low_32_bits), fold_to_32, 0));
  // Barrett reduction to the 32-bit remainder, which lands in bits 32..63.
  __m128i quotient = _mm_clmulepi64_si128(_mm_and_si128(folded, low_32_bits), polynomial, 0x10);
  quotient = _mm_clmulepi64_si128(_mm_and_si128(quotient, low_32_bits), polynomial, 0x00);
  folded = _mm_xor_si128(folded, quotient);
  return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(folded, 4)));
}

uint32_t UpdateCarryless(uint32_t state, const uint8_t* bytes, size_t length) {
  if (length >= kFoldStart) {
    const size_t folded = length & ~size_t{15};
    state = FoldCarryless(state, bytes, folded);
    bytes += folded;
    length -= folded;
  }
  return UpdateSlicing(state, bytes, length);
}

#endif  // KV_CRC32_CARRYLESS

}  // namespace

uint32_t Crc32Update(uint32_t state, const void* data, size_t length) {
  const auto* bytes = static_cast<const uint8_t*>(data);
#if KV_CRC32_CARRYLESS
  if (length >= kFoldStart && HasCarrylessMultiply()) {
    return UpdateCarryless(state, bytes, length);
  }
#endif
  return UpdateSlicing(state, bytes, length);
}

bool Crc32MethodAvailable(Crc32Method method) {
  switch (method) {
    case Crc32Method::kSlicing:
      return true;
    case Crc32Method::kCarrylessMultiply:
#if KV_CRC32_CARRYLESS
      return HasCarrylessMultiply();
#else
      return false;
#endif
  }
  return false;
}

uint32_t Crc32UpdateWith(Crc32Method method, uint32_t state, const void* data, size_t length) {
  const auto* bytes = static_cast<const uint8_t*>(data);
#if KV_CRC32_CARRYLESS
  if (method == Crc32Method::kCarrylessMultiply && HasCarrylessMultiply()) {
    return UpdateCarryless(state, bytes, length);
  }
#endif
  static_cast<void>(method);
  return UpdateSlicing(state, bytes, length);
}

}  // namespace kv
