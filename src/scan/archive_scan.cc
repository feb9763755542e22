// The archive scanner. Members are examined in the archive's order; a
// member's nested archive, if any, is scanned right after the member is
// reported, so reports come depth first.
#include "scan/archive_scan.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "common/ascii.h"
#include "common/head_crc.h"
#include "common/pest_information.h"
#include "platform/paths.h"
#include "scan/file_identification.h"
#include "scan/fingerprint.h"

namespace kv {
namespace {

bool NameHoldsZip(const std::string& name) {
  static constexpr char kZip[] = ".ZIP";
  const auto found = std::search(name.begin(), name.end(), kZip, kZip + 4,
                                 [](char a, char b) { return ToUpperAscii(a) == b; });
  return found != name.end();
}

}  // namespace

std::string ArchiveDisplayName(const std::string& prefix, const std::string& member_name) {
  std::string name;
  name.reserve(prefix.size() + 1 + member_name.size());
  name += prefix;
  name += '|';
  name += member_name;
  return CutToFit(name);
}

bool LooksLikeNestedArchive(const std::string& member_name, const MemberBytes* bytes) {
  if (NameHoldsZip(member_name)) return true;
  return bytes != nullptr && bytes->size() >= 2 && bytes->data()[0] == 0x50 &&
         bytes->data()[1] == 0x4B;
}

int32_t ArchiveScanner::Scan(const char* path, const std::string& prefix) {
  if (!services_.unzip.ready) return 0;
  budget_ = Budget{};
  return ScanLevel(path, prefix, 1);
}

bool ArchiveScanner::WithinBudget() const {
  const ArchiveLimits& limits = services_.archive_limits;
  return budget_.members <= limits.max_members &&
         budget_.extracted_bytes <= limits.max_extracted_bytes;
}

bool ArchiveScanner::IsCandidate(const ArchiveMember& member) const {
  if (member.size > services_.control.MaxScanFileSize()) return false;
  // Only mode 1 lifts the size pre-selection for members.
  if (services_.control.ScanMode() != 1 && !HasSignatureOfSize(services_.database, member.size)) {
    return false;
  }
  return services_.masks.Matches(member.name.c_str());
}

bool ArchiveScanner::Extract(const char* path, const ArchiveMember& member, MemberBytes* bytes) {
  if (!reader_.Extract(path, member, bytes)) return false;
  budget_.extracted_bytes += bytes->size();
  return true;
}

_PEST_INFORMATION* ArchiveScanner::Identify(const MemberBytes& bytes, const ArchiveMember& member,
                                            const std::string& display_name) {
  // Fingerprinted exactly as a file of the same bytes on disk would be.
  if (bytes.size() == 0) return nullptr;
  const uint32_t head_crc = HeadCrc(std::span(bytes.data(), bytes.size()));
  PestDatabase::Reader reader = services_.database.Read();
  const _PEST_SIGNATURE* found = reader.FindPest(head_crc, kNoFingerprint, 0, 0);
  if (found == nullptr) return nullptr;
  _PEST_INFORMATION* info = NewPestInformation(*found, display_name.c_str());
  if (info != nullptr) info->bSizeMatch = SizeMatches(reader, member.size, found->dwPestID);
  return info;
}

int32_t ArchiveScanner::ScanNested(MemberBytes bytes, const std::string& prefix, int depth) {
  if (!scratch_) scratch_ = platform::ScratchFolder::Create();
  if (!scratch_) return 0;
  const std::optional<std::string> copy = scratch_->WriteFile(bytes.data(), bytes.size());
  // The copy on disk is all the library reads: the memory goes before the
  // deeper levels take theirs.
  bytes = MemberBytes();
  if (!copy) return 0;
  const int32_t count = ScanLevel(copy->c_str(), prefix, depth);
  platform::RemoveFile(copy->c_str());
  return count;
}

int32_t ArchiveScanner::ScanLevel(const char* path, const std::string& prefix, int depth) {
  std::vector<ArchiveMember> members;
  if (!reader_.List(path, &members)) return 0;
  budget_.members += members.size();

  int32_t count = 0;
  for (const ArchiveMember& member : members) {
    if (services_.control.StopRequested()) break;
    const bool open_more = WithinBudget();
    const bool candidate = IsCandidate(member);
    std::string display_name;
    MemberBytes bytes;
    bool extracted = false;
    if (candidate) {
      display_name = ArchiveDisplayName(prefix, member.name);
      extracted = open_more && Extract(path, member, &bytes);
      // A member the library cannot extract is neither reported nor counted;
      // one left unextracted by the budget is reported undetected.
      if (open_more && !extracted) continue;
      _PEST_INFORMATION* info = extracted ? Identify(bytes, member, display_name) : nullptr;
      ++count;
      if (!target_.Report(display_name.data(), info)) break;
    }

    if (depth >= services_.archive_limits.max_depth || !WithinBudget()) continue;
    if (!LooksLikeNestedArchive(member.name, extracted ? &bytes : nullptr)) continue;
    if (!extracted && !Extract(path, member, &bytes)) continue;
    if (!WithinBudget()) continue;
    if (display_name.empty()) display_name = ArchiveDisplayName(prefix, member.name);
    count += ScanNested(std::move(bytes), display_name, depth + 1);
  }
  return count;
}

}  // namespace kv
