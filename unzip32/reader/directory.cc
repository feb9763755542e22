// Reading the end-of-central-directory record (with its ZIP64 form) and the
// central directory into a Directory.
#include "reader/directory.h"

#include <algorithm>
#include <numeric>

#include "reader/little_endian.h"

namespace kv::zip {
namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kZip64LocatorSize = 20;
constexpr size_t kZip64EndRecordSize = 56;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kMaxCommentLength = 65535;
constexpr uint16_t kZip64ExtraId = 0x0001;

// Where the central directory is said to be, and the record that follows it.
struct DirectoryLocation {
  uint64_t entry_count = 0;
  uint64_t size = 0;
  uint64_t offset = 0;
  uint64_t following_record = 0;  // offset of the (ZIP64) end record after it
  uint16_t comment_length = 0;
};

// Finds the end record by searching backwards over at most the largest
// comment: the last signature whose comment fits in the file wins.
ZipStatus FindEndRecord(ByteSource& source, uint64_t* record_offset, uint16_t* comment_length) {
  const uint64_t size = source.Size();
  if (size < kEndRecordSize) return ZipStatus::kNotArchive;
  const uint64_t tail_length = std::min<uint64_t>(size, kEndRecordSize + kMaxCommentLength);
  std::vector<uint8_t> tail(static_cast<size_t>(tail_length));
  if (!source.ReadAt(size - tail_length, tail)) return ZipStatus::kReadError;
  for (size_t at = tail.size() - kEndRecordSize + 1; at-- > 0;) {
    if (Le32(&tail[at]) != kEndSignature) continue;
    const uint16_t comment = Le16(&tail[at + 20]);
    if (kEndRecordSize + comment <= tail.size() - at) {
      *record_offset = size - tail_length + at;
      *comment_length = comment;
      return ZipStatus::kOk;
    }
  }
  return ZipStatus::kNotArchive;
}

// Replaces the location with the ZIP64 end record's when a locator sits just
// before the end record. Returns false when a locator promises a record that
// is not there.
bool ReadZip64Location(ByteSource& source, uint64_t end_offset, DirectoryLocation* location) {
  if (end_offset < kZip64LocatorSize) return true;
  uint8_t locator[kZip64LocatorSize];
  if (!source.ReadAt(end_offset - kZip64LocatorSize, locator)) return false;
  if (Le32(locator) != kZip64LocatorSignature) return true;
  // The record normally sits right before the locator; the locator's offset
  // is wrong when data was prepended to the archive, so try both.
  const uint64_t stated = Le64(locator + 8);
  const uint64_t adjacent = end_offset - kZip64LocatorSize - kZip64EndRecordSize;
  for (uint64_t candidate : {stated, adjacent}) {
    if (end_offset < kZip64LocatorSize + kZip64EndRecordSize) break;
    if (candidate > adjacent) continue;
    uint8_t record[kZip64EndRecordSize];
    if (!source.ReadAt(candidate, record) || Le32(record) != kZip64EndSignature) continue;
    location->entry_count = Le64(record + 32);
    location->size = Le64(record + 40);
    location->offset = Le64(record + 48);
    location->following_record = candidate;
    return true;
  }
  return false;
}

ZipStatus LocateDirectory(ByteSource& source, DirectoryLocation* location) {
  uint64_t end_offset = 0;
  if (ZipStatus status = FindEndRecord(source, &end_offset, &location->comment_length);
      status != ZipStatus::kOk) {
    return status;
  }
  uint8_t end[kEndRecordSize];
  if (!source.ReadAt(end_offset, end)) return ZipStatus::kReadError;
  location->entry_count = Le16(end + 10);
  location->size = Le32(end + 12);
  location->offset = Le32(end + 16);
  location->following_record = end_offset;
  const bool saturated = location->entry_count == 0xFFFF || location->size == 0xFFFFFFFF ||
                         location->offset == 0xFFFFFFFF;
  const uint64_t before = location->following_record;
  if (!ReadZip64Location(source, end_offset, location)) return ZipStatus::kDamagedDirectory;
  if (saturated && location->following_record == before) return ZipStatus::kDamagedDirectory;
  return ZipStatus::kOk;
}

bool StartsWithCentralHeader(ByteSource& source, uint64_t offset) {
  uint8_t signature[4];
  return source.ReadAt(offset, signature) && Le32(signature) == kCentralHeaderSignature;
}

// How far the stated offsets are off: positive when bytes were prepended to
// the archive (self-extracting programs), found by where the directory
// really ends. Nothing when the directory is nowhere it could be.
std::optional<uint64_t> BaseOffset(ByteSource& source, const DirectoryLocation& location) {
  if (location.size > location.following_record) return std::nullopt;
  if (location.entry_count == 0) return 0;
  if (location.offset <= location.following_record - location.size &&
      StartsWithCentralHeader(source, location.offset)) {
    return 0;
  }
  const uint64_t actual = location.following_record - location.size;
  if (actual > location.offset && StartsWithCentralHeader(source, actual)) {
    return actual - location.offset;
  }
  return std::nullopt;
}

// Fills the fields that the central header saturates from the ZIP64 extra
// field, in the order the format gives them. False when one is missing.
bool ApplyZip64Extra(const uint8_t* extra, size_t length, Member* member) {
  const bool wants_size = member->uncompressed_size == 0xFFFFFFFF;
  const bool wants_compressed = member->compressed_size == 0xFFFFFFFF;
  const bool wants_offset = member->local_header_offset == 0xFFFFFFFF;
  if (!wants_size && !wants_compressed && !wants_offset) return true;
  for (size_t at = 0; at + 4 <= length;) {
    const uint16_t id = Le16(extra + at);
    const size_t field_length = Le16(extra + at + 2);
    const uint8_t* field = extra + at + 4;
    if (field_length > length - at - 4) break;
    if (id == kZip64ExtraId) {
      size_t used = 0;
      auto take = [&](bool wanted, uint64_t* value) {
        if (!wanted) return true;
        if (used + 8 > field_length) return false;
        *value = Le64(field + used);
        used += 8;
        return true;
      };
      return take(wants_size, &member->uncompressed_size) &&
             take(wants_compressed, &member->compressed_size) &&
             take(wants_offset, &member->local_header_offset);
    }
    at += 4 + field_length;
  }
  return false;
}

}  // namespace

