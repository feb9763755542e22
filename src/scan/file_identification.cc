// The walk's identification of one open file.
#include "scan/file_identification.h"

#include <algorithm>

#include "common/pest_information.h"

namespace kv {
namespace {

bool Matches(uint32_t crc, uint32_t pvt) {
  return crc != kNoFingerprint && crc != 0 && (pvt == crc || pvt == ~crc);
}

_PEST_INFORMATION* NewRecord(const _PEST_SIGNATURE& signature, const char* file_name,
                             int32_t size_match) {
  _PEST_INFORMATION* info = NewPestInformation(signature, file_name);
  if (info != nullptr) info->bSizeMatch = size_match;
  return info;
}

}  // namespace

void FileHead::ReadTo(size_t length) {
  if (length <= asked_) return;
  file_.ReadUpTo(bytes_.data() + asked_, length - asked_);
  asked_ = length;
}

bool FileHead::StartsLikeZip() {
  if (size_ < 2) return false;
  ReadTo(whole_head_ ? static_cast<size_t>(std::min<uint64_t>(size_, kHeadCrcLength)) : 2);
  return bytes_[0] == 0x50 && bytes_[1] == 0x4B;
}

uint32_t FileHead::HeadCrc() {
  if (size_ == 0 || size_ > 0xFFFFFFFFu) return kNoFingerprint;
  const auto length = static_cast<size_t>(std::min<uint64_t>(size_, kHeadCrcLength));
  ReadTo(length);
  return kv::HeadCrc(std::span(bytes_.data(), length));
}

bool HasSignatureOfSize(PestDatabase& database, uint32_t size) {
  PestDatabase::Reader reader = database.Read();
  return reader.FirstWithSize(size) != nullptr;
}

int32_t SizeMatches(PestDatabase::Reader& reader, uint32_t size, uint32_t pest_id) {
  for (const _PEST_SIGNATURE* signature = reader.FirstWithSize(size); signature != nullptr;
       signature = reader.NextWithSize()) {
    if (signature->dwPestID == pest_id) return 1;
  }
  return 0;
}

_PEST_INFORMATION* IdentifyFile(FileHead& head, uint64_t size, SizeSelection selection,
                                PestDatabase& database, const char* file_name) {
  if (size == 0 || size > 0xFFFFFFFFu) return nullptr;
  const auto size32 = static_cast<uint32_t>(size);
  if (selection == SizeSelection::kExactSizeOnly && !HasSignatureOfSize(database, size32)) {
    return nullptr;
  }
  const uint32_t head_crc = head.HeadCrc();
  if (head_crc == kNoFingerprint) return nullptr;

  PestDatabase::Reader reader = database.Read();
  if (selection == SizeSelection::kAnySize) {
    const _PEST_SIGNATURE* found = reader.FindPest(head_crc, kNoFingerprint, 0, 0);
    if (found == nullptr) return nullptr;
    return NewRecord(*found, file_name, SizeMatches(reader, size32, found->dwPestID));
  }
  for (const _PEST_SIGNATURE* candidate = reader.FirstWithSize(size32); candidate != nullptr;
       candidate = reader.NextWithSize()) {
    // A candidate has the file's size, so its own pest always size-matches.
    if (Matches(head_crc, candidate->dwPVT)) return NewRecord(*candidate, file_name, 1);
  }
  return nullptr;
}

}  // namespace kv
