// Payload records written and checked through the heads of
// common/record_layout.h: a signature's head, gap and name; an information
// record's head and its five strings.
#include "records.h"

#include <algorithm>
#include <cstring>

namespace kv::datwriter {
namespace {

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

}  // namespace

void AppendSignatureRecord(const SignatureRecord& record, std::vector<uint8_t>* payload) {
  const SignatureHead head = {
      record.pest_id, record.pvt,       record.extra1, record.extra2,
      record.alt_key, record.file_size, record.unread, static_cast<uint32_t>(record.gap.size())};
  const size_t at = payload->size();
  payload->resize(at + kSignatureHeadSize);
  WriteSignatureHead(head, payload->data() + at);
  payload->insert(payload->end(), record.gap.begin(), record.gap.end());
  AppendString(record.name, payload);
}

void AppendInfoRecord(const InfoRecord& record, std::vector<uint8_t>* payload) {
  // Strings stand as text 1, 2, 3, 4, 5, so that the last text's string
  // ends the record, where a reader looks for the next one.
  static_assert(kLastTextOfRecord == kPestTextCount - 1);
  PestInfoHead head;
  head.pest_id = record.pest_id;
  uint32_t position = 0;
  for (size_t t = 0; t < kPestTextCount; ++t) {
    head.text_offsets[t] = position;
    position += static_cast<uint32_t>(record.texts[t].size() + 1);
  }
  const size_t at = payload->size();
  payload->resize(at + kPestInfoHeadSize);
  WritePestInfoHead(head, payload->data() + at);
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
    const SignatureHead head = ReadSignatureHead(payload.data() + position);
    SignatureRecord record;
    record.pest_id = head.pest_id;
    record.pvt = head.pvt;
    record.extra1 = head.extra1;
    record.extra2 = head.extra2;
    record.alt_key = head.alt_key;
    record.file_size = head.file_size;
    record.unread = head.unread;
    const uint32_t gap = head.gap_length;
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

std::optional<std::vector<InfoRecord>> ReadInfoRecords(std::span<const uint8_t> payload,
                                                       size_t count, std::string* error) {
  std::vector<InfoRecord> records;
  size_t position = 0;
  for (size_t i = 0; i < count; ++i) {
    const auto fail = [&](const std::string& what) {
      *error = "record " + std::to_string(i) + " at byte " + std::to_string(position) + ": " + what;
      return std::nullopt;
    };
    if (payload.size() - position < kPestInfoHeadSize) return fail("head runs past the payload");
    const PestInfoHead head = ReadPestInfoHead(payload.data() + position);
    InfoRecord record;
    record.pest_id = head.pest_id;
    const size_t area = position + kPestInfoHeadSize;
    for (size_t t = 0; t < kPestTextCount; ++t) {
      const uint32_t offset = head.text_offsets[t];
      if (offset > payload.size() - area) {
        return fail("the offset of text " + std::to_string(t + 1) + " points past the payload");
      }
      const std::optional<std::string> text = StringAt(payload, area + offset, payload.size());
      if (!text) return fail("text has no terminator inside the payload");
      record.texts[t] = *text;
    }
    position =
        area + head.text_offsets[kLastTextOfRecord] + record.texts[kLastTextOfRecord].size() + 1;
    records.push_back(std::move(record));
  }
  if (position != payload.size()) {
    *error = std::to_string(payload.size() - position) + " bytes follow the last record";
    return std::nullopt;
  }
  return records;
}

}  // namespace kv::datwriter