ZipStatus Directory::Read(ByteSource& source, const Limits& limits,
                          std::unique_ptr<Directory>* out) {
  out->reset();
  DirectoryLocation location;
  if (ZipStatus status = LocateDirectory(source, &location); status != ZipStatus::kOk) {
    return status;
  }
  if (location.entry_count > limits.max_members) return ZipStatus::kTooManyMembers;
  if (location.size > limits.max_directory_bytes) return ZipStatus::kDirectoryTooLarge;
  if (location.entry_count > location.size / kCentralHeaderSize) {
    return ZipStatus::kDamagedDirectory;
  }
  const std::optional<uint64_t> base = BaseOffset(source, location);
  if (!base) return ZipStatus::kDamagedDirectory;

  std::vector<uint8_t> bytes(static_cast<size_t>(location.size));
  if (!source.ReadAt(location.offset + *base, bytes)) return ZipStatus::kDamagedDirectory;
  std::unique_ptr<Directory> directory(new Directory());
  directory->comment_length_ = location.comment_length;
  if (ZipStatus status = directory->ParseEntries(bytes, location.entry_count, *base);
      status != ZipStatus::kOk) {
    return status;
  }
  directory->MarkExtents(location.offset + *base);
  directory->BuildIndexes();
  *out = std::move(directory);
  return ZipStatus::kOk;
}

