// The built unzip library, loaded from the build folder as a host loads it,
// with its exports as typed function pointers; and the listing callback's
// collector.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "unzip32.h"

namespace kv::test {

class Unzip32Library {
 public:
  // The library of this build, loaded once per process.
  static const Unzip32Library& Get();

  bool complete() const;
  const std::string& path() const { return path_; }

  decltype(&Wiz_Init) init = nullptr;
  decltype(&Wiz_SetOpts) set_options = nullptr;
  decltype(&Wiz_SingleEntryUnzip) single_entry_unzip = nullptr;
  decltype(&Wiz_UnzipToMemory) unzip_to_memory = nullptr;
  decltype(&UzpFreeMemBuffer) free_memory_buffer = nullptr;
  decltype(&kvUnzipListIndexed) list_indexed = nullptr;
  decltype(&kvUnzipToMemoryByIndex) unzip_to_memory_by_index = nullptr;
  decltype(&kvUnzipSetMaxMemberSize) set_max_member_size = nullptr;

 private:
  Unzip32Library();
  std::string path_;
};

// One member as the published listing callback reported it.
struct ListedMember {
  uint32_t size = 0;
  uint32_t compressed_size = 0;
  uint32_t percent_saved = 0;
  uint32_t month = 0, day = 0, year = 0, hour = 0, minute = 0;
  char marker = 0;
  std::string name;
  std::string method;
  uint32_t crc = 0;
  char encrypted = 0;
};

// Lists `archive` with the option and callback records set as the engine
// sets them for a listing. Returns the library's result.
int ListAsEngine(const std::string& archive, std::vector<ListedMember>* members,
                 Unzip32Callbacks* callbacks_out = nullptr);

// Extracts by name as the engine does (password query answering the empty
// password unless `password` is given); the bytes, or nothing on failure.
struct Extracted {
  bool ok = false;
  std::vector<uint8_t> bytes;
};
Extracted ExtractByName(const std::string& archive, const std::string& member,
                        const char* password = "");
Extracted ExtractByIndex(const std::string& archive, uint32_t index, const char* password = "");
// The member names the password query was asked for since the last call.
std::vector<std::string> TakePasswordQueries();

// Extracts the members named by `include` into `folder` with the options
// the engine gives a nested archive's extraction; `replace` answers the
// overwrite query (-1: no query callback). Returns the library's result.
int ExtractToFolder(const std::string& archive, const std::vector<std::string>& include,
                    const std::string& folder, int replace = 1);

}  // namespace kv::test
