// Data-file writers: record layouts as the engine reads them, and the
// container accepted by the engine's own reader.
#include "records.h"

#include <gtest/gtest.h>

#include "block_compressor.h"
#include "common/byte_order.h"
#include "container.h"
#include "database/data_file.h"
#include "support/test_files.h"

namespace kv::datwriter {
namespace {

TEST(SignatureRecords, HeadGapAndNameRoundTrip) {
  const std::vector<SignatureRecord> records = {
      {1, 0x11223344, 5, 6, 7, 68, 0, {}, "A"},
      {2, 0xCAFEBABE, 0, 0, 0, 4097, 0xFFFFFFFF, {0xAA, 0xBB, 0xCC}, "Gap.Pest"},
  };
  std::vector<uint8_t> payload;
  for (const auto& record : records) AppendSignatureRecord(record, &payload);
  // Gap length 0: the name follows the 32-byte head directly.
  EXPECT_EQ(payload[32], 'A');
  EXPECT_EQ(payload[33], 0);
  EXPECT_EQ(LoadLe32(&payload[34 + 28]), 3u);
  std::string error;
  const auto read = ReadSignatureRecords(payload, records.size(), &error);
  ASSERT_TRUE(read.has_value()) << error;
  EXPECT_EQ(*read, records);
  EXPECT_FALSE(ReadSignatureRecords(payload, records.size() + 1, &error).has_value());
  payload.pop_back();  // the last name loses its terminator
  EXPECT_FALSE(ReadSignatureRecords(payload, records.size(), &error).has_value());
}

TEST(SignatureRecords, SortKeepsSourceOrderAmongEqualSizes) {
  std::vector<SignatureRecord> records = {{1, 1, 0, 0, 0, 500, 0, {}, "late"},
                                          {2, 2, 0, 0, 0, 100, 0, {}, "first"},
                                          {3, 3, 0, 0, 0, 500, 0, {}, "later"},
                                          {4, 4, 0, 0, 0, 100, 0, {}, "second"}};
  SortBySize(&records);
  std::vector<std::string> names;
  for (const auto& r : records) names.push_back(r.name);
  EXPECT_EQ(names, (std::vector<std::string>{"first", "second", "late", "later"}));
}

TEST(InfoRecords, ThirdAndFourthOffsetsAreCrossed) {
  const InfoRecord record{42, {"one", "two", "three", "four", "five"}};
  std::vector<uint8_t> payload;
  AppendInfoRecord(record, &payload);
  const auto text_at = [&](size_t slot) {
    return std::string(
        reinterpret_cast<const char*>(&payload[24 + LoadLe32(&payload[4 + 4 * slot])]));
  };
  EXPECT_EQ(LoadLe32(&payload[0]), 42u);
  EXPECT_EQ(text_at(0), "one");
  EXPECT_EQ(text_at(1), "two");
  EXPECT_EQ(text_at(2), "four");
  EXPECT_EQ(text_at(3), "three");
  EXPECT_EQ(text_at(4), "five");
  // The fifth text ends the record.
  EXPECT_EQ(24 + LoadLe32(&payload[20]) + std::string("five").size() + 1, payload.size());

  AppendInfoRecord({7, {"", "", "", "", ""}}, &payload);
  std::string error;
  const auto read = ReadInfoRecords(payload, 2, &error);
  ASSERT_TRUE(read.has_value()) << error;
  EXPECT_EQ((*read)[0], record);
  EXPECT_EQ((*read)[1].pest_id, 7u);
}

TEST(Container, EngineReaderAcceptsItAndSeesTheRecordCount) {
  std::vector<uint8_t> payload;
  AppendSignatureRecord({9, 0x12345678, 0, 0, 0, 1000, 0, {}, "Pest"}, &payload);
  std::vector<uint8_t> file = MakeContainer(compressor::CompressBlock(payload), 1);
  ASSERT_GT(file.size(), kContainerHeaderSize);
  EXPECT_EQ(LoadLe32(&file[kRecordCountOffset]), 1u);
  DecodedDataFile decoded;
  ASSERT_EQ(DecodeDataFile(file, DateCheck::kBeforeCheckWord, &decoded), DatStatus::kOk);
  EXPECT_EQ(decoded.record_count, 1);
  EXPECT_EQ(
      std::vector<uint8_t>(decoded.payload.data(), decoded.payload.data() + decoded.payload.size()),
      payload);
  // The check word covers the body as stored: spoiling one byte of it is
  // caught before anything is expanded.
  file = MakeContainer(compressor::CompressBlock(payload), 1);
  file.back() ^= 1;
  EXPECT_EQ(DecodeDataFile(file, DateCheck::kLast, nullptr), DatStatus::kCorrupt);
}

}  // namespace
}  // namespace kv::datwriter
