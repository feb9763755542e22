// A hash index from member names to their first position in the central
// directory, exact or ignoring ASCII case. The hash is keyed with a random
// secret per process, so names crafted to collide cannot turn lookups into
// linear scans.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace kv::zip {

class NameIndex {
 public:
  enum class Match { kExact, kIgnoringAsciiCase };
  using NameOf = std::function<std::string_view(uint32_t)>;

  // Indexes the names 0..count-1 that `name_of` returns; of equal names (as
  // `match` compares them) the lowest index is kept.
  void Build(uint32_t count, Match match, const NameOf& name_of);

  // The lowest index whose name equals `name`, or nothing.
  std::optional<uint32_t> Find(std::string_view name, const NameOf& name_of) const;

 private:
  static constexpr uint32_t kEmpty = UINT32_MAX;

  uint64_t Hash(std::string_view name) const;
  bool Equal(std::string_view a, std::string_view b) const;

  Match match_ = Match::kExact;
  std::vector<uint32_t> slots_;  // open addressing, linear probing
};

// SipHash-1-3 of `bytes` under `key`, each byte first folded to lower case
// when `fold_case` is set.
uint64_t KeyedHash(std::string_view bytes, const uint64_t key[2], bool fold_case);

}  // namespace kv::zip
