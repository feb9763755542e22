// Crc32Update against its references on the same bytes: zlib's crc32 and a
// one-byte table loop. Each of the engine's methods runs on its own too, so
// that the portable one is measured on a machine that would pick the other.
// Lengths: the 2,047-byte head the fingerprint hashes, 1 MiB, and a few
// short ones, where a method's set-up costs show.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "common/crc32.h"
#include "common/crc32_methods.h"

namespace kv {
namespace {

const std::vector<uint8_t>& Bytes() {
  static const std::vector<uint8_t> bytes = [] {
    std::mt19937 random(15);
    std::vector<uint8_t> made(1 << 20);
    for (uint8_t& byte : made) byte = static_cast<uint8_t>(random());
    return made;
  }();
  return bytes;
}

uint32_t ByteLoopUpdate(uint32_t state, const uint8_t* bytes, size_t length) {
  static constexpr std::array<uint32_t, 256> kTable = [] {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t value = i;
      for (int bit = 0; bit < 8; ++bit) value = (value >> 1) ^ ((value & 1u) ? 0xEDB88320u : 0);
      table[i] = value;
    }
    return table;
  }();
  for (size_t i = 0; i < length; ++i) state = kTable[(state ^ bytes[i]) & 0xFFu] ^ (state >> 8);
  return state;
}

// Runs `update(state, bytes, length)` over the first state.range(0) bytes.
template <typename Update>
void TimeCrc(benchmark::State& state, Update update) {
  const auto length = static_cast<size_t>(state.range(0));
  const uint8_t* bytes = Bytes().data();
  for (auto _ : state) {
    uint32_t crc = update(kCrc32Start, bytes, length);
    benchmark::DoNotOptimize(crc);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * length));
}

void Crc32Update_Engine(benchmark::State& state) {
  TimeCrc(state, [](uint32_t crc, const uint8_t* bytes, size_t length) {
    return Crc32Update(crc, bytes, length);
  });
}

void Crc32Update_Method(benchmark::State& state, Crc32Method method) {
  if (!Crc32MethodAvailable(method)) {
    state.SkipWithError("not available on this processor");
    return;
  }
  TimeCrc(state, [method](uint32_t crc, const uint8_t* bytes, size_t length) {
    return Crc32UpdateWith(method, crc, bytes, length);
  });
}

void Crc32Update_Slicing(benchmark::State& state) {
  Crc32Update_Method(state, Crc32Method::kSlicing);
}

void Crc32Update_Carryless(benchmark::State& state) {
  Crc32Update_Method(state, Crc32Method::kCarrylessMultiply);
}

// zlib takes and returns the finished CRC; the complements are part of its
// cost as they are of any caller's.
void Crc32_Zlib(benchmark::State& state) {
  TimeCrc(state, [](uint32_t crc, const uint8_t* bytes, size_t length) {
    return static_cast<uint32_t>(crc32(~crc, bytes, static_cast<uInt>(length)));
  });
}

void Crc32_ByteLoop(benchmark::State& state) { TimeCrc(state, ByteLoopUpdate); }

void Lengths(benchmark::internal::Benchmark* benchmark) {
  for (int64_t length : {16, 64, 256, 2047, 1 << 20}) benchmark->Arg(length);
}

BENCHMARK(Crc32Update_Engine)->Apply(Lengths);
BENCHMARK(Crc32Update_Carryless)->Apply(Lengths);
BENCHMARK(Crc32Update_Slicing)->Apply(Lengths);
BENCHMARK(Crc32_Zlib)->Apply(Lengths);
BENCHMARK(Crc32_ByteLoop)->Apply(Lengths);

}  // namespace
}  // namespace kv
