// Memory running out at every allocation of a load, a reload and the copies
// handed to hosts: loads report kOutOfMemory and keep what was in use,
// copies throw std::bad_alloc and leave nothing allocated.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <string>
#include <vector>

#include "common/pest_information.h"
#include "database/pest_database.h"
#include "database/pest_info_table.h"
#include "support/failing_allocator.h"
#include "support/info_payload.h"
#include "support/signature_file.h"
#include "support/test_files.h"

namespace kv {
namespace {

constexpr uint32_t kHour = 60 * 60 * 1000;

const std::vector<test::SignatureRecord> kOld = {
    {.pest_id = 1, .pvt = 0x01010101, .file_size = 100, .name = "Old.One"}};
const std::vector<test::SignatureRecord> kNew = {
    {.pest_id = 2, .pvt = 0x02020202, .file_size = 200, .name = "New.Two"},
    {.pest_id = 3, .pvt = 0x03030303, .file_size = 300, .name = "New.Three"}};

uint32_t IdOf(const _PEST_SIGNATURE* signature) {
  return signature == nullptr ? 0 : signature->dwPestID;
}

// The old table still answers, or the new one does, and never a mixture.
void ExpectOneWholeTable(PestDatabase& database, bool new_expected) {
  const PestDatabase::Reader reader = database.Read();
  EXPECT_EQ(IdOf(reader.LookupPVT(0x01010101)), new_expected ? 0u : 1u);
  EXPECT_EQ(IdOf(reader.LookupPVT(0x03030303)), new_expected ? 3u : 0u);
  EXPECT_EQ(reader.table().count(), new_expected ? 2 : 1);
}

class OutOfMemory : public testing::Test {
 protected:
  void SetUp() override {
    test::WriteFileBytes(old_path_, test::SignatureFile(kOld));
    test::WriteFileBytes(new_path_, test::SignatureFile(kNew));
    testing::internal::CaptureStdout();  // the statistics lines of each load
  }
  void TearDown() override { testing::internal::GetCapturedStdout(); }

  test::TempFolder folder_;
  const std::string old_path_ = folder_.File("old.dat");
  const std::string new_path_ = folder_.File("new.dat");
};

TEST_F(OutOfMemory, LoadReportsItAndKeepsTheTableInUse) {
  PestDatabase database(kHour, kHour);
  ASSERT_EQ(database.LoadSignatures(old_path_.c_str()), Status::kOk);
  Status status = Status::kOk;
  const size_t failures = test::AtEveryAllocation(
      [&] { ASSERT_EQ(database.LoadSignatures(old_path_.c_str()), Status::kOk); },
      [&] { status = database.LoadSignatures(new_path_.c_str()); },
      [&](bool refused, int64_t) {
        EXPECT_EQ(status, refused ? Status::kOutOfMemory : Status::kOk);
        ExpectOneWholeTable(database, !refused);
      });
  EXPECT_GT(failures, 3u);
}

TEST_F(OutOfMemory, ReloadKeepsTheOldTableAndOpensTheGate) {
  const std::string path = folder_.File("KVFILE.DAT");
  test::WriteFileBytes(path, test::SignatureFile(kOld));
  PestDatabase database(kHour, kHour);
  ASSERT_EQ(database.LoadSignatures(path.c_str()), Status::kOk);
  test::WriteFileBytes(path, test::SignatureFile(kNew));
  const size_t failures = test::AtEveryAllocation([] {}, [&] { database.Reload(); },
                                                  [&](bool refused, int64_t) {
                                                    EXPECT_FALSE(database.reloading());
                                                    // Lookups pass the gate and find one whole
                                                    // table.
                                                    ExpectOneWholeTable(database, !refused);
                                                  });
  EXPECT_GT(failures, 3u);
}

TEST(OutOfMemoryPestInfo, LoadReportsItAndKeepsTheTable) {
  test::TempFolder folder;
  test::Bytes old_payload;
  test::AppendInfoRecord(old_payload, 7, {"a", "b", "c", "d", "e"});
  test::Bytes new_payload;
  test::AppendInfoRecord(new_payload, 8, {"one", "two", "three", "four", "five"});
  // A text past the short-string size has an allocation of its own.
  test::AppendInfoRecord(new_payload, 9,
                         {"a text of more than sixteen letters", "", "", "", "ten"});
  test::ContainerOptions options;
  options.record_count = 2;
  const std::string path = folder.File("KVINFO.DAT");
  test::WriteFileBytes(path, test::MakeDataFile(test::LiteralBlock(new_payload), options));

  PestInfoTable table;
  Status status = Status::kOk;
  const size_t failures = test::AtEveryAllocation(
      [&] { table.Parse(old_payload, 1); }, [&] { status = table.Load(path.c_str()); },
      [&](bool refused, int64_t) {
        EXPECT_EQ(status, refused ? Status::kOutOfMemory : Status::kOk);
        ASSERT_EQ(table.count(), refused ? 1 : 2);
        EXPECT_EQ(table.At(0)->pest_id, refused ? 7u : 8u);
      });
  EXPECT_GE(failures, 4u);
}

TEST(OutOfMemoryCopies, ThrowAndLeaveNothingAllocated) {
  char name[] = "Some.Pest";
  const _PEST_SIGNATURE signature{7, 0xFEEDFACE, 1, 2, 3, 4, name};
  PestInfoRecord info;
  info.pest_id = 7;
  info.texts = {"one", "two", "", "four", "five"};

  struct Copy {
    const char* what;
    std::function<void()> make_and_release;
  };
  const Copy copies[] = {
      {"detection record",
       [&] { DeletePestInformation(NewPestInformation(signature, "C:\\file.exe")); }},
      {"pest information", [&] { FreeDetailedPestInformation(CopyForHost(info)); }},
  };
  for (const Copy& copy : copies) {
    SCOPED_TRACE(copy.what);
    bool threw = false;
    const size_t failures = test::AtEveryAllocation([] {},
                                                    [&] {
                                                      threw = false;
                                                      try {
                                                        copy.make_and_release();
                                                      } catch (const std::bad_alloc&) {
                                                        threw = true;
                                                      }
                                                    },
                                                    [&](bool refused, int64_t outstanding) {
                                                      EXPECT_EQ(threw, refused);
                                                      EXPECT_EQ(outstanding, 0);
                                                    });
    EXPECT_GE(failures, 3u);
  }
}

}  // namespace
}  // namespace kv
