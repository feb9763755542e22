// Forward dynamic programme over the positions of the input: every reachable
// position keeps its cheapest arrival and the last offset on that path; each
// code that can start there relaxes the positions it reaches.
#include "optimal_parser.h"

#include <algorithm>
#include <limits>

#include "code_costs.h"

namespace kv::compressor {
namespace {

constexpr uint32_t kUnreached = std::numeric_limits<uint32_t>::max();

using Node = ParseNode;

class Parser {
 public:
  Parser(std::span<const uint8_t> input, const MatchTable& matches, const RegionPlan& plan,
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
    for (uint32_t position = begin_; position < size_; ++position) {
      // A position inside a skipped match may be reachable by nothing but
      // codes too short for the offset; it has no cost to build on.
      if (matches_.Expanded(position) && nodes_[position - begin_].cost != kUnreached) {
        Expand(position);
      }
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
      const uint32_t reach = std::min(position, kMaxOneByteCopyOffset);
      for (uint32_t offset = 1; offset <= reach; ++offset) {
        if (input_[position - offset] == byte) {
          Relax(position + 1, cost + kOneByteCopyBits, Code::kOneByteCopy, 1, offset, last);
          break;
        }
      }
    }
    if (available >= kRawRunLength) {
      Relax(position + kRawRunLength, cost + kRawRunBits, Code::kRawRun, kRawRunLength, 0, last);
    }

    if (last <= position && available >= 2) {
      const uint32_t length = matches_.CommonLength(position - last, position, available);
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
        RelaxMatch(position, cost, longest.offset, longest.length, width);
      }
      return;
    }
    uint32_t length = 2;
    for (const Match& match : matches) {
      if (match.offset == last) {  // the repeat code covers it for less
        length = match.length + 1;
        continue;
      }
      for (; length <= match.length; ++length) {
        RelaxMatch(position, cost, match.offset, length, width);
      }
    }
  }

  void RelaxMatch(uint32_t position, uint32_t cost, uint32_t offset, uint32_t length,
                  uint32_t width) {
    if (offset <= kMaxShortMatchOffset && length <= kMaxShortMatch) {
      Relax(position + length, cost + kShortMatchBits, Code::kShortMatch, length, offset, offset);
      return;
    }
    if (length < LongMatchBonus(offset) + 2) return;
    Relax(position + length, cost + LongMatchBits(offset, length, width), Code::kLongMatch, length,
          offset, offset);
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
  const MatchTable& matches_;
  std::vector<Node>& nodes_;
};

}  // namespace

uint32_t LiteralBits(LiteralMode mode, uint8_t byte) {
  if (mode.wide) return kLiteral8Bits;
  return static_cast<uint8_t>(byte - mode.bias) < 128 ? kLiteral7Bits : kEscapedLiteralBits;
}

uint32_t ParseOptimal(std::span<const uint8_t> input, const MatchTable& matches,
                      const RegionPlan& plan, uint32_t nice_length, uint32_t last_offset,
                      std::vector<ParseNode>* nodes, std::vector<Token>* tokens) {
  return Parser(input, matches, plan, nice_length, nodes, last_offset).Run(tokens);
}

}  // namespace kv::compressor
