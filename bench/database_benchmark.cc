// Signature database benchmarks: loading a generated KVFILE.DAT of a million
// signatures (time, memory held and peak memory per signature), FindPest on
// the hash path (rate for hits, complemented hits and misses, and
// allocations per lookup, which must be none), and tables built to defeat
// the PVT index (every PVT equal, or all sharing one home slot).
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "block_compressor.h"
#include "container.h"
#include "database/pest_database.h"
#include "support/signature_file.h"
#include "support/test_files.h"

// Every allocation through operator new is counted, and the bytes it holds
// tracked, with their high-water mark.
namespace {
std::atomic<uint64_t> g_allocations{0};
std::atomic<size_t> g_live_bytes{0};
std::atomic<size_t> g_peak_bytes{0};

void* Counted(void* p) {
  if (p == nullptr) return p;
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  const size_t size = malloc_usable_size(p);
  const size_t live = g_live_bytes.fetch_add(size, std::memory_order_relaxed) + size;
  size_t peak = g_peak_bytes.load(std::memory_order_relaxed);
  while (live > peak && !g_peak_bytes.compare_exchange_weak(peak, live)) {
  }
  return p;
}

void Release(void* p) {
  if (p != nullptr) g_live_bytes.fetch_sub(malloc_usable_size(p), std::memory_order_relaxed);
  std::free(p);
}
}  // namespace

void* operator new(size_t size) {
  if (void* p = Counted(std::malloc(size == 0 ? 1 : size))) return p;
  throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  return Counted(std::malloc(size == 0 ? 1 : size));
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* p) noexcept { Release(p); }
void operator delete(void* p, size_t) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete[](void* p, size_t) noexcept { Release(p); }

namespace kv {
namespace {

using test::SignatureRecord;

constexpr int kSignatures = 1'000'000;
constexpr uint32_t kHour = 60 * 60 * 1000;

struct GeneratedFile {
  test::TempFolder folder;
  std::string path = folder.File("KVFILE.DAT");
  std::vector<uint32_t> pvts;
  double average_name_bytes = 0;  // with the terminator
};

// A million signatures in ascending size (runs of four), random PVTs, names
// like "Trojan.Family123.Variant4567", compressed by the block compressor at
// its default level as kvdat would, so that a load expands a real stream.
const GeneratedFile& File() {
  static GeneratedFile* file = [] {
    auto* generated = new GeneratedFile;
    std::mt19937 random(2026);
    std::vector<test::SignatureRecord> records;
    records.reserve(kSignatures);
    size_t name_bytes = 0;
    for (int i = 0; i < kSignatures; ++i) {
      const uint32_t pvt = static_cast<uint32_t>(random()) | 1u;
      std::string name = "Trojan.Family" + std::to_string(i % 977) + ".Variant" + std::to_string(i);
      name_bytes += name.size() + 1;
      records.push_back({.pest_id = static_cast<uint32_t>(i + 1),
                         .pvt = pvt,
                         .file_size = 1000 + static_cast<uint32_t>(i / 4),
                         .name = std::move(name),
                         .gap_length = 4});
      generated->pvts.push_back(pvt);
    }
    generated->average_name_bytes = static_cast<double>(name_bytes) / kSignatures;
    const test::Bytes block = compressor::CompressBlock(test::SignaturePayload(records));
    test::WriteFileBytes(generated->path,
                         datwriter::MakeContainer(block, static_cast<uint32_t>(records.size())));
    return generated;
  }();
  return *file;
}

// Standard output goes to /dev/null while the statistics lines are written.
class QuietStdout {
 public:
  QuietStdout() {
    std::fflush(stdout);
    saved_ = ::dup(1);
    std::FILE* null = std::fopen("/dev/null", "w");
    ::dup2(::fileno(null), 1);
    std::fclose(null);
  }
  ~QuietStdout() {
    std::fflush(stdout);
    ::dup2(saved_, 1);
    ::close(saved_);
  }

