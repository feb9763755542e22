// The exclusion entries as a trie read backwards, and matching paths by
// walking back from their separators.
#include "exclusions/exclusion_matcher.h"

#include "common/ascii.h"
#include "platform/paths.h"

namespace kv {
namespace {

using platform::kPathSeparator;

uint64_t EdgeKey(uint32_t node, char c) {
  return (static_cast<uint64_t>(node) << 8) | static_cast<unsigned char>(c);
}

}  // namespace

void ExclusionMatcher::Clear() {
  // Swapped out rather than cleared, so that an emptied list gives its
  // memory back.
  std::unordered_map<uint64_t, uint32_t>().swap(edges_);
  std::vector<uint8_t>(1, 0).swap(terminal_);
  after_separator_ = kNone;
  has_root_entry_ = false;
}

uint32_t ExclusionMatcher::Child(uint32_t node, char c) const {
  const auto found = edges_.find(EdgeKey(node, c));
  return found == edges_.end() ? kNone : found->second;
}

uint32_t ExclusionMatcher::AddChild(uint32_t node, char c) {
  const auto [edge, added] = edges_.try_emplace(EdgeKey(node, c), kNone);
  if (added) {
    edge->second = static_cast<uint32_t>(terminal_.size());
    terminal_.push_back(0);
  }
  return edge->second;
}

void ExclusionMatcher::Add(std::string_view entry, bool is_root) {
  if (is_root) {
    has_root_entry_ = true;
    return;
  }
  // The entry's separator comes first, then the entry from its end.
  uint32_t node = AddChild(0, kPathSeparator);
  after_separator_ = node;
  for (size_t i = entry.size(); i > 0; --i) node = AddChild(node, ToUpperAscii(entry[i - 1]));
  terminal_[node] = 1;
}

bool ExclusionMatcher::WalkBack(std::string_view path, size_t end, bool whole_path) const {
  uint32_t node = after_separator_;
  for (size_t i = end; node != kNone;) {
    if (!whole_path && terminal_[node] != 0) return true;
    if (i == 0) return whole_path && terminal_[node] != 0;
    node = Child(node, ToUpperAscii(path[--i]));
  }
  return false;
}

bool ExclusionMatcher::Matches(std::string_view path) const {
  // The root holds every absolute path.
  if (has_root_entry_ && !path.empty() && path[0] == kPathSeparator) return true;
  if (after_separator_ == kNone) return false;  // no other entry
  for (size_t separator = path.find(kPathSeparator); separator != std::string_view::npos;
       separator = path.find(kPathSeparator, separator + 1)) {
    if (WalkBack(path, separator, false)) return true;
  }
  // The entry itself: as if the path ended in a separator, matched whole.
  return WalkBack(path, path.size(), true);
}

}  // namespace kv
