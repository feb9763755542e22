// Parsing KVINFO.DAT records and copying them out for hosts.
#include "database/pest_info_table.h"

#include <cstring>
#include <memory>
#include <optional>

#include "common/record_layout.h"
#include "database/data_file.h"

namespace kv {
namespace {

// The NUL-terminated string at `offset` in `area`, or nullopt when it is not
// terminated inside the area.
std::optional<std::string_view> StringAt(std::span<const uint8_t> area, uint32_t offset) {
  if (offset >= area.size()) return std::nullopt;
  const auto* start = reinterpret_cast<const char*>(area.data() + offset);
  const void* end = std::memchr(start, '\0', area.size() - offset);
  if (end == nullptr) return std::nullopt;
  return std::string_view(start, static_cast<const char*>(end) - start);
}

char* CopyString(const std::string& text) {
  char* copy = new char[text.size() + 1];
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

struct DetailedPestInformationDeleter {
  void operator()(_DETAILED_PEST_INFORMATION* record) const { FreeDetailedPestInformation(record); }
};

}  // namespace

Status PestInfoTable::Load(const char* path) {
  return StatusOfLoad([&] {
    DecodedDataFile decoded;
    const Status status = ReadDataFile(path, DateCheck::kBeforeCheckWord, &decoded);
    if (status == Status::kOk) Parse(decoded.payload.span(), decoded.record_count);
    return status;
  });
}

void PestInfoTable::Parse(std::span<const uint8_t> payload, int32_t record_count) {
  const size_t most = payload.size() / kMinPestInfoRecordSize;
  const size_t wanted = record_count < 0 ? 0 : std::min(static_cast<size_t>(record_count), most);
  std::vector<PestInfoRecord> records;
  records.reserve(wanted);

  size_t position = 0;
  while (records.size() < wanted && payload.size() - position >= kMinPestInfoRecordSize) {
    const PestInfoHead head = ReadPestInfoHead(payload.data() + position);
    const std::span<const uint8_t> area = payload.subspan(position + kPestInfoHeadSize);
    PestInfoRecord record;
    record.pest_id = head.pest_id;
    bool whole = true;
    for (size_t text = 0; text < kPestTextCount && whole; ++text) {
      const std::optional<std::string_view> string = StringAt(area, head.text_offsets[text]);
      whole = string.has_value();
      if (whole) record.texts[text] = std::string(*string);
    }
    if (!whole) break;
    // The record ends with the terminator of its last text's string.
    position += kPestInfoHeadSize + head.text_offsets[kLastTextOfRecord] +
                record.texts[kLastTextOfRecord].size() + 1;
    records.push_back(std::move(record));
  }
  records_ = std::move(records);
}

const PestInfoRecord* PestInfoTable::At(int32_t index) const {
  if (index < 0 || index >= count()) return nullptr;
  return &records_[static_cast<size_t>(index)];
}

const PestInfoRecord* PestInfoTable::ById(uint32_t pest_id) const {
  for (const PestInfoRecord& record : records_) {
    if (record.pest_id == pest_id) return &record;
  }
  return nullptr;
}

_DETAILED_PEST_INFORMATION* CopyForHost(const PestInfoRecord& record) {
  // Owned here until whole: a copy that throws releases what came before.
  std::unique_ptr<_DETAILED_PEST_INFORMATION, DetailedPestInformationDeleter> copy(
      new _DETAILED_PEST_INFORMATION{});
  copy->dwPestID = record.pest_id;
  char** fields[5] = {&copy->lpszText1, &copy->lpszText2, &copy->lpszText3, &copy->lpszText4,
                      &copy->lpszText5};
  for (size_t i = 0; i < 5; ++i) *fields[i] = CopyString(record.texts[i]);
  return copy.release();
}

void FreeDetailedPestInformation(_DETAILED_PEST_INFORMATION* record) {
  if (record == nullptr) return;
  delete[] record->lpszText1;
  delete[] record->lpszText2;
  delete[] record->lpszText3;
  delete[] record->lpszText4;
  delete[] record->lpszText5;
  delete record;
}

}  // namespace kv
