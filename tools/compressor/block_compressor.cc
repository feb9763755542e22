// CompressBlock: plan the regions, parse, re-plan from the parse and parse
// again at the higher levels, then write the smallest stream found.
#include "block_compressor.h"

#include <algorithm>
#include <stdexcept>

#include "bit_sink.h"
#include "code_costs.h"
#include "common/byte_order.h"
#include "database/block_decoder.h"
#include "optimal_parser.h"
#include "region_planner.h"

namespace kv::compressor {
namespace {

constexpr unsigned kRegionShift = 12;  // 4 KiB regions

struct LevelSettings {
  ParserSettings parser;
  int passes;
};

LevelSettings SettingsFor(int level) {
  // {3-byte chain steps, 8-byte chain steps, nice length}, passes.
  static constexpr LevelSettings kLevels[] = {
      {{1, 2, 16}, 1},  {{1, 4, 24}, 1},     {{2, 8, 32}, 1},
      {{2, 16, 32}, 1}, {{4, 16, 48}, 1},    {{4, 16, 48}, 2},
      {{8, 32, 96}, 2}, {{16, 128, 256}, 3}, {{64, 512, 1024}, 3},
  };
  return kLevels[std::clamp(level, kFastestLevel, kBestLevel) - 1];
}

// Writes the codes of a parse, switching literal mode and offset width
// lazily: only right before a code that needs the region's setting.
void WriteStream(std::span<const uint8_t> input, std::span<const Token> tokens,
                 const RegionPlan& plan, std::vector<uint8_t>* out) {
  BitSink sink(out);
  bool have_mode = false;
  LiteralMode mode;
  uint32_t width = kInitialOffsetWidth;
  uint32_t position = 0;
  for (size_t t = 0; t < tokens.size(); ++t) {
    const Token& token = tokens[t];
    switch (token.code) {
      case Code::kLiteral: {
        const uint8_t byte = input[position];
        LiteralMode wanted = plan.LiteralModeAt(position);
        if (!wanted.wide && static_cast<uint8_t>(byte - wanted.bias) >= 128) {
          wanted = LiteralMode{true, 0};
        }
        if (!have_mode || !(mode == wanted)) {
          if (wanted.wide) {
            sink.LiteralWidth8();
          } else {
            sink.LiteralWidth7(wanted.bias);
          }
          mode = wanted;
          have_mode = true;
        }
        if (mode.wide) {
          sink.Literal(byte, 8);
        } else {
          sink.Literal(static_cast<uint8_t>(byte - mode.bias), 7);
        }
        break;
      }
      case Code::kZeroByte:
        sink.ZeroByte();
        break;
      case Code::kOneByteCopy:
        sink.OneByteCopy(token.offset);
        break;
      case Code::kShortMatch:
        sink.ShortMatch(token.offset, token.length);
        break;
      case Code::kRepeatMatch:
        sink.RepeatMatch(token.length);
        break;
      case Code::kLongMatch: {
        const uint32_t wanted = plan.OffsetWidthAt(position);
        if (wanted != width) {
          sink.OffsetWidth(wanted);
          width = wanted;
        }
        sink.LongMatch(token.offset, token.length, width, LongMatchBonus(token.offset));
        break;
      }
      case Code::kRawRun: {
        const bool chained = t > 0 && tokens[t - 1].code == Code::kRawRun;
        if (chained) {
          sink.Bit(1);
        } else {
          sink.RawRunStart();
        }
        for (uint32_t i = 0; i < kRawRunLength; ++i) sink.Bits(input[position + i], 8);
        const bool continues = t + 1 < tokens.size() && tokens[t + 1].code == Code::kRawRun;
        if (!continues) sink.Bit(0);
        break;
      }
    }
    position += token.length;
  }
  sink.End();
  sink.Finish();
}

std::vector<uint8_t> Header(std::span<const uint8_t> input, bool checksum) {
  std::vector<uint8_t> block(kBlockHeaderSize);
  block[0] = kBlockMagic[0];
  block[1] = kBlockMagic[1];
  StoreLe32(&block[2], static_cast<uint32_t>(input.size()));
  StoreLe32(&block[6], checksum ? BlockChecksum(input) : 0);
  return block;
}

}  // namespace

std::vector<uint8_t> CompressBlock(std::span<const uint8_t> input, const CompressOptions& options) {
  if (input.size() > 0xFFFFFFFFu) {
    throw std::length_error("a block holds less than 4 GiB");
  }
  const LevelSettings settings = SettingsFor(options.level);
  std::vector<uint8_t> best = Header(input, options.checksum);
  if (input.empty()) {
    BitSink sink(&best);
    sink.End();
    sink.Finish();
    return best;
  }

  const ParserSettings& parser = settings.parser;
  const MatchTable matches(input, parser.short_chain_depth, parser.long_chain_depth,
                           parser.nice_length);
  RegionPlan plan = PlanFromBytes(input, kRegionShift);
  std::vector<ParseNode> nodes;
  bool have_best = false;
  for (int pass = 0; pass < settings.passes; ++pass) {
    const std::vector<Token> tokens =
        ParseOptimal(input, matches, plan, parser.nice_length, &nodes);
    std::vector<uint8_t> block = Header(input, options.checksum);
    WriteStream(input, tokens, plan, &block);
    if (!have_best || block.size() < best.size()) {
      best.swap(block);
      have_best = true;
    }
    if (pass + 1 < settings.passes) plan = PlanFromParse(input, tokens, kRegionShift);
  }
  return best;
}

}  // namespace kv::compressor