ZipStatus Directory::ParseEntries(const std::vector<uint8_t>& bytes, uint64_t entry_count,
                                  uint64_t base_offset) {
  members_.reserve(static_cast<size_t>(entry_count));
  names_.reserve(bytes.size());
  size_t at = 0;
  for (uint64_t entry = 0; entry < entry_count; ++entry) {
    if (bytes.size() - at < kCentralHeaderSize) return ZipStatus::kDamagedDirectory;
    const uint8_t* header = &bytes[at];
    if (Le32(header) != kCentralHeaderSignature) return ZipStatus::kDamagedDirectory;
    const size_t name_length = Le16(header + 28);
    const size_t extra_length = Le16(header + 30);
    const size_t comment_length = Le16(header + 32);
    const size_t entry_length = kCentralHeaderSize + name_length + extra_length + comment_length;
    if (bytes.size() - at < entry_length) return ZipStatus::kDamagedDirectory;

    Member member;
    member.flags = Le16(header + 8);
    member.method = Le16(header + 10);
    member.dos_time = Le16(header + 12);
    member.dos_date = Le16(header + 14);
    member.crc32 = Le32(header + 16);
    member.compressed_size = Le32(header + 20);
    member.uncompressed_size = Le32(header + 24);
    member.local_header_offset = Le32(header + 42);
    if (!ApplyZip64Extra(header + kCentralHeaderSize + name_length, extra_length, &member)) {
      return ZipStatus::kDamagedDirectory;
    }
    // An offset that overflows with the base can never be read: it is
    // pushed past every bound so that extracting it fails.
    member.local_header_offset = member.local_header_offset > UINT64_MAX - base_offset
                                     ? UINT64_MAX
                                     : member.local_header_offset + base_offset;
    member.name_offset = names_.size();
    member.name_length = static_cast<uint16_t>(name_length);
    names_.append(reinterpret_cast<const char*>(header + kCentralHeaderSize), name_length);
    members_.push_back(member);
    at += entry_length;
  }
  return ZipStatus::kOk;
}

void Directory::MarkExtents(uint64_t directory_start) {
  std::vector<uint32_t> order(members_.size());
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(), [this](uint32_t a, uint32_t b) {
    return members_[a].local_header_offset < members_[b].local_header_offset;
  });
  // From the highest offset down: each member's extent ends at the next
  // higher local header, or at the directory. Of members sharing a header,
  // the stable order puts the one listed first lowest; the others are twins.
  uint64_t next_higher = UINT64_MAX;
  for (size_t i = order.size(); i-- > 0;) {
    Member& member = members_[order[i]];
    const uint64_t offset = member.local_header_offset;
    const bool twin = i > 0 && members_[order[i - 1]].local_header_offset == offset;
    member.shares_local_header = twin;
    member.extent_end = offset >= directory_start ? offset : std::min(next_higher, directory_start);
    if (!twin) next_higher = offset;
  }
}

void Directory::BuildIndexes() {
  const auto name_of = [this](uint32_t index) { return name(index); };
  const auto count = static_cast<uint32_t>(members_.size());
  exact_.Build(count, NameIndex::Match::kExact, name_of);
  folded_.Build(count, NameIndex::Match::kIgnoringAsciiCase, name_of);
}

std::string_view Directory::name(size_t index) const {
  const Member& member = members_[index];
  return std::string_view(names_).substr(member.name_offset, member.name_length);
}

bool Directory::IsFolder(size_t index) const {
  const std::string_view text = name(index);
  return !text.empty() && (text.back() == '/' || text.back() == '\\');
}

std::optional<uint32_t> Directory::Find(std::string_view name, bool fold_case) const {
  const auto name_of = [this](uint32_t index) { return this->name(index); };
  if (auto exact = exact_.Find(name, name_of)) return exact;
  if (fold_case) return folded_.Find(name, name_of);
  return std::nullopt;
}

}  // namespace kv::zip