 private:
  int saved_;
};

void BM_LoadMillionSignatures(benchmark::State& state) {
  const GeneratedFile& file = File();
  double bytes_per_signature = 0;
  double peak_bytes_per_signature = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto database = std::make_unique<PestDatabase>(kHour, kHour);
    const size_t before = mallinfo2().uordblks;
    const size_t live_before = g_live_bytes.load();
    g_peak_bytes.store(live_before);
    state.ResumeTiming();
    Status status;
    {
      QuietStdout quiet;
      status = database->LoadSignatures(file.path.c_str());
    }
    state.PauseTiming();
    if (status != Status::kOk || database->SignatureCount() != kSignatures) {
      state.SkipWithError("load failed");
      break;
    }
    bytes_per_signature = static_cast<double>(mallinfo2().uordblks - before) / kSignatures;
    // The file's image, the expanded payload and the table at once.
    peak_bytes_per_signature = static_cast<double>(g_peak_bytes.load() - live_before) / kSignatures;
    database.reset();
    state.ResumeTiming();
  }
  state.counters["bytes_per_signature"] = bytes_per_signature;
  state.counters["name_bytes_per_signature"] = file.average_name_bytes;
  state.counters["bytes_besides_name"] = bytes_per_signature - file.average_name_bytes;
  state.counters["peak_bytes_per_signature"] = peak_bytes_per_signature;
  state.counters["file_bytes_per_signature"] =
      static_cast<double>(std::filesystem::file_size(file.path)) / kSignatures;
  state.SetItemsProcessed(state.iterations() * kSignatures);
}
BENCHMARK(BM_LoadMillionSignatures)->Unit(benchmark::kMillisecond)->Iterations(5);

// The table alone, built from a payload already decoded: the part of a load
// that is this database's own, without the container's read, check word and
// block expansion.
// Times building a table of `count` records from `payload`; freeing each
// table is left out of the time.
void TimeTableBuilds(benchmark::State& state, const test::Bytes& payload, int32_t count) {
  for (auto _ : state) {
    std::unique_ptr<SignatureTable> table = SignatureTable::Build(payload, count);
    benchmark::DoNotOptimize(table.get());
    state.PauseTiming();
    table.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * count);
}

void BM_BuildMillionSignatureTable(benchmark::State& state) {
  static const test::Bytes payload = [] {
    std::vector<test::SignatureRecord> records;
    std::mt19937 random(2026);
    for (int i = 0; i < kSignatures; ++i) {
      records.push_back(
          {.pest_id = static_cast<uint32_t>(i + 1),
           .pvt = static_cast<uint32_t>(random()) | 1u,
           .file_size = 1000 + static_cast<uint32_t>(i / 4),
           .name = "Trojan.Family" + std::to_string(i % 977) + ".Variant" + std::to_string(i),
           .gap_length = 4});
    }
    return test::SignaturePayload(records);
  }();
  TimeTableBuilds(state, payload, kSignatures);
}
BENCHMARK(BM_BuildMillionSignatureTable)->Unit(benchmark::kMillisecond)->Iterations(5);

// Which keys FindPest is given: a stored PVT, the complement of one (found
// on the second probe), one that no signature has, or a mix of a quarter
// hits, a quarter complemented hits and half misses.
enum class Lookups { kHits, kComplementedHits, kMisses, kMixed };

void BM_FindPestHashPath(benchmark::State& state, Lookups lookups) {
  const GeneratedFile& file = File();
  PestDatabase database(kHour, kHour);
  {
    QuietStdout quiet;
    if (database.LoadSignatures(file.path.c_str()) != Status::kOk) {
      state.SkipWithError("load failed");
      return;
    }
  }
  // Stored PVTs are odd, so an even key is a miss unless it is the
  // complement of one; such keys are drawn again.
  std::mt19937 random(7);
  const auto draw_miss = [&] {
    uint32_t key = 0;
    do {
      key = static_cast<uint32_t>((random() & ~1u) | 2u);
    } while (database.Read().FindPest(key, 0xFFFFFFFFu, 0, 0) != nullptr);
    return key;
  };
  std::vector<uint32_t> keys;
  for (int i = 0; i < 4096; ++i) {
    const uint32_t pvt = file.pvts[random() % file.pvts.size()];
    const Lookups kind = lookups != Lookups::kMixed ? lookups
                         : i % 4 == 0               ? Lookups::kHits
                         : i % 4 == 1               ? Lookups::kComplementedHits
                                                    : Lookups::kMisses;
    if (kind == Lookups::kMisses) {
      keys.push_back(draw_miss());
    } else {
      keys.push_back(kind == Lookups::kHits ? pvt : ~pvt);
    }
  }
  size_t found = 0;
  const uint64_t allocations_before = g_allocations.load();
  size_t i = 0;
  for (auto _ : state) {
    const bool hit = database.Read().FindPest(keys[i++ & 4095], 0xFFFFFFFFu, 0, 0) != nullptr;
    benchmark::DoNotOptimize(hit);
    found += hit;
  }
  state.counters["allocations_per_lookup"] =
      static_cast<double>(g_allocations.load() - allocations_before) /
      static_cast<double>(state.iterations());
  state.counters["hit_ratio"] =
      static_cast<double>(found) / static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK_CAPTURE(BM_FindPestHashPath, hits, Lookups::kHits);
BENCHMARK_CAPTURE(BM_FindPestHashPath, complemented_hits, Lookups::kComplementedHits);
BENCHMARK_CAPTURE(BM_FindPestHashPath, misses, Lookups::kMisses);
BENCHMARK_CAPTURE(BM_FindPestHashPath, mixed, Lookups::kMixed);

// Hostile tables (see test::HostileSignatures): a sound PVT index builds
// them in time linear in n and answers every lookup in bounded time. The
// arguments are (kind, record count).
const std::vector<std::vector<int64_t>> kHostileArguments = {
    {static_cast<int64_t>(test::Hostile::kEqualPvts),
     static_cast<int64_t>(test::Hostile::kSameHomeSlot),
     static_cast<int64_t>(test::Hostile::kConsecutivePvts)},
    {20'000, 160'000}};

// The signature table alone.
void BM_BuildHostileTable(benchmark::State& state) {
  const auto kind = static_cast<test::Hostile>(state.range(0));
  const auto n = static_cast<uint32_t>(state.range(1));
  const test::Bytes payload = test::SignaturePayload(test::HostileSignatures(kind, n));
  TimeTableBuilds(state, payload, static_cast<int32_t>(n));
}
BENCHMARK(BM_BuildHostileTable)
    ->ArgsProduct(kHostileArguments)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// Lookups in a hostile table: the last record's PVT, then a miss whose home
// slot lies inside the records' cluster.
void BM_LookupHostileTable(benchmark::State& state) {
  const auto kind = static_cast<test::Hostile>(state.range(0));
  const auto n = static_cast<uint32_t>(state.range(1));
  const std::vector<SignatureRecord> records = test::HostileSignatures(kind, n);
  const std::unique_ptr<SignatureTable> table =
      SignatureTable::Build(test::SignaturePayload(records), static_cast<int32_t>(n));
  const uint32_t hit = records.back().pvt;
  const uint32_t miss = hit + 1;
  for (auto _ : state) {
    benchmark::DoNotOptimize(table->LookupPVT(hit));
    benchmark::DoNotOptimize(table->LookupPVT(miss));
  }
  state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_LookupHostileTable)->ArgsProduct(kHostileArguments);

}  // namespace
}  // namespace kv

BENCHMARK_MAIN();
