// Scratch folders, on the platform's folder, file and process primitives.
#include "platform/scratch_folder.h"

#include <atomic>
#include <charconv>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/directories.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/processes.h"

namespace kv::platform {
namespace {

// Tries this many names before giving up: another process (or an attacker
// guessing names in a shared temporary folder) may hold the first ones.
constexpr int kNameAttempts = 100;

// The depth RemoveFolderTree descends to: the engine itself writes only
// files directly in the folder.
constexpr int kMaxRemovalDepth = 16;

std::string Join(const std::string& folder, const char* name) {
  std::string path = folder;
  if (!path.empty() && path.back() != '/' && path.back() != kPathSeparator) {
    path += kPathSeparator;
  }
  return path + name;
}

bool RemoveTree(const std::string& path, int depth) {
  std::unique_ptr<DirectoryListing> listing = DirectoryListing::Open(path.c_str());
  if (!listing) return RemoveEmptyFolder(path.c_str());
  bool removed_all = true;
  DirectoryEntry entry;
  while (listing->Next(&entry)) {
    const std::string child = Join(path, entry.name);
    if (entry.kind == EntryKind::kFolder) {
      removed_all = (depth < kMaxRemovalDepth && RemoveTree(child, depth + 1)) && removed_all;
    } else if (entry.kind == EntryKind::kLinkedFolder) {
      removed_all = (RemoveFile(child.c_str()) || RemoveEmptyFolder(child.c_str())) && removed_all;
    } else {
      removed_all = RemoveFile(child.c_str()) && removed_all;
    }
  }
  listing.reset();  // Windows cannot remove a folder it still lists
  return RemoveEmptyFolder(path.c_str()) && removed_all;
}

// The process id in a scratch folder's name, or nullopt for another name.
std::optional<uint32_t> OwnerOf(const char* name) {
  const size_t prefix_length = std::strlen(kScratchFolderPrefix);
  if (std::strncmp(name, kScratchFolderPrefix, prefix_length) != 0) return std::nullopt;
  const char* digits = name + prefix_length;
  const char* end = digits + std::strlen(digits);
  uint32_t pid = 0;
  const auto [stop, error] = std::from_chars(digits, end, pid);
  if (error != std::errc() || stop == digits || stop == end || *stop != '-') return std::nullopt;
  return pid;
}

}  // namespace

std::unique_ptr<ScratchFolder> ScratchFolder::Create() {
  static std::atomic<unsigned> counter{0};
  const std::string stem =
      TemporaryFolder() + kScratchFolderPrefix + std::to_string(CurrentProcessId()) + "-";
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string path = stem + std::to_string(counter++);
    if (MakePrivateFolder(path.c_str())) {
      return std::unique_ptr<ScratchFolder>(new ScratchFolder(std::move(path)));
    }
  }
  return nullptr;
}

ScratchFolder::~ScratchFolder() { RemoveFolderTree(path_); }

std::optional<std::string> ScratchFolder::WriteFile(const void* data, size_t size) {
  std::string path = Join(path_, (std::to_string(next_file_++) + ".zip").c_str());
  if (!WriteNewFile(path.c_str(), data, size)) return std::nullopt;
  return path;
}

bool RemoveFolderTree(const std::string& path) { return RemoveTree(path, 0); }

int RemoveAbandonedScratchFolders() { return RemoveAbandonedScratchFolders(TemporaryFolder()); }

int RemoveAbandonedScratchFolders(const std::string& parent) {
  std::unique_ptr<DirectoryListing> listing = DirectoryListing::Open(parent.c_str());
  if (!listing) return 0;
  std::vector<std::string> abandoned;
  DirectoryEntry entry;
  while (listing->Next(&entry)) {
    if (entry.kind != EntryKind::kFolder) continue;
    const std::optional<uint32_t> owner = OwnerOf(entry.name);
    if (owner && *owner != CurrentProcessId() && !ProcessIsRunning(*owner)) {
      abandoned.push_back(Join(parent, entry.name));
    }
  }
  listing.reset();
  int removed = 0;
  for (const std::string& folder : abandoned) removed += RemoveFolderTree(folder) ? 1 : 0;
  return removed;
}

}  // namespace kv::platform
