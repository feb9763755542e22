// kvscan's output formats: report lines, JSON objects, UTF-8 handling and
// the summary block.
#include "report_format.h"

#include <gtest/gtest.h>

#include "kvserver.h"

namespace kv::kvscan {
namespace {

Report Clean(const std::string& path) {
  Report report;
  report.path = path;
  return report;
}

TEST(KvscanFormat, ReportLinesFollowTheScannerConvention) {
  const Report clean = Clean("/data/readme.txt");
  EXPECT_EQ(ReportLine(clean), "/data/readme.txt: OK");
  Report found{"/data/a.zip|eicar.com", true, 1, "EICAR-Test-File", 0x6851CF3Cu, true};
  EXPECT_EQ(ReportLine(found), "/data/a.zip|eicar.com: EICAR-Test-File FOUND");
}

TEST(KvscanFormat, ReportObjectsHaveEveryFieldAndNullsWhereNothingWasFound) {
  const Json clean = ReportObject(Clean("/data/readme.txt"));
  EXPECT_EQ(JsonLine(clean),
            R"({"type":"report","path":"/data/readme.txt","path_raw_hex":null,"detected":false,)"
            R"("pest_id":null,"name":null,"pvt":null,"size_match":null})");
  const Json found =
      ReportObject(Report{"/data/x.exe", true, 1004, "Sample.Backdoor.Quill", 0xFFFFFFFEu, false});
  EXPECT_EQ(found["detected"], true);
  EXPECT_EQ(found["pest_id"], 1004);
  EXPECT_EQ(found["name"], "Sample.Backdoor.Quill");
  EXPECT_EQ(found["pvt"], 0xFFFFFFFEu);
  EXPECT_EQ(found["size_match"], false);
}

TEST(KvscanFormat, Utf8IsCheckedStrictly) {
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_TRUE(IsValidUtf8("plain"));
  EXPECT_TRUE(IsValidUtf8("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"));
  EXPECT_FALSE(IsValidUtf8("caf\xE9"));           // Latin-1
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong '/'
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // a surrogate
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\xE2\x82"));          // cut short
  EXPECT_EQ(ToUtf8Lossy("caf\xE9!"), "caf\xEF\xBF\xBD!");
  EXPECT_EQ(ToUtf8Lossy("\xE2\x82"), "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(HexBytes("a\xE9\x01"), "61e901");
}

TEST(KvscanFormat, PathsThatAreNotUtf8KeepTheirBytesInHex) {
  const Json object = ReportObject(Clean("/d/caf\xE9.com"));
  EXPECT_EQ(object["path"], "/d/caf\xEF\xBF\xBD.com");
  EXPECT_EQ(object["path_raw_hex"], HexBytes("/d/caf\xE9.com"));
  // The line is valid JSON whatever the input.
  EXPECT_EQ(Json::parse(JsonLine(object))["path_raw_hex"], HexBytes("/d/caf\xE9.com"));
  const Json error = ErrorObject(std::string("/x\xFF"), "no such file or folder");
  EXPECT_EQ(error["type"], "error");
  EXPECT_EQ(error["path_raw_hex"], "2f78ff");
  EXPECT_TRUE(ErrorObject(std::nullopt, "m")["path"].is_null());
}

TEST(KvscanFormat, SummaryBlockAndObjectCarryTheSameFacts) {
  Summary summary;
  summary.scanned_files = 12;
  summary.detections = 3;
  summary.errors = 1;
  summary.data_file = "/opt/kv/KVFILE.DAT";
  summary.data_file_modified = 86400;  // 1970-01-02
  summary.data_folder = "/opt/kv/";
  summary.elapsed_seconds = 1.5;
  summary.exit_code = 1;
  EXPECT_EQ(SummaryText(summary),
            "----------- SCAN SUMMARY -----------\n"
            "Scanned files: 12\n"
            "Detections: 3\n"
            "Errors: 1\n"
            "Data file: /opt/kv/KVFILE.DAT (modified 1970-01-02T00:00:00Z)\n"
            "Data folder: /opt/kv/\n"
            "Time: 1.500 s\n");
  const Json object = SummaryObject(summary);
  EXPECT_EQ(object["type"], "summary");
  EXPECT_EQ(object["scanned_files"], 12);
  EXPECT_EQ(object["detections"], 3);
  EXPECT_EQ(object["errors"], 1);
  EXPECT_EQ(object["data_file"], "/opt/kv/KVFILE.DAT");
  EXPECT_EQ(object["data_file_modified"], "1970-01-02T00:00:00Z");
  EXPECT_EQ(object["data_folder"], "/opt/kv/");
  EXPECT_EQ(object["elapsed_seconds"], 1.5);
  EXPECT_EQ(object["interrupted"], false);
  EXPECT_EQ(object["exit_code"], 1);

  summary.interrupted = true;
  summary.data_file_modified.reset();
  EXPECT_NE(SummaryText(summary).find("Interrupted"), std::string::npos);
  EXPECT_TRUE(SummaryObject(summary)["data_file_modified"].is_null());
}

TEST(KvscanFormat, EveryStatusHasAMeaning) {
  for (int32_t status : {KV_STATUS_OK, KV_STATUS_CANNOT_OPEN, KV_STATUS_CORRUPT,
                         KV_STATUS_WRONG_DATE, KV_STATUS_OUT_OF_MEMORY, KV_STATUS_WRONG_MAGIC,
                         KV_STATUS_NEVER_INITIALIZED, KV_STATUS_PEST_NOT_FOUND}) {
    EXPECT_NE(StatusMeaning(status), StatusMeaning(-12345)) << status;
  }
  EXPECT_EQ(StatusMeaning(KV_STATUS_CORRUPT), "the data file is corrupt");
}

}  // namespace
}  // namespace kv::kvscan
