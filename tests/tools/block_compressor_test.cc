// Block compressor: every output expands back through the engine's decoder,
// on a table of inputs that favour each code kind, at every level.
#include "block_compressor.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

#include "common/byte_order.h"
#include "database/block_decoder.h"
#include "support/test_files.h"

namespace kv {
namespace {

using compressor::CompressBlock;
using compressor::CompressOptions;
using test::Bytes;

Bytes Random(size_t size, uint32_t seed, int low = 0, int high = 255) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> byte(low, high);
  Bytes bytes(size);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(byte(random));
  return bytes;
}

Bytes Text(size_t size) {
  static const char* kWords[] = {"the ",   "engine ",  "reads ", "signature ", "files ", "and ",
                                 "finds ", "pests ",   "by ",    "their ",     "PVT. ",  "Each ",
                                 "block ", "expands ", "into ",  "records.\n"};
  std::mt19937 random(7);
  std::string text;
  while (text.size() < size) text += kWords[random() % 16];
  text.resize(size);
  return Bytes(text.begin(), text.end());
}

Bytes Concatenate(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// Copies of the original compressor's blocks expanded by our decoder.
Bytes OriginalContents(const std::string& name) {
  const Bytes block = test::ReadFileBytes(test::TestDataPath("blocks/" + name));
  Bytes contents(GetUncompressedSize(block));
  if (DecompressBlock(block, contents) == 0) contents.clear();
  return contents;
}

struct InputCase {
  const char* name;
  std::function<Bytes()> make;
};
void PrintTo(const InputCase& c, std::ostream* os) { *os << c.name; }

Bytes Expand(const Bytes& block) {
  Bytes output(GetUncompressedSize(block));
  const size_t written = DecompressBlock(block, output);
  if (written != output.size()) return {0xDE, 0xAD};
  return output;
}

class RoundTrip : public testing::TestWithParam<InputCase> {};

TEST_P(RoundTrip, DecodesAtEveryLevel) {
  const Bytes input = GetParam().make();
  ASSERT_FALSE(input.empty());
  for (int level = compressor::kFastestLevel; level <= compressor::kBestLevel; level += 4) {
    const Bytes block = CompressBlock(input, {level, true});
    ASSERT_GE(block.size(), kBlockHeaderSize + 4);
    EXPECT_EQ((block.size() - kBlockHeaderSize) % 4, 0u);
    EXPECT_EQ(LoadLe32(&block[6]), BlockChecksum(input));
    EXPECT_EQ(Expand(block), input) << "level " << level;
  }
}

TEST_P(RoundTrip, IsDeterministicAndSurvivesReencoding) {
  const Bytes input = GetParam().make();
  const Bytes block = CompressBlock(input);
  EXPECT_EQ(CompressBlock(input), block);
  EXPECT_EQ(Expand(CompressBlock(Expand(block), {compressor::kBestLevel, true})), input);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, RoundTrip,
    testing::Values(
        InputCase{"OneByte", [] { return Bytes{0x41}; }},
        InputCase{"TwoBytes",
                  [] {
                    return Bytes{0x00, 0xFF};
                  }},
        InputCase{"ThreeBytes",
                  [] {
                    return Bytes{1, 1, 1};
                  }},
        InputCase{"FourBytes",
                  [] {
                    return Bytes{'a', 'b', 'c', 'd'};
                  }},
        InputCase{"ZeroRun", [] { return Bytes(100000, 0); }},
        InputCase{"ByteRun", [] { return Bytes(70001, 0x41); }},
        InputCase{"RandomFavoursRawRuns", [] { return Random(300000, 1); }},
        InputCase{"Text", [] { return Text(200000); }},
        InputCase{"SparseZeroBytes",
                  [] {
                    Bytes b = Random(20000, 2);
                    for (size_t i = 0; i < b.size(); i += 3) b[i] = 0;
                    return b;
                  }},
        InputCase{"OneByteCopies",
                  [] {  // few distinct bytes, no longer repeats
                    Bytes b = Random(20000, 3, 0x30, 0x33);
                    return b;
                  }},
        InputCase{"ShortMatches",
                  [] {
                    Bytes b;
                    const Bytes noise = Random(40000, 4);
                    for (size_t i = 0; i + 3 < noise.size(); i += 4) {
                      b.insert(b.end(), noise.begin() + i, noise.begin() + i + 4);
                      if (b.size() > 40) b.insert(b.end(), b.end() - 37, b.end() - 34);
                    }
                    return b;
                  }},
        InputCase{"RepeatedOffsets",
                  [] {  // records of 48 bytes that differ in a few fields
                    Bytes b = Random(48, 5);
                    std::mt19937 random(6);
                    for (int i = 0; i < 5000; ++i) {
                      Bytes next(b.end() - 48, b.end());
                      next[random() % 48] = static_cast<uint8_t>(random());
                      next[random() % 48] = static_cast<uint8_t>(random());
                      b.insert(b.end(), next.begin(), next.end());
                    }
                    return b;
                  }},
        InputCase{"FarRepeats",
                  [] {
                    const Bytes noise = Random(150000, 7);
                    return Concatenate({noise, Text(30000), noise});
                  }},
        InputCase{"SevenBitLiteralsWithBias", [] { return Random(50000, 8, 0xA0, 0xFF); }},
        InputCase{"MixedRegions",
                  [] {
                    return Concatenate({Text(50000), Random(50000, 9), Bytes(5000, 0),
                                        Random(30000, 10, 0x80, 0xBF), Text(20000)});
                  }},
        InputCase{"MoreThanOneMebibyte",
                  [] {
                    Bytes b;
                    for (int i = 0; b.size() < (1u << 20) + 4097; ++i) {
                      const Bytes part = i % 3 == 0 ? Random(7000, 100 + i) : Text(9000);
                      b.insert(b.end(), part.begin(), part.end());
                    }
                    return b;
                  }},
        InputCase{"OriginalText", [] { return OriginalContents("text.jc"); }},
        InputCase{"OriginalLowEntropy", [] { return OriginalContents("low-entropy.jc"); }},
        InputCase{"OriginalFarRepeats", [] { return OriginalContents("far-repeats.jc"); }}),
    [](const testing::TestParamInfo<InputCase>& info) { return info.param.name; });

TEST(BlockCompressor, EmptyInputIsAHeaderAndAnEndCode) {
  const Bytes block = CompressBlock({});
  ASSERT_EQ(block.size(), kBlockHeaderSize + 4);
  EXPECT_EQ(GetUncompressedSize(block), 0u);  // the size field is 0
  EXPECT_EQ(block[0], 'J');
  EXPECT_EQ(LoadLe32(&block[kBlockHeaderSize]), 0u);  // twelve 0 bits, then padding
}

TEST(BlockCompressor, ChecksumCanBeLeftOut) {
  const Bytes input = Text(5000);
  const Bytes block = CompressBlock(input, {compressor::kDefaultLevel, false});
  EXPECT_EQ(LoadLe32(&block[6]), 0u);
  EXPECT_EQ(Expand(block), input);
}

// The original compressor's own output for each of these contents is the
// size to beat.
class BeatsOriginalCompressor : public testing::TestWithParam<const char*> {};

TEST_P(BeatsOriginalCompressor, AtTheDefaultLevel) {
  const Bytes original =
      test::ReadFileBytes(test::TestDataPath(std::string("blocks/") + GetParam()));
  const Bytes contents = OriginalContents(GetParam());
  ASSERT_FALSE(contents.empty());
  EXPECT_LE(CompressBlock(contents).size(), original.size());
}

INSTANTIATE_TEST_SUITE_P(Blocks, BeatsOriginalCompressor,
                         testing::Values("text.jc", "low-entropy.jc", "far-repeats.jc"));

}  // namespace
}  // namespace kv
