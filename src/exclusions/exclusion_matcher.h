// The entries of the exclusion list in the form that paths are matched
// against: which entries a path holds, found without searching the path once
// per entry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kv {

// A path matches an entry when, ASCII case ignored, the entry followed by a
// separator occurs anywhere in the path, or the path is the entry itself.
// An entry that is the root of the whole file system (POSIX "/") matches
// every absolute path instead.
//
// Every occurrence of "entry + separator" ends at a separator of the path,
// so the entries are kept in a trie read backwards, from that separator: a
// path is matched by walking back from each of its separators (and, for the
// path itself, from its end) as far as some entry ends the same way. The
// cost depends on the path and how far entries end like it, not on the
// number of entries.
class ExclusionMatcher {
 public:
  ExclusionMatcher() { Clear(); }

  void Clear();
  // `is_root`: the entry names the root of the whole file system.
  void Add(std::string_view entry, bool is_root);

  // True when `path` (already in the form entries are compared with, one
  // trailing separator dropped) matches an entry. Allocates nothing.
  bool Matches(std::string_view path) const;

 private:
  static constexpr uint32_t kNone = 0xFFFFFFFFu;
  uint32_t Child(uint32_t node, char c) const;
  uint32_t AddChild(uint32_t node, char c);
  // Reads a separator and then path[0, end) backwards from the trie's root.
  // True when an entry ends on the way, or with `whole_path` only when one
  // ends exactly at path[0].
  bool WalkBack(std::string_view path, size_t end, bool whole_path) const;

  // Node 0 is the root; an edge is keyed by its parent node and its
  // upper-cased byte.
  std::unordered_map<uint64_t, uint32_t> edges_;
  std::vector<uint8_t> terminal_;     // per node: an entry ends here
  uint32_t after_separator_ = kNone;  // the root's only child
  bool has_root_entry_ = false;
};

}  // namespace kv
