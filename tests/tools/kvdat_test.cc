// kvdat: sources compile into files the engine accepts, dumps give the
// source back, malformed sources are refused with nothing written, and the
// sample database of the build verifies.
#include <gtest/gtest.h>

#include <sstream>

#include "commands.h"
#include "common/crc32.h"
#include "common/head_crc.h"
#include "file_io.h"
#include "kvserver.h"
#include "sample_files.h"
#include "source.h"
#include "support/engine_library.h"
#include "support/test_files.h"

namespace kv::kvdat {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using VerifyFunction = int32_t(KV_CDECL*)(const char*);

class Kvdat : public testing::Test {
 protected:
  int32_t EngineVerify(const fs::path& path) {
    auto verify = library_.Find<VerifyFunction>("kvVerifyDAT");
    EXPECT_NE(verify, nullptr);
    return verify == nullptr ? -1 : verify(path.string().c_str());
  }

  fs::path WriteSource(const json& source) {
    const fs::path path = folder_.path() / "pests.json";
    const std::string text = source.dump(2);
    test::WriteFileBytes(path, test::Bytes(text.begin(), text.end()));
    return path;
  }

  int BuildInto(const fs::path& source, const std::string& suffix = "") {
    std::ostringstream out;
    return Build({source,
                  folder_.path() / ("KVFILE" + suffix + ".DAT"),
                  folder_.path() / ("KVINFO" + suffix + ".DAT"),
                  {},
                  0},
                 out);
  }

  test::EngineLibrary library_;
  test::TempFolder folder_;
};

// Each pest's signatures in ascending size, so the dump lists them in the
// same order as the source.
json TwoPestSource() {
  return json::parse(R"({"pests": [
    {"id": 7, "name": "Trojan.Example",
     "info": {"category": "Trojan", "description": "Text two", "symptoms": "Text three",
              "removal": "Text four", "notes": "Text five"},
     "signatures": [{"size": 100, "pvt": "0x00C0FFEE"},
                    {"size": 5000, "pvt": "0xDEADBEEF", "extra1": "0x00000002",
                     "alt_key": "0x0BADF00D", "gap": "a1b2c3"}]},
    {"id": 9, "name": "Adware.Sample",
     "info": {"description": "Only a description"},
     "signatures": [{"size": 100, "pvt": "0x12345678"}]}
  ]})");
}

TEST_F(Kvdat, BuildWritesFilesTheEngineVerifies) {
  ASSERT_TRUE(library_.loaded());
  ASSERT_EQ(BuildInto(WriteSource(TwoPestSource())), 0);
  EXPECT_EQ(EngineVerify(folder_.path() / "KVFILE.DAT"), KV_STATUS_OK);
  EXPECT_EQ(EngineVerify(folder_.path() / "KVINFO.DAT"), KV_STATUS_OK);
  std::ostringstream out;
  EXPECT_EQ(Verify(folder_.path() / "KVFILE.DAT", out), 0);
  EXPECT_NE(out.str().find(": 0 (success)"), std::string::npos);
}

TEST_F(Kvdat, DumpGivesBackTheSourceAndItRebuildsTheSameFiles) {
  const json source = TwoPestSource();
  ASSERT_EQ(BuildInto(WriteSource(source)), 0);
  std::ostringstream out;
  ASSERT_EQ(Dump({folder_.path() / "KVFILE.DAT", folder_.path() / "KVINFO.DAT", false, true}, out),
            0);
  const json dumped = json::parse(out.str());
  EXPECT_EQ(dumped, source);

  ASSERT_EQ(BuildInto(WriteSource(dumped), "2"), 0);
  for (const char* name : {"KVFILE", "KVINFO"}) {
    EXPECT_EQ(test::ReadFileBytes(folder_.path() / (std::string(name) + ".DAT")),
              test::ReadFileBytes(folder_.path() / (std::string(name) + "2.DAT")))
        << name;
  }
}

TEST_F(Kvdat, DumpListsRecordsInSizeOrder) {
  ASSERT_EQ(BuildInto(WriteSource(TwoPestSource())), 0);
  std::ostringstream out;
  ASSERT_EQ(Dump({folder_.path() / "KVFILE.DAT", {}, true, false}, out), 0);
  const json dump = json::parse(out.str());
  EXPECT_EQ(dump["status"], 0);
  EXPECT_EQ(dump["kind"], "signatures");
  ASSERT_EQ(dump["records"].size(), 3u);
  // Equal sizes keep the source's order: pest 7's record before pest 9's.
  EXPECT_EQ(dump["records"][0]["pest_id"], 7);
  EXPECT_EQ(dump["records"][1]["pest_id"], 9);
  EXPECT_EQ(dump["records"][2]["size"], 5000);
}

TEST_F(Kvdat, SampleSignaturesTakeSizeAndHeadCrcFromTheFile) {
  test::Bytes sample(5000);
  for (size_t i = 0; i < sample.size(); ++i) sample[i] = static_cast<uint8_t>(i * 31 + i / 7);
  test::WriteFileBytes(folder_.path() / "big.bin", sample);
  const json source = json::parse(R"({"pests": [{"id": 1, "name": "P", "signatures": [
      {"sample": "big.bin"}, {"sample": "big.bin", "complement": true}]}]})");
  const CompiledSource compiled = CompileSource(source, folder_.path());
  const auto records = compiled.SignatureRecords();
  ASSERT_EQ(records.size(), 2u);
  const uint32_t crc = Crc32(sample.data(), 2047);
  EXPECT_EQ(records[0].file_size, 5000u);
  EXPECT_EQ(records[0].pvt, crc);
  EXPECT_EQ(records[1].pvt, ~crc);
}

