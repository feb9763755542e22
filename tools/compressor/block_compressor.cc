// CompressBlock: plan the regions, parse, re-plan from the parse and parse
// again at the higher levels, then write the smallest stream found.
#include "block_compressor.h"

#include <algorithm>
#include <stdexcept>

#include "bit_sink.h"
#include "code_costs.h"
#include "common/block_format.h"
#include "common/byte_order.h"
#include "optimal_parser.h"
#include "region_planner.h"

namespace kv::compressor {
namespace {

constexpr unsigned kRegionShift = 12;  // 4 KiB regions

// Positions parsed at a time; a match never crosses the end of a stretch.
constexpr uint32_t kStretch = uint32_t{1} << 16;

struct LevelSettings {
  SearchSettings search;
  int passes;
};

LevelSettings SettingsFor(int level) {
  using enum SearchSettings::Finder;
  // Hash chains, except at the default level: there binary trees find the
  // far long matches that a chain reaches only after many steps, and a match
  // of 20 bytes counts as good enough, which spares the search of most
  // positions inside repeated records at a small cost in size.
  // {finder, 3-byte chain steps, 8-byte chain or tree steps, nice length,
  // skip length, tail, window bits}, passes over each stretch.
  static constexpr LevelSettings kLevels[] = {
      {{kChains, 1, 2, 16, 16, 0, 20}, 1},        {{kChains, 1, 4, 24, 24, 0, 20}, 1},
      {{kChains, 2, 8, 32, 32, 0, 20}, 1},        {{kChains, 2, 8, 32, 32, 0, 22}, 1},
      {{kChains, 2, 16, 32, 32, 0, 22}, 1},       {{kTrees, 0, 8, 32, 16, 12, 20}, 1},
      {{kChains, 8, 32, 96, 96, 0, 22}, 2},       {{kChains, 16, 128, 256, 256, 0, 32}, 3},
      {{kChains, 64, 512, 1024, 1024, 0, 32}, 3},
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
  StoreLe32(&block[kBlockSizeOffset], static_cast<uint32_t>(input.size()));
  StoreLe32(&block[kBlockChecksumOffset], checksum ? BlockChecksum(input) : 0);
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

  const SearchSettings& search = settings.search;
  const uint32_t size = static_cast<uint32_t>(input.size());
  RegionPlan plan = PlanFromBytes(input, kRegionShift);
  // Stretch by stretch: the matches and the parse nodes stay small and are
  // reused, while the finder carries the window across stretches. The
  // higher levels parse each stretch again with its regions refitted to the
  // parse before, keeping the last parse.
  StretchFinder finder(input, search);
  StretchMatches matches;
  std::vector<ParseNode> nodes;
  std::vector<Token> tokens, trial;
  uint32_t last_offset = 1;  // as in the decoder
  for (uint32_t begin = 0; begin < size;) {
    const uint32_t end = size - begin > kStretch ? begin + kStretch : size;
    finder.Fill(begin, end, &matches);
    const size_t first = tokens.size();
    uint32_t next_offset =
        ParseOptimal(input, matches, plan, search.nice_length, last_offset, &nodes, &tokens);
    for (int pass = 1; pass < settings.passes; ++pass) {
      RefitPlan(input, std::span(tokens).subspan(first), begin, end, &plan);
      trial.clear();
      next_offset =
          ParseOptimal(input, matches, plan, search.nice_length, last_offset, &nodes, &trial);
      tokens.resize(first);
      tokens.insert(tokens.end(), trial.begin(), trial.end());
    }
    last_offset = next_offset;
    CarryOffsetWidth(std::span(tokens).subspan(first), end, end + std::min(size - end, kStretch),
                     &plan);
    begin = end;
  }
  WriteStream(input, tokens, plan, &best);
  return best;
}

}  // namespace kv::compressor
