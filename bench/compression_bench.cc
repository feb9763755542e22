// Compressed size against gzip -9 and throughput of the block compressor on
// the sample database's payloads, a generated payload of 100,000 signature
// records and the contents of the original compressor's blocks.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "block_compressor.h"
#include "database/block_decoder.h"
#include "database/data_file.h"
#include "signature_payload.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct Input {
  std::string name;
  Bytes bytes;
  size_t original_block = 0;  // size the original compressor reached, if known
  bool signatures = false;    // held to 1.00 x gzip -9
};

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// gzip -9: deflate at level 9 with the gzip wrapper.
size_t GzipSize(const Bytes& input) {
  z_stream stream{};
  deflateInit2(&stream, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
  Bytes output(deflateBound(&stream, input.size()));
  stream.next_in = const_cast<Bytef*>(input.data());
  stream.avail_in = static_cast<uInt>(input.size());
  stream.next_out = output.data();
  stream.avail_out = static_cast<uInt>(output.size());
  deflate(&stream, Z_FINISH);
  const size_t size = stream.total_out;
  deflateEnd(&stream);
  return size;
}

Bytes DataFilePayload(const fs::path& path) {
  kv::DecodedDataFile decoded;
  if (kv::ReadDataFile(path.string().c_str(), kv::DateCheck::kLast, &decoded) != kv::Status::kOk) {
    throw std::runtime_error("cannot decode " + path.string());
  }
  return Bytes(decoded.payload.data(), decoded.payload.data() + decoded.payload.size());
}

std::vector<Input> LoadInputs() {
  std::vector<Input> inputs;
  inputs.push_back({"sample KVFILE.DAT payload",
                    DataFilePayload(fs::path(KV_BINARY_DIR) / "KVFILE.DAT"), 0, true});
  inputs.push_back({"sample KVINFO.DAT payload",
                    DataFilePayload(fs::path(KV_BINARY_DIR) / "KVINFO.DAT"), 0, false});
  inputs.push_back({"100,000 signature records",
                    kv::bench::GeneratedSignaturePayload(100000, 20260917), 0, true});
  for (const char* name : {"text.jc", "low-entropy.jc", "far-repeats.jc"}) {
    const Bytes block = ReadFile(fs::path(KV_SOURCE_DIR) / "tests/data/blocks" / name);
    Bytes contents(kv::GetUncompressedSize(block));
    if (kv::DecompressBlock(block, contents) == 0) {
      throw std::runtime_error(std::string("cannot decode ") + name);
    }
    inputs.push_back({name, std::move(contents), block.size(), false});
  }
  return inputs;
}

const std::vector<Input>& Inputs() {
  static const std::vector<Input> inputs = LoadInputs();
  return inputs;
}

void PrintSizeTable() {
  std::printf("%-28s %10s %10s %10s %9s %9s %9s %10s\n", "input", "bytes", "gzip -9", "level 6",
              "L1/gzip", "L6/gzip", "L9/gzip", "L6/orig");
  for (const Input& input : Inputs()) {
    const double gzip = static_cast<double>(GzipSize(input.bytes));
    const auto size = [&input](int level) {
      return static_cast<double>(kv::compressor::CompressBlock(input.bytes, {level, true}).size());
    };
    const double fast = size(1), normal = size(6), best = size(9);
    char original[32] = "-";
    if (input.original_block != 0) {
      std::snprintf(original, sizeof original, "%.4f", normal / input.original_block);
    }
    std::printf("%-28s %10zu %10.0f %10.0f %9.4f %9.4f %9.4f %10s\n", input.name.c_str(),
                input.bytes.size(), gzip, normal, fast / gzip, normal / gzip, best / gzip,
                original);
  }
  std::fflush(stdout);
}

void Compress(benchmark::State& state, size_t index, int level) {
  const Input& input = Inputs()[index];
  size_t size = 0;
  for (auto _ : state) {
    const Bytes block = kv::compressor::CompressBlock(input.bytes, {level, true});
    size = block.size();
    benchmark::DoNotOptimize(block.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.bytes.size()));
  state.counters["bytes"] = static_cast<double>(size);
  state.counters["vs_gzip9"] =
      static_cast<double>(size) / static_cast<double>(GzipSize(input.bytes));
  if (input.original_block != 0) {
    state.counters["vs_original"] =
        static_cast<double>(size) / static_cast<double>(input.original_block);
  }
}

void Gzip9(benchmark::State& state, size_t index) {
  const Input& input = Inputs()[index];
  for (auto _ : state) benchmark::DoNotOptimize(GzipSize(input.bytes));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  PrintSizeTable();
  for (size_t i = 0; i < Inputs().size(); ++i) {
    for (int level : {1, 6, 9}) {
      benchmark::RegisterBenchmark(
          (Inputs()[i].name + "/level " + std::to_string(level)).c_str(),
          [i, level](benchmark::State& state) { Compress(state, i, level); })
          ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark((Inputs()[i].name + "/gzip -9").c_str(),
                                 [i](benchmark::State& state) { Gzip9(state, i); })
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
