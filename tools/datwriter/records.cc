// Record layouts: a signature is a 32-byte head of eight words, the gap and
// the name; an information record is the id, five string offsets (the third
// and fourth crossed) and the string area.
#include "records.h"

#include <algorithm>
#include <cstring>

#include "common/byte_order.h"

namespace kv::datwriter {
namespace {

void AppendWord(uint32_t value, std::vector<uint8_t>* out) {
  uint8_t bytes[4];
  StoreLe32(bytes, value);
  out->insert(out->end(), bytes, bytes + 4);
}

void AppendString(const std::string& text, std::vector<uint8_t>* out) {
  out->insert(out->end(), text.begin(), text.end());
  out->push_back(0);
}

// The NUL-terminated string at `from`, or nullopt when no NUL comes before
// `end`.
std::optional<std::string> StringAt(std::span<const uint8_t> payload, size_t from, size_t end) {
  if (from >= end) return std::nullopt;
  const uint8_t* start = payload.data() + from;
  const void* nul = std::memchr(start, 0, end - from);
  if (nul == nullptr) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(start),
                     static_cast<const uint8_t*>(nul) - start);
}

// Order of the strings in the area, and which text each offset designates:
// the file's third offset points at text 4, the fourth at text 3.
constexpr size_t kTextOfOffset[kPestTextCount] = {0, 1, 3, 2, 4};

}  // namespace

void AppendSignatureRecord(const SignatureRecord& record, std::vector<uint8_t>* payload) {
  AppendWord(record.pest_id, payload);
  AppendWord(record.pvt, payload);
  AppendWord(record.extra1, payload);
  AppendWord(record.extra2, payload);
  AppendWord(record.alt_key, payload);
  AppendWord(record.file_size, payload);
  AppendWord(record.unread, payload);
  AppendWord(static_cast<uint32_t>(record.gap.size()), payload);
  payload->insert(payload->end(), record.gap.begin(), record.gap.end());
  AppendString(record.name, payload);
}

void AppendPestInfoRecord(const PestInfoRecord& record, std::vector<uint8_t>* payload) {
  // Strings stand as text 1, 2, 3, 4, 5; text 5 must come last, since a
  // reader finds the next record after it.
  std::array<uint32_t, kPestTextCount> text_offsets{};
  uint32_t position = 0;
  for (size_t t = 0; t < kPestTextCount; ++t) {
    text_offsets[t] = position;
    position += static_cast<uint32_t>(record.texts[t].size() + 1);
  }
  AppendWord(record.pest_id, payload);
  for (size_t slot = 0; slot < kPestTextCount; ++slot) {
    AppendWord(text_offsets[kTextOfOffset[slot]], payload);
  }
  for (const std::string& text : record.texts) AppendString(text, payload);
}

void SortBySize(std::vector<SignatureRecord>* records) {
  std::stable_sort(
      records->begin(), records->end(),
      [](const SignatureRecord& a, const SignatureRecord& b) { return a.file_size < b.file_size; });
}

std::optional<std::vector<SignatureRecord>> ReadSignatureRecords(std::span<const uint8_t> payload,
                                                                 size_t count, std::string* error) {
  std::vector<SignatureRecord> records;
  size_t position = 0;
  for (size_t i = 0; i < count; ++i) {
    const auto fail = [&](const char* what) {
      *error = "record " + std::to_string(i) + " at byte " + std::to_string(position) + ": " + what;
      return std::nullopt;
    };
    if (payload.size() - position < kSignatureHeadSize) return fail("head runs past the payload");
    const uint8_t* head = payload.data() + position;
    SignatureRecord record;
    record.pest_id = LoadLe32(head);
    record.pvt = LoadLe32(head + 4);
    record.extra1 = LoadLe32(head + 8);
    record.extra2 = LoadLe32(head + 12);
    record.alt_key = LoadLe32(head + 16);
    record.file_size = LoadLe32(head + 20);
    record.unread = LoadLe32(head + 24);
    const uint32_t gap = LoadLe32(head + 28);
    const size_t gap_start = position + kSignatureHeadSize;
    if (payload.size() - gap_start < gap) return fail("gap runs past the payload");
    record.gap.assign(payload.begin() + gap_start, payload.begin() + gap_start + gap);
    const std::optional<std::string> name = StringAt(payload, gap_start + gap, payload.size());
    if (!name) return fail("name has no terminator inside the payload");
    record.name = *name;
    position = gap_start + gap + name->size() + 1;
    records.push_back(std::move(record));
  }
  if (position != payload.size()) {
    *error = std::to_string(payload.size() - position) + " bytes follow the last record";
    return std::nullopt;
  }
  return records;
}

std::optional<std::vector<PestInfoRecord>> ReadPestInfoRecords(std::span<const uint8_t> payload,
                                                               size_t count, std::string* error) {
  std::vector<PestInfoRecord> records;
  size_t position = 0;
  for (size_t i = 0; i < count; ++i) {
    const auto fail = [&](const std::string& what) {
      *error = "record " + std::to_string(i) + " at byte " + std::to_string(position) + ": " + what;
      return std::nullopt;
    };
    if (payload.size() - position < kPestInfoHeadSize) return fail("head runs past the payload");
    PestInfoRecord record;
    record.pest_id = LoadLe32(payload.data() + position);
    const size_t area = position + kPestInfoHeadSize;
    size_t next = area;
    for (size_t slot = 0; slot < kPestTextCount; ++slot) {
      const uint32_t offset = LoadLe32(payload.data() + position + 4 + 4 * slot);
      if (offset > payload.size() - area) {
        return fail("offset " + std::to_string(slot + 1) + " points past the payload");
      }
      const std::optional<std::string> text = StringAt(payload, area + offset, payload.size());
      if (!text) return fail("text has no terminator inside the payload");
      record.texts[kTextOfOffset[slot]] = *text;
      if (slot == kPestTextCount - 1) next = area + offset + text->size() + 1;
    }
    position = next;
    records.push_back(std::move(record));
  }
  if (position != payload.size()) {
    *error = std::to_string(payload.size() - position) + " bytes follow the last record";
    return std::nullopt;
  }
  return records;
}

}  // namespace kv::datwriter
