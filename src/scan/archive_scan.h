// Scanning the members of ZIP archives: each candidate member is extracted
// into memory, fingerprinted and reported as "archive|member"; archives
// inside archives are written to the walk's private scratch folder and
// scanned in turn, depth first, within bounds a crafted archive cannot
// escape.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/scratch_folder.h"
#include "scan/archive_members.h"
#include "scan/scan_control.h"

namespace kv {

// The archive scanner of one walk. It keeps the walk's scratch folder,
// made when the first nested archive needs it and removed with everything
// in it when the scanner goes.
class ArchiveScanner {
 public:
  ArchiveScanner(const ScanServices& services, const ScanTarget& target)
      : services_(services), target_(target), reader_(services.unzip) {}

  // Reports the members of the archive at `path` under `prefix` + "|" +
  // member name, members of nested archives under longer names, each
  // member before its own members. Returns the number of reports; 0 when
  // the unzip library is not ready or the archive cannot be listed. A 0
  // from the callback ends the member loop of the archive it came from.
  int32_t Scan(const char* path, const std::string& prefix);

 private:
  struct Budget {
    uint64_t members = 0;
    uint64_t extracted_bytes = 0;
  };

  int32_t ScanLevel(const char* path, const std::string& prefix, int depth);
  // True when the member passes the size, size pre-selection and mask
  // rules for being extracted and reported.
  bool IsCandidate(const ArchiveMember& member) const;
  bool Extract(const char* path, const ArchiveMember& member, MemberBytes* bytes);
  _PEST_INFORMATION* Identify(const MemberBytes& bytes, const ArchiveMember& member,
                              const std::string& display_name);
  // Writes a nested archive's bytes to the scratch folder and scans it.
  int32_t ScanNested(MemberBytes bytes, const std::string& prefix, int depth);
  bool WithinBudget() const;

  const ScanServices& services_;
  const ScanTarget& target_;
  ArchiveReader reader_;
  Budget budget_;
  std::unique_ptr<platform::ScratchFolder> scratch_;
};

// The name a member is reported under: `prefix`, "|", the member's name,
// cut to fit a report as the walk cuts its paths.
std::string ArchiveDisplayName(const std::string& prefix, const std::string& member_name);

// True when a member is opened as a nested archive: its name holds ".ZIP"
// in any case, or its extracted bytes start with "PK".
bool LooksLikeNestedArchive(const std::string& member_name, const MemberBytes* bytes);

}  // namespace kv
