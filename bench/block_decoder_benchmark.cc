// The block decoder in bytes of output per second, with zlib's inflate
// expanding the same content (deflated at zlib's default level) as the
// reference. Inputs: a generated signature payload compressed by the block
// compressor, and the original compressor's own blocks.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "block_compressor.h"
#include "database/block_decoder.h"
#include "signature_payload.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct Input {
  std::string name;
  Bytes content;
  Bytes block;     // the content as a block
  Bytes deflated;  // the content as a zlib stream
};

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes Deflated(const Bytes& content) {
  uLongf size = compressBound(static_cast<uLong>(content.size()));
  Bytes deflated(size);
  if (compress2(deflated.data(), &size, content.data(), static_cast<uLong>(content.size()),
                Z_DEFAULT_COMPRESSION) != Z_OK) {
    throw std::runtime_error("deflate failed");
  }
  deflated.resize(size);
  return deflated;
}

std::vector<Input> LoadInputs() {
  std::vector<Input> inputs;
  Bytes payload = kv::bench::GeneratedSignaturePayload(100000, 20260917);
  Bytes block = kv::compressor::CompressBlock(payload);
  inputs.push_back({"100,000 signature records", std::move(payload), std::move(block), {}});
  for (const char* name : {"text.jc", "low-entropy.jc", "far-repeats.jc"}) {
    Bytes original = ReadFile(fs::path(KV_SOURCE_DIR) / "tests/data/blocks" / name);
    Bytes content(kv::GetUncompressedSize(original));
    if (kv::DecompressBlock(original, content) != content.size()) {
      throw std::runtime_error(std::string("cannot decode ") + name);
    }
    inputs.push_back({name, std::move(content), std::move(original), {}});
  }
  for (Input& input : inputs) input.deflated = Deflated(input.content);
  return inputs;
}

const std::vector<Input>& Inputs() {
  static const std::vector<Input> inputs = LoadInputs();
  return inputs;
}

void Report(benchmark::State& state, const Input& input, size_t compressed) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.content.size()));
  state.counters["output_bytes"] = static_cast<double>(input.content.size());
  state.counters["compressed_bytes"] = static_cast<double>(compressed);
}

void DecompressBlock(benchmark::State& state, size_t index) {
  const Input& input = Inputs()[index];
  Bytes output(input.content.size());
  for (auto _ : state) {
    if (kv::DecompressBlock(input.block, output) != output.size()) {
      state.SkipWithError("decode failed");
      return;
    }
    benchmark::DoNotOptimize(output.data());
  }
  Report(state, input, input.block.size());
}

// One whole inflate per round, as zlib's uncompress does it: set-up, the
// stream, the Adler-32 check, release.
void ZlibInflate(benchmark::State& state, size_t index) {
  const Input& input = Inputs()[index];
  Bytes output(input.content.size());
  for (auto _ : state) {
    z_stream stream{};
    stream.next_in = const_cast<Bytef*>(input.deflated.data());
    stream.avail_in = static_cast<uInt>(input.deflated.size());
    stream.next_out = output.data();
    stream.avail_out = static_cast<uInt>(output.size());
    const bool done = inflateInit(&stream) == Z_OK && inflate(&stream, Z_FINISH) == Z_STREAM_END &&
                      stream.total_out == output.size();
    inflateEnd(&stream);
    if (!done) {
      state.SkipWithError("inflate failed");
      return;
    }
    benchmark::DoNotOptimize(output.data());
  }
  Report(state, input, input.deflated.size());
}

// The arguments index LoadInputs' list.
BENCHMARK_CAPTURE(DecompressBlock, signature_records, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ZlibInflate, signature_records, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(DecompressBlock, text, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ZlibInflate, text, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(DecompressBlock, low_entropy, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ZlibInflate, low_entropy, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(DecompressBlock, far_repeats, 3)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ZlibInflate, far_repeats, 3)->Unit(benchmark::kMicrosecond);

}  // namespace
