// Listing an archive's members through the published per-member callback or
// our indexed one, and picking members by include and exclude lists.
#include <algorithm>
#include <limits>
#include <string>

#include "call_context.h"
#include "operations.h"

namespace kv::unzip32 {
namespace {

uint32_t Saturated(uint64_t value) {
  return static_cast<uint32_t>(std::min<uint64_t>(value, std::numeric_limits<uint32_t>::max()));
}

uint32_t PercentSaved(uint64_t compressed, uint64_t uncompressed) {
  if (uncompressed == 0 || compressed >= uncompressed) return 0;
  const double saved = 100.0 * static_cast<double>(uncompressed - compressed) / uncompressed;
  return static_cast<uint32_t>(saved + 0.5);
}

std::string MethodText(const zip::Member& member) {
  if (member.method == zip::kMethodStored) return "Stored";
  if (member.method == zip::kMethodDeflated) {
    static constexpr char kLevels[] = {'N', 'X', 'F', 'S'};  // normal, maximum, fast, superfast
    return std::string("Defl:") + kLevels[(member.flags >> 1) & 3];
  }
  return "Unk:" + std::to_string(member.method);
}

void SendMember(const zip::Directory& directory, uint32_t index, Unzip32MemberFn send) {
  const zip::Member& member = directory.member(index);
  const std::string name(directory.name(index));
  const std::string method = MethodText(member);
  const uint32_t day = member.dos_date & 0x1F;
  const uint32_t month = (member.dos_date >> 5) & 0x0F;
  const uint32_t year = 1980 + (member.dos_date >> 9);
  const uint32_t minute = (member.dos_time >> 5) & 0x3F;
  const uint32_t hour = member.dos_time >> 11;
  send(Saturated(member.uncompressed_size), Saturated(member.compressed_size),
       PercentSaved(member.compressed_size, member.uncompressed_size), month, day, year, hour,
       minute, directory.IsFolder(index) ? '/' : ' ', name.c_str(), method.c_str(), member.crc32,
       member.encrypted() ? 1 : 0);
}

// Each listed name picks one member, as extraction by name does.
std::vector<uint32_t> Picked(const zip::Directory& directory, int count, char** names,
                             bool fold_case, int* unmatched) {
  std::vector<uint32_t> picked;
  for (int i = 0; i < count && names != nullptr; ++i) {
    if (names[i] == nullptr) break;
    if (auto index = directory.Find(names[i], fold_case)) {
      picked.push_back(*index);
    } else if (unmatched != nullptr) {
      ++*unmatched;
    }
  }
  std::sort(picked.begin(), picked.end());
  picked.erase(std::unique(picked.begin(), picked.end()), picked.end());
  return picked;
}

}  // namespace

std::vector<uint32_t> SelectMembers(const zip::Directory& directory, int include_count,
                                    char** include_names, int exclude_count, char** exclude_names,
                                    bool fold_case, int* unmatched) {
  *unmatched = 0;
  std::vector<uint32_t> included;
  if (include_count > 0) {
    included = Picked(directory, include_count, include_names, fold_case, unmatched);
  } else {
    included.resize(directory.size());
    for (uint32_t i = 0; i < included.size(); ++i) included[i] = i;
  }
  const std::vector<uint32_t> excluded =
      Picked(directory, exclude_count, exclude_names, fold_case, nullptr);
  std::vector<uint32_t> selected;
  std::set_difference(included.begin(), included.end(), excluded.begin(), excluded.end(),
                      std::back_inserter(selected));
  return selected;
}

int ListMembers(const Unzip32Options& options, int include_count, char** include_names,
                int exclude_count, char** exclude_names, Unzip32Callbacks* callbacks) {
  OpenArchive archive;
  if (int result = Open(options.archivePath, callbacks, &archive); result != UNZIP32_OK) {
    return result;
  }
  const zip::Directory& directory = *archive.directory;
  int unmatched = 0;
  const std::vector<uint32_t> selected =
      SelectMembers(directory, include_count, include_names, exclude_count, exclude_names,
                    options.caseInsensitive != 0, &unmatched);
  uint64_t total_compressed = 0;
  uint64_t total_uncompressed = 0;
  for (uint32_t index : selected) {
    const zip::Member& member = directory.member(index);
    if (callbacks->service != nullptr &&
        callbacks->service(std::string(directory.name(index)).c_str(),
                           Saturated(member.uncompressed_size)) != 0) {
      return UNZIP32_CANCELLED;
    }
    if (callbacks->sendMember != nullptr) SendMember(directory, index, callbacks->sendMember);
    total_compressed += member.compressed_size;
    total_uncompressed += member.uncompressed_size;
  }
  callbacks->totalCompressed = Saturated(total_compressed);
  callbacks->totalUncompressed = Saturated(total_uncompressed);
  callbacks->percentSaved = PercentSaved(total_compressed, total_uncompressed);
  callbacks->memberCount = static_cast<uint32_t>(selected.size());
  callbacks->commentLength = directory.comment_length();
  return unmatched > 0 ? UNZIP32_NO_MATCH : UNZIP32_OK;
}

int ListIndexed(const char* archive_path, Unzip32IndexedMemberFn callback, void* context) {
  if (callback == nullptr) return UNZIP32_BAD_PARAMETERS;
  OpenArchive archive;
  if (int result = Open(archive_path, nullptr, &archive); result != UNZIP32_OK) return result;
  const zip::Directory& directory = *archive.directory;
  for (uint32_t index = 0; index < directory.size(); ++index) {
    const std::string name(directory.name(index));
    callback(context, index, Saturated(directory.member(index).uncompressed_size), name.c_str(),
             static_cast<uint32_t>(name.size()));
  }
  return UNZIP32_OK;
}

}  // namespace kv::unzip32
