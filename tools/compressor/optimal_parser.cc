// Forward dynamic programme over the positions of the input: every reachable
// position keeps its cheapest arrival and the last offset on that path; each
// code that can start there relaxes the positions it reaches.
#include "optimal_parser.h"

#include <algorithm>
#include <array>
#include <limits>

#include "code_costs.h"
#include "match_bytes.h"

namespace kv::compressor {
namespace {

constexpr uint32_t kUnreached = std::numeric_limits<uint32_t>::max();

using Node = ParseNode;

class Parser {
 public:
  Parser(std::span<const uint8_t> input, const StretchMatches& matches, const RegionPlan& plan,
         uint32_t nice_length, std::vector<Node>* nodes, uint32_t last_offset)
      : input_(input),
        begin_(matches.begin()),
        size_(matches.end()),
        plan_(plan),
        nice_length_(nice_length),
        matches_(matches),
        nodes_(*nodes) {
    // Node i stands for position begin + i.
    nodes_.assign(size_ - begin_ + 1, Node{kUnreached, last_offset, 0, 0, Code::kLiteral});
    nodes_[0].cost = 0;
  }

  uint32_t Run(std::vector<Token>* tokens) {
    nearest_.fill(kUnreached);
    for (uint32_t position = begin_ - std::min(begin_, kMaxOneByteCopyOffset); position < begin_;
         ++position) {
      nearest_[input_[position]] = position;
    }
    for (uint32_t position = begin_; position < size_; ++position) {
      // A position inside a skipped match may be reachable by nothing but
      // codes too short for the offset; it has no cost to build on.
      if (matches_.Expanded(position) && nodes_[position - begin_].cost != kUnreached) {
        Expand(position);
      }
      nearest_[input_[position]] = position;
    }
    Trace(tokens);
    return nodes_[size_ - begin_].last_offset;
  }

 private:
  void Relax(uint32_t to, uint32_t cost, Code code, uint32_t length, uint32_t offset,
             uint32_t last_offset) {
    Node& node = nodes_[to - begin_];
    if (cost >= node.cost) return;
    node = {cost, last_offset, length, offset, code};
  }

  // Relaxes every code that starts at `position`.
  void Expand(uint32_t position) {
    const Node here = nodes_[position - begin_];
    const uint32_t cost = here.cost;
    const uint32_t last = here.last_offset;
    const uint8_t byte = input_[position];
    const uint32_t available = size_ - position;

    Relax(position + 1, cost + LiteralBits(plan_.LiteralModeAt(position), byte), Code::kLiteral, 1,
          0, last);
    if (byte == 0) {
      Relax(position + 1, cost + kZeroByteBits, Code::kZeroByte, 1, 0, last);
    } else {
      const uint32_t seen = nearest_[byte];
      if (seen != kUnreached && position - seen <= kMaxOneByteCopyOffset) {
        Relax(position + 1, cost + kOneByteCopyBits, Code::kOneByteCopy, 1, position - seen, last);
      }
    }
    if (available >= kRawRunLength) {
      Relax(position + kRawRunLength, cost + kRawRunBits, Code::kRawRun, kRawRunLength, 0, last);
    }

    if (last <= position && available >= 2) {
      const uint32_t length =
          CommonRun(input_.data() + position - last, input_.data() + position, available);
      const uint32_t shorter = std::min(length, nice_length_);
      for (uint32_t l = 2; l <= shorter; ++l) {
        Relax(position + l, cost + RepeatMatchBits(l), Code::kRepeatMatch, l, last, last);
      }
      if (length > shorter) {
        Relax(position + length, cost + RepeatMatchBits(length), Code::kRepeatMatch, length, last,
              last);
      }
    }

    const std::span<const Match> matches = matches_.At(position);
    if (matches.empty()) return;
    const uint32_t width = plan_.OffsetWidthAt(position);
    const Match& longest = matches.back();
    if (longest.length >= nice_length_) {
      if (longest.offset != last) {
        RelaxMatches(position, cost, longest.offset, longest.length, longest.length, width);
      }
      return;
    }
    uint32_t length = 2;
    for (const Match& match : matches) {
      // The repeat code covers the last offset for less.
      if (match.offset != last) {
        RelaxMatches(position, cost, match.offset, length, match.length, width);
      }
      length = match.length + 1;
    }
  }

  // Relaxes the copies from `offset` of `shortest` to `longest` bytes: short
  // matches where the offset and length allow, long ones beyond.
  void RelaxMatches(uint32_t position, uint32_t cost, uint32_t offset, uint32_t shortest,
                    uint32_t longest, uint32_t width) {
    uint32_t length = shortest;
    if (offset <= kMaxShortMatchOffset) {
      for (; length <= std::min(longest, kMaxShortMatch); ++length) {
        Relax(position + length, cost + kShortMatchBits, Code::kShortMatch, length, offset, offset);
      }
    }
    // A long match's length counts from its offset's bonus on; the rest of
    // its cost depends on the offset alone.
    const uint32_t bonus = LongMatchBonus(offset);
    const uint32_t offset_cost = cost + LongMatchBits(offset, bonus + 2, width) - GammaBits(2);
    for (length = std::max(length, bonus + 2); length <= longest; ++length) {
      Relax(position + length, offset_cost + GammaBits(length - bonus), Code::kLongMatch, length,
            offset, offset);
    }
  }

  void Trace(std::vector<Token>* tokens) const {
    const size_t first = tokens->size();
    for (uint32_t position = size_; position > begin_;) {
      const Node& node = nodes_[position - begin_];
      tokens->push_back({node.code, node.length, node.offset});
      position -= node.length;
    }
    std::reverse(tokens->begin() + static_cast<std::ptrdiff_t>(first), tokens->end());
  }

  std::span<const uint8_t> input_;
  uint32_t begin_;
  uint32_t size_;  // end of the stretch
  const RegionPlan& plan_;
  uint32_t nice_length_;
  const StretchMatches& matches_;
  std::vector<Node>& nodes_;
  // Where each byte value last stood, for the one-byte copies.
  std::array<uint32_t, 256> nearest_;
};

}  // namespace

uint32_t LiteralBits(LiteralMode mode, uint8_t byte) {
  if (mode.wide) return kLiteral8Bits;
  return static_cast<uint8_t>(byte - mode.bias) < 128 ? kLiteral7Bits : kEscapedLiteralBits;
}

uint32_t ParseOptimal(std::span<const uint8_t> input, const StretchMatches& matches,
                      const RegionPlan& plan, uint32_t nice_length, uint32_t last_offset,
                      std::vector<ParseNode>* nodes, std::vector<Token>* tokens) {
  return Parser(input, matches, plan, nice_length, nodes, last_offset).Run(tokens);
}

}  // namespace kv::compressor
