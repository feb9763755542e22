// Fuzz target: a whole archive scan, nested archives included, of an archive
// file of arbitrary bytes, through the built unzip library (by index, or by
// name as with a library that lacks our own operations) and a tiny
// signature table, with small budgets. Every report must fit a host's path
// buffer and carry a record only when detected, and the scan's scratch
// folders must be gone once the scanner is.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "archive_scan_pests.h"
#include "common/pest_information.h"
#include "database/pest_database.h"
#include "exclusions/exclusion_list.h"
#include "platform/modules.h"
#include "platform/paths.h"
#include "platform/processes.h"
#include "platform/scratch_folder.h"
#include "scan/archive_scan.h"
#include "scan/file_masks.h"
#include "scan/scan_control.h"
#include "scan/unzip_library.h"
#include "support/signature_file.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

// Mode 1 (every member the masks pass), no size cap, never paused.
class FuzzControl final : public kv::ScanControl {
 public:
  void WaitWhilePaused() override {}
  bool StopRequested() const override { return false; }
  int32_t ScanMode() const override { return 1; }
  uint32_t MaxScanFileSize() const override { return 0x7FFFFFFF; }
};

// Everything the scans share, made once: the folder holding the table and
// the archives (removed at exit), the database, the exclusions, the masks
// and the library.
struct Services {
  Services() {
    std::random_device random;
    folder = fs::temp_directory_path() / ("fuzz_archive_scan-" + std::to_string(random()));
    fs::create_directories(folder);
    std::vector<kv::test::SignatureRecord> records;
    for (const kv::fuzz::FuzzPest& pest : kv::fuzz::kFuzzPests) {
      records.push_back({pest.pest_id, kv::fuzz::FuzzPestPvt(pest), pest.size, pest.name});
    }
    const std::string table = (folder / "KVFILE.DAT").string();
    kv::test::WriteFileBytes(table, kv::test::SignatureFile(records));
    if (database.LoadSignatures(table.c_str()) != kv::Status::kOk) std::abort();
    masks.Set(kv::kDefaultFileMasks);
    unzip = kv::UnzipLibrary::Load(KV_UNZIP32_PATH);
    if (!unzip.ready || unzip.list_indexed == nullptr) std::abort();
    // Small bounds keep every input quick.
    using SetMaxMemberSize = uint32_t(UNZIP32_CALL*)(uint32_t);
    auto set_max = reinterpret_cast<SetMaxMemberSize>(
        kv::platform::FindLibrarySymbol(unzip.module, "kvUnzipSetMaxMemberSize"));
    if (set_max == nullptr) std::abort();
    set_max(4u << 20);
    // A library without our indexed operations is driven by name.
    classic = unzip;
    classic.list_indexed = nullptr;
    classic.unzip_to_memory_by_index = nullptr;
    limits.max_depth = 6;
    limits.max_members = 2'000;
    limits.max_extracted_bytes = 16u << 20;
  }
  ~Services() {
    database.Shutdown();
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }

  fs::path folder;
  kv::PestDatabase database;
  kv::ExclusionList exclusions{
      kv::ExclusionListOptions{.file_path = [this] { return (folder / "excluded.dat").string(); },
                               .show_message = [](const char*) {}}};
  kv::FileMasks masks;
  FuzzControl control;
  kv::UnzipLibrary unzip;
  kv::UnzipLibrary classic;
  kv::ArchiveLimits limits;
};

Services* g_services = nullptr;
int32_t g_reports = 0;

int32_t KV_CDECL Check(char* path, int32_t detected, _PEST_INFORMATION* info, int32_t) {
  const size_t length = std::strlen(path);
  if (length > kv::kMaxReportedPathLength) std::abort();
  if ((detected != 0) != (info != nullptr)) std::abort();
  if (info != nullptr && std::strcmp(info->lpszFileName, path) != 0) std::abort();
  kv::DeletePestInformation(info);
  ++g_reports;
  return 1;
}

// The scratch folders this process has left in the temporary folder.
bool ScratchFoldersLeft() {
  const std::string prefix = std::string(kv::platform::kScratchFolderPrefix) +
                             std::to_string(kv::platform::CurrentProcessId()) + "-";
  std::error_code error;
  for (fs::directory_iterator it(kv::platform::TemporaryFolder(), error), end; !error && it != end;
       it.increment(error)) {
    if (it->path().filename().string().rfind(prefix, 0) == 0) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static Services services;
  g_services = &services;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Services& services = *g_services;
  // A new name for every input: the library caches the last directory it
  // read by path, identity, size and time.
  static uint64_t serial = 0;
  const std::string archive =
      (services.folder / ("archive" + std::to_string(serial++) + ".zip")).string();
  {
    std::ofstream out(archive, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  // Odd lengths go through the classic interface, by name.
  const kv::UnzipLibrary& unzip = size % 2 == 0 ? services.unzip : services.classic;
  const kv::ScanServices scan_services{
      services.database, services.exclusions, services.masks, services.control, unzip,
      services.limits};
  const kv::ScanTarget target{&Check, nullptr, 0};
  g_reports = 0;
  int32_t count = 0;
  {
    kv::ArchiveScanner scanner(scan_services, target);
    count = scanner.Scan(archive.c_str(), archive);
  }
  if (count != g_reports) std::abort();
  if (ScratchFoldersLeft()) std::abort();
  fs::remove(archive);
  return 0;
}
