// Signature database benchmarks: loading a generated KVFILE.DAT of a million
// signatures (time and memory per signature), FindPest on the hash path
// (rate, and allocations per lookup, which must be none), and tables built to
// defeat the PVT index (every PVT equal, or all sharing one home slot).
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "block_compressor.h"
#include "container.h"
#include "database/pest_database.h"
#include "support/signature_file.h"
#include "support/test_files.h"

// Every allocation through operator new is counted.
namespace {
std::atomic<uint64_t> g_allocations{0};
}  // namespace

void* operator new(size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }

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
  for (auto _ : state) {
    state.PauseTiming();
    auto database = std::make_unique<PestDatabase>(kHour, kHour);
    const size_t before = mallinfo2().uordblks;
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
    database.reset();
    state.ResumeTiming();
  }
  state.counters["bytes_per_signature"] = bytes_per_signature;
  state.counters["name_bytes_per_signature"] = file.average_name_bytes;
  state.counters["bytes_besides_name"] = bytes_per_signature - file.average_name_bytes;
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

void BM_FindPestHashPath(benchmark::State& state) {
  const GeneratedFile& file = File();
  PestDatabase database(kHour, kHour);
  {
    QuietStdout quiet;
    if (database.LoadSignatures(file.path.c_str()) != Status::kOk) {
      state.SkipWithError("load failed");
      return;
    }
  }
  // Half hits (as stored or complemented), half misses.
  std::vector<uint32_t> keys;
  std::mt19937 random(7);
  for (int i = 0; i < 4096; ++i) {
    const uint32_t pvt = file.pvts[random() % file.pvts.size()];
    const auto miss = static_cast<uint32_t>((random() & ~1u) | 2u);
    keys.push_back(i % 4 == 0 ? pvt : i % 4 == 1 ? ~pvt : miss);
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
BENCHMARK(BM_FindPestHashPath);

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
