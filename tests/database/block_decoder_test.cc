// Block decoder: every code kind from hand-built streams, malformed streams,
// and real blocks written by the format's original compressor.
#include "database/block_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <random>
#include <string>

#include "common/byte_order.h"
#include "support/bit_writer.h"
#include "support/test_files.h"

namespace kv {
namespace {

using test::BitWriter;
using test::Bytes;

Bytes MakeBlock(uint32_t declared_size, uint32_t checksum, const Bytes& stream) {
  Bytes block(kBlockHeaderSize + stream.size());
  block[0] = 'J';
  block[1] = 'C';
  StoreLe32(&block[2], declared_size);
  StoreLe32(&block[6], checksum);
  std::copy(stream.begin(), stream.end(), block.begin() + kBlockHeaderSize);
  return block;
}

// Decodes into a buffer of `capacity` bytes (the declared size by default).
std::optional<Bytes> Decode(const Bytes& block, std::optional<size_t> capacity = {}) {
  Bytes output(capacity.value_or(GetUncompressedSize(block)));
  const size_t written = DecompressBlock(block, output);
  if (written == 0) return std::nullopt;
  output.resize(written);
  return output;
}

Bytes Pattern(size_t size) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
  return bytes;
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

struct StreamCase {
  const char* name;
  std::function<void(BitWriter&)> codes;  // without the end code
  Bytes expected;
};
void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.name; }

class DecodesStream : public testing::TestWithParam<StreamCase> {};

TEST_P(DecodesStream, ToExpectedBytes) {
  const StreamCase& c = GetParam();
  BitWriter stream;
  c.codes(stream);
  stream.End();
  const Bytes block = MakeBlock(static_cast<uint32_t>(c.expected.size()), BlockChecksum(c.expected),
                                stream.Finish());
  const std::optional<Bytes> output = Decode(block);
  ASSERT_TRUE(output.has_value());
  EXPECT_EQ(*output, c.expected);
}

// A prefix of `size` known bytes written as raw runs, then one long match.
StreamCase LongMatchCase(const char* name, uint32_t offset, uint32_t copied) {
  const size_t prefix_size = (offset + 255) / 256 * 256;
  const Bytes prefix = Pattern(prefix_size);
  Bytes expected = prefix;
  for (uint32_t i = 0; i < copied; ++i) expected.push_back(expected[expected.size() - offset]);
  return {name,
          [prefix, offset](BitWriter& s) {
            s.RawRuns(prefix);
            s.LongMatch(offset, 2);
          },
          expected};
}

INSTANTIATE_TEST_SUITE_P(
    CodeKinds, DecodesStream,
    testing::Values(StreamCase{"EightBitLiterals",
                               [](BitWriter& s) {
                                 s.LiteralWidth8();
                                 s.Literal('A');
                                 s.Literal('B');
                                 s.Literal('C');
                               },
                               Text("ABC")},
                    StreamCase{"ShortMatchOffsetOneRepeatsByte",
                               [](BitWriter& s) {
                                 s.LiteralWidth8();
                                 s.Literal(0x41);
                                 s.ShortMatch(1, 5);
                               },
                               Bytes(6, 0x41)},
                    StreamCase{"BiasedSevenBitLiteralWrapsAt256",
                               [](BitWriter& s) {
                                 s.LiteralWidth7(0xF0);
                                 s.Literal(0x20, 7);
                               },
                               Bytes{0x10}},
                    StreamCase{"ZeroByteCodeIgnoresBias",
                               [](BitWriter& s) {
                                 s.LiteralWidth7(0x10);
                                 s.ZeroByte();
                                 s.Literal(0x01, 7);
                               },
                               Bytes{0x00, 0x11}},
                    StreamCase{"ChainedRawRunsIgnoreBias",
                               [](BitWriter& s) {
                                 s.LiteralWidth7(0x33);
                                 s.RawRuns(Pattern(512));
                               },
                               Pattern(512)},
                    StreamCase{"OneByteCopyKeepsLastOffset",
                               [](BitWriter& s) {
                                 s.LiteralWidth8();
                                 for (char ch : std::string("abcde"))
                                   s.Literal(static_cast<uint8_t>(ch));
                                 s.ShortMatch(3, 2);  // "cd", last offset 3
                                 s.OneByteCopy(5);    // "c"
                                 s.RepeatMatch(2);    // offset 3 again: "cd"
                               },
                               Text("abcdecdccd")},
                    StreamCase{"RepeatMatchStartsAtOffsetOne",
                               [](BitWriter& s) {
                                 s.LiteralWidth8();
                                 s.Literal('z');
                                 s.RepeatMatch(3);
                               },
                               Text("zzzz")},
                    StreamCase{"OffsetWidthChangesLongMatchSplit",
                               [](BitWriter& s) {
                                 s.RawRuns(Pattern(256));
                                 s.OffsetWidth(2, 5);
                                 s.LongMatch(35, 2, 5);  // g = 4, low bits 3: offset 35, +4
                               },
                               [] {
                                 Bytes b = Pattern(256);
                                 for (int i = 0; i < 6; ++i) b.push_back(b[b.size() - 35]);
                                 return b;
                               }()},
                    LongMatchCase("LongMatchOffset100AddsFour", 100, 6),
                    LongMatchCase("LongMatchOffset200AddsNothing", 200, 2),
                    LongMatchCase("LongMatchOffset638AddsNothing", 638, 2),
                    LongMatchCase("LongMatchOffset639AddsOne", 639, 3),
                    LongMatchCase("LongMatchOffset700AddsOne", 700, 3),
                    LongMatchCase("LongMatchOffset14335AddsTwo", 14335, 4),
                    LongMatchCase("LongMatchOffset20000AddsTwo", 20000, 4),
                    LongMatchCase("LongMatchOffset70000AddsThree", 70000, 5)),
    [](const testing::TestParamInfo<StreamCase>& info) { return info.param.name; });

struct CorruptCase {
  const char* name;
  uint32_t declared_size;
  std::function<void(BitWriter&)> codes;  // the whole stream
};
void PrintTo(const CorruptCase& c, std::ostream* os) { *os << c.name; }

class RejectsStream : public testing::TestWithParam<CorruptCase> {};

TEST_P(RejectsStream, WithZero) {
  const CorruptCase& c = GetParam();
  BitWriter stream;
  c.codes(stream);
  const Bytes block = MakeBlock(c.declared_size, 0, stream.Finish());
  EXPECT_FALSE(Decode(block).has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, RejectsStream,
    testing::Values(CorruptCase{"EndCodeFirstWritesNothing", 0, [](BitWriter& s) { s.End(); }},
                    CorruptCase{"LongMatchWithOffsetZero", 8,
                                [](BitWriter& s) {
                                  s.LiteralWidth8();
                                  s.Literal('x');
                                  s.LongMatch(0, 2);
                                  s.End();
                                }},
                    CorruptCase{"CopyFromBeforeOutputStart", 4,
                                [](BitWriter& s) {
                                  s.LiteralWidth8();
                                  s.Literal('a');
                                  s.Literal('b');
                                  s.ShortMatch(5, 2);
                                  s.End();
                                }},
                    CorruptCase{"OneByteCopyBeforeStart", 2,
                                [](BitWriter& s) {
                                  s.LiteralWidth8();
                                  s.Literal('a');
                                  s.OneByteCopy(3);
                                  s.End();
                                }},
                    CorruptCase{"OffsetWidthZero", 1,
                                [](BitWriter& s) {
                                  s.OffsetWidth(1, 0);
                                  s.LiteralWidth8();
                                  s.Literal('a');
                                  s.End();
                                }},
                    CorruptCase{"OffsetWidthOf32OrMore", 1,
                                [](BitWriter& s) {
                                  s.OffsetWidth(3, 40);
                                  s.LiteralWidth8();
                                  s.Literal('a');
                                  s.End();
                                }},
                    CorruptCase{"WritesMoreThanDeclared", 2,
                                [](BitWriter& s) {
                                  s.LiteralWidth8();
                                  for (int i = 0; i < 3; ++i) s.Literal('a');
                                  s.End();
                                }},
                    CorruptCase{"MatchLongerThanRoomLeft", 4,
                                [](BitWriter& s) {
                                  s.LiteralWidth8();
                                  s.Literal('a');
                                  s.RepeatMatch(40);
                                  s.End();
                                }},
                    CorruptCase{"RawRunLongerThanRoomLeft", 100,
                                [](BitWriter& s) {
                                  s.RawRuns(Pattern(256));
                                  s.End();
                                }},
                    CorruptCase{"WritesFewerThanDeclared", 4,
                                [](BitWriter& s) {
                                  s.LiteralWidth8();
                                  for (int i = 0; i < 3; ++i) s.Literal('a');
                                  s.End();
                                }},
                    CorruptCase{"GammaBeyond32Bits", 4,
                                [](BitWriter& s) {
                                  s.LiteralWidth8();
                                  s.Literal('a');
                                  s.Bits(0b01, 2);
                                  for (int i = 0; i < 40; ++i) s.Bits(0b11, 2);
                                }},
                    CorruptCase{"StreamWithoutEndCode", 4,
                                [](BitWriter& s) {
                                  s.LiteralWidth8();
                                  for (int i = 0; i < 4; ++i) s.Bits(0xFFFFFFFF, 32);
                                }}),
    [](const testing::TestParamInfo<CorruptCase>& info) { return info.param.name; });

TEST(BlockDecoder, RejectsWrongMagicAndShortBlocks) {
  BitWriter stream;
  stream.LiteralWidth8();
  stream.Literal('a');
  stream.End();
  Bytes block = MakeBlock(1, 0, stream.Finish());
  ASSERT_EQ(Decode(block), Bytes{'a'});

  Bytes wrong_magic = block;
  wrong_magic[1] = 'D';
  EXPECT_EQ(GetUncompressedSize(wrong_magic), 0u);
  EXPECT_FALSE(Decode(wrong_magic, 1).has_value());

  EXPECT_EQ(GetUncompressedSize(Bytes{'J', 'C', 1, 0, 0}), 0u);
  EXPECT_FALSE(Decode(Bytes(block.begin(), block.begin() + 9), 1).has_value());
  // The stream is cut inside its first word.
  EXPECT_FALSE(Decode(Bytes(block.begin(), block.begin() + 12), 1).has_value());
  // The output buffer must hold the declared size.
  EXPECT_FALSE(Decode(MakeBlock(2, 0, stream.Finish()), 1).has_value());
}

TEST(BlockDecoder, ChecksumMustMatchDeclaredBytes) {
  const Bytes payload = Text("abcdef");
  Bytes block = test::LiteralBlock(payload);
  EXPECT_EQ(Decode(block), payload);
  StoreLe32(&block[6], BlockChecksum(payload) + 1);
  EXPECT_FALSE(Decode(block).has_value());

  // Below 4 bytes the checksum is 0, so a non-zero field always fails.
  Bytes tiny = test::LiteralBlock(Text("ab"), false);
  EXPECT_EQ(Decode(tiny), Text("ab"));
  StoreLe32(&tiny[6], 1);
  EXPECT_FALSE(Decode(tiny).has_value());
}

TEST(BlockChecksum, MatchesKnownValuesAndOverlapsTheLastWord) {
  EXPECT_EQ(BlockChecksum(Text("abcd")), 0xACA5A6A2u);
  EXPECT_EQ(BlockChecksum(Text("abcde")), 0xD8C2CCC1u);
  EXPECT_EQ(BlockChecksum(Text("abc")), 0u);
  EXPECT_EQ(BlockChecksum(Bytes{}), 0u);

  // Six bytes: the words at offsets 0 and 2.
  const Bytes six = Text("uvwxyz");
  uint32_t expected = 0;
  for (size_t offset : {0u, 2u}) {
    const uint32_t word = LoadLe32(&six[offset]);
    expected += word;
    expected ^= ((word << 1) | (word >> 31)) + 1;
  }
  EXPECT_EQ(BlockChecksum(six), expected);
}

struct RealBlock {
  const char* file;
  uint32_t size;
};
void PrintTo(const RealBlock& c, std::ostream* os) { *os << c.file; }

class DecodesOriginalBlock : public testing::TestWithParam<RealBlock> {};

TEST_P(DecodesOriginalBlock, AndItsChecksumHolds) {
  const Bytes block =
      test::ReadFileBytes(test::TestDataPath(std::string("blocks/") + GetParam().file));
  ASSERT_EQ(GetUncompressedSize(block), GetParam().size);
  ASSERT_NE(LoadLe32(&block[6]), 0u) << "the checksum proves the output";
  const std::optional<Bytes> output = Decode(block);
  ASSERT_TRUE(output.has_value());
  EXPECT_EQ(output->size(), GetParam().size);
}

INSTANTIATE_TEST_SUITE_P(OriginalCompressor, DecodesOriginalBlock,
                         testing::Values(RealBlock{"text.jc", 180773},
                                         RealBlock{"low-entropy.jc", 30000},
                                         RealBlock{"far-repeats.jc", 199000}),
                         [](const testing::TestParamInfo<RealBlock>& info) {
                           std::string name = info.param.file;
                           name = name.substr(0, name.find('.'));
                           std::erase(name, '-');
                           return name;
                         });

// Random damage to a real block must never make the decoder touch memory
// outside its buffers (the sanitizer build checks that); any result it gives
// is either a failure or the full declared size.
TEST(BlockDecoder, SurvivesRandomDamage) {
  const Bytes original = test::ReadFileBytes(test::TestDataPath("blocks/low-entropy.jc"));
  std::mt19937 random(1234);
  for (int round = 0; round < 300; ++round) {
    Bytes block = original;
    const int flips = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < flips; ++i) {
      block[kBlockHeaderSize + random() % (block.size() - kBlockHeaderSize)] ^=
          static_cast<uint8_t>(1u << (random() % 8));
    }
    if (round % 3 == 0)
      block.resize(kBlockHeaderSize + random() % (block.size() - kBlockHeaderSize));
    StoreLe32(&block[6], 0);  // no checksum: let damaged streams run further
    Bytes output(GetUncompressedSize(block));
    const size_t written = DecompressBlock(block, output);
    EXPECT_TRUE(written == 0 || written == output.size());
  }
}

}  // namespace
}  // namespace kv
