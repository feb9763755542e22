// The member-name index and its keyed hash.
#include "reader/name_index.h"

#include <array>
#include <random>

namespace kv::zip {
namespace {

uint8_t FoldAscii(uint8_t c) { return (c >= 'A' && c <= 'Z') ? static_cast<uint8_t>(c + 32) : c; }

uint64_t Rotate(uint64_t x, int bits) { return (x << bits) | (x >> (64 - bits)); }

struct SipState {
  uint64_t v0, v1, v2, v3;

  void Round() {
    v0 += v1;
    v1 = Rotate(v1, 13) ^ v0;
    v0 = Rotate(v0, 32);
    v2 += v3;
    v3 = Rotate(v3, 16) ^ v2;
    v0 += v3;
    v3 = Rotate(v3, 21) ^ v0;
    v2 += v1;
    v1 = Rotate(v1, 17) ^ v2;
    v2 = Rotate(v2, 32);
  }

  void Absorb(uint64_t word) {
    v3 ^= word;
    Round();
    v0 ^= word;
  }
};

// Drawn once per process, so that every index built in one run agrees.
const std::array<uint64_t, 2>& ProcessKey() {
  static const std::array<uint64_t, 2> key = [] {
    std::random_device random;
    auto draw = [&random] { return (static_cast<uint64_t>(random()) << 32) ^ random(); };
    return std::array<uint64_t, 2>{draw(), draw()};
  }();
  return key;
}

size_t TableSizeFor(uint32_t count) {
  size_t size = 16;
  while (size < static_cast<size_t>(count) * 2) size *= 2;  // load factor at most 1/2
  return size;
}

}  // namespace

uint64_t KeyedHash(std::string_view bytes, const uint64_t key[2], bool fold_case) {
  SipState state{key[0] ^ 0x736f6d6570736575ull, key[1] ^ 0x646f72616e646f6dull,
                 key[0] ^ 0x6c7967656e657261ull, key[1] ^ 0x7465646279746573ull};
  auto byte_at = [&](size_t i) {
    const auto c = static_cast<uint8_t>(bytes[i]);
    return static_cast<uint64_t>(fold_case ? FoldAscii(c) : c);
  };
  const size_t whole_words = bytes.size() / 8;
  for (size_t word = 0; word < whole_words; ++word) {
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value |= byte_at(word * 8 + i) << (8 * i);
    state.Absorb(value);
  }
  uint64_t last = static_cast<uint64_t>(bytes.size() & 0xFF) << 56;
  for (size_t i = whole_words * 8; i < bytes.size(); ++i) last |= byte_at(i) << (8 * (i % 8));
  state.Absorb(last);
  state.v2 ^= 0xFF;
  for (int i = 0; i < 3; ++i) state.Round();
  return state.v0 ^ state.v1 ^ state.v2 ^ state.v3;
}

uint64_t NameIndex::Hash(std::string_view name) const {
  return KeyedHash(name, ProcessKey().data(), match_ == Match::kIgnoringAsciiCase);
}

bool NameIndex::Equal(std::string_view a, std::string_view b) const {
  if (a.size() != b.size()) return false;
  if (match_ == Match::kExact) return a == b;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(static_cast<uint8_t>(a[i])) != FoldAscii(static_cast<uint8_t>(b[i]))) {
      return false;
    }
  }
  return true;
}

void NameIndex::Build(uint32_t count, Match match, const NameOf& name_of) {
  match_ = match;
  slots_.assign(TableSizeFor(count), kEmpty);
  const size_t mask = slots_.size() - 1;
  for (uint32_t index = 0; index < count; ++index) {
    const std::string_view name = name_of(index);
    for (size_t slot = Hash(name) & mask;; slot = (slot + 1) & mask) {
      if (slots_[slot] == kEmpty) {
        slots_[slot] = index;
        break;
      }
      if (Equal(name_of(slots_[slot]), name)) break;  // an earlier twin keeps the slot
    }
  }
}

std::optional<uint32_t> NameIndex::Find(std::string_view name, const NameOf& name_of) const {
  if (slots_.empty()) return std::nullopt;
  const size_t mask = slots_.size() - 1;
  for (size_t slot = Hash(name) & mask; slots_[slot] != kEmpty; slot = (slot + 1) & mask) {
    if (Equal(name_of(slots_[slot]), name)) return slots_[slot];
  }
  return std::nullopt;
}

}  // namespace kv::zip