struct BadSource {
  const char* name;
  const char* source;
  const char* message;  // part of the expected error
};
void PrintTo(const BadSource& c, std::ostream* os) { *os << c.name; }

class RefusesSource : public Kvdat, public testing::WithParamInterface<BadSource> {};

TEST_P(RefusesSource, WithAClearMessageAndNoFile) {
  const fs::path path = folder_.path() / "bad.json";
  const std::string text = GetParam().source;
  test::WriteFileBytes(path, test::Bytes(text.begin(), text.end()));
  try {
    BuildInto(path);
    ADD_FAILURE() << "accepted";
  } catch (const SourceError& error) {
    EXPECT_NE(std::string(error.what()).find(GetParam().message), std::string::npos)
        << error.what();
  }
  EXPECT_FALSE(fs::exists(folder_.path() / "KVFILE.DAT"));
  EXPECT_FALSE(fs::exists(folder_.path() / "KVINFO.DAT"));
  for (const auto& entry : fs::directory_iterator(folder_.path())) {
    EXPECT_EQ(entry.path().filename(), "bad.json");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, RefusesSource,
    testing::Values(
        BadSource{"NotJson", "{\"pests\": [", "not valid JSON"},
        BadSource{"NoPests", R"({"pests": []})", "non-empty \"pests\""},
        BadSource{"NoSignature", R"({"pests": [{"id": 1, "name": "A", "signatures": []}]})",
                  "pest #1 (id 1) \"A\": needs a non-empty \"signatures\""},
        BadSource{
            "SizeZero",
            R"({"pests": [{"id": 1, "name": "A", "signatures": [{"size": 0, "pvt": "0x1"}]}]})",
            "signature #1: size 0"},
        BadSource{
            "PvtZero",
            R"({"pests": [{"id": 1, "name": "A", "signatures": [{"size": 5, "pvt": "0x0"}]}]})",
            "PVT 0x00000000"},
        BadSource{
            "PvtAllOnes",
            R"({"pests": [{"id": 2, "name": "B", "signatures": [{"size": 5, "pvt": "0xFFFFFFFF"}]}]})",
            "pest #1 (id 2) \"B\": signature #1: PVT 0xFFFFFFFF"},
        BadSource{
            "PvtTooWide",
            R"({"pests": [{"id": 1, "name": "A", "signatures": [{"size": 5, "pvt": "0x123456789"}]}]})",
            "\"pvt\""},
        BadSource{
            "MissingSample",
            R"({"pests": [{"id": 1, "name": "A", "signatures": [{"sample": "nowhere.bin"}]}]})",
            "nowhere.bin"},
        BadSource{"DuplicateId",
                  R"({"pests": [{"id": 3, "name": "A", "signatures": [{"size": 5, "pvt": "0x1"}]},
                                {"id": 3, "name": "B", "signatures": [{"size": 6, "pvt": "0x2"}]}]})",
                  "already used by pest #1"},
        BadSource{"UnknownKey", R"({"pests": [{"id": 1, "name": "A", "sigs": []}]})",
                  "unknown key \"sigs\""},
        BadSource{
            "EmptyName",
            R"({"pests": [{"id": 1, "name": "", "signatures": [{"size": 5, "pvt": "0x1"}]}]})",
            "\"name\" is empty"}),
    [](const testing::TestParamInfo<BadSource>& info) { return info.param.name; });

TEST_F(Kvdat, PackAndUnpackRoundTripAnyFile) {
  test::Bytes bytes(10000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i % 251 ^ i / 97);
  test::WriteFileBytes(folder_.path() / "in.bin", bytes);
  std::ostringstream out;
  ASSERT_EQ(Pack(folder_.path() / "in.bin", folder_.path() / "in.jc", 9, out), 0);
  ASSERT_EQ(Unpack(folder_.path() / "in.jc", folder_.path() / "out.bin", out), 0);
  EXPECT_EQ(test::ReadFileBytes(folder_.path() / "out.bin"), bytes);
  test::WriteFileBytes(folder_.path() / "junk.jc", {'J', 'X', 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_THROW(Unpack(folder_.path() / "junk.jc", folder_.path() / "junk.bin", out),
               std::runtime_error);
  EXPECT_FALSE(fs::exists(folder_.path() / "junk.bin"));
}

// The sample database compiled by the build sits in the build folder, the
// parent of the test executable's folder.
TEST_F(Kvdat, BuildFolderSampleDatabaseVerifiesAndHoldsEicar) {
  const fs::path build = test::TestExecutableFolder().parent_path();
  ASSERT_EQ(EngineVerify(build / "KVFILE.DAT"), KV_STATUS_OK);
  ASSERT_EQ(EngineVerify(build / "KVINFO.DAT"), KV_STATUS_OK);
  std::ostringstream out;
  ASSERT_EQ(Dump({build / "KVFILE.DAT", {}, true, false}, out), 0);
  const json dump = json::parse(out.str());
  const std::vector<uint8_t> eicar = EicarTestFile();
  ASSERT_EQ(eicar.size(), 68u);
  EXPECT_EQ(Crc32(eicar.data(), eicar.size()), 0x6851CF3Cu);  // the well-known value
  bool found = false;
  for (const json& record : dump["records"]) {
    if (record["name"] == "EICAR-Test-File") {
      found = true;
      EXPECT_EQ(record["size"], 68);
      EXPECT_EQ(record["pvt"], HexWord(HeadCrc(eicar)));
    }
  }
  EXPECT_TRUE(found);
}

}  // namespace
}  // namespace kv::kvdat
