// Signature-lookup exports as a host sees them. The library's own engine has
// no table loaded here (loading it is the start-up export's work), so these
// tests hold the empty-table answers, null handling and the twins; the
// lookups themselves are tested on database instances of the tests' own.
#include <gtest/gtest.h>

#include "kvserver.h"
#include "support/engine_library.h"

namespace kv {
namespace {

using Fpi = const _PEST_SIGNATURE*(KV_CDECL*)(uint32_t, uint32_t, uint32_t, uint32_t);
using ByPvt = _PEST_INFORMATION*(KV_CDECL*)(uint32_t);
using ByName = _PEST_INFORMATION*(KV_CDECL*)(const char*);
using Deallocate = int32_t(KV_CDECL*)(_PEST_INFORMATION*);

class DatabaseExports : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(library_.loaded()) << library_.path();
    fpi_ = library_.Find<Fpi>("fpi");
    by_pvt_ = library_.Find<ByPvt>("kvFindPestByPVT");
    by_name_ = library_.Find<ByName>("kvFindPestByName");
    deallocate_ = library_.Find<Deallocate>("kvDeallocatePestInformation");
    ASSERT_TRUE(fpi_ && by_pvt_ && by_name_ && deallocate_);
  }

  test::EngineLibrary library_;
  Fpi fpi_ = nullptr;
  ByPvt by_pvt_ = nullptr;
  ByName by_name_ = nullptr;
  Deallocate deallocate_ = nullptr;
};

TEST_F(DatabaseExports, EmptyTableFindsNothingAndNullIsReleased) {
  EXPECT_EQ(fpi_(0x12345678, 0, 0, 0), nullptr);
  EXPECT_EQ(fpi_(0x12345678, 1, 2, 3), nullptr);
  EXPECT_EQ(by_pvt_(0x12345678), nullptr);
  EXPECT_EQ(by_name_("Any.Pest"), nullptr);
  EXPECT_EQ(by_name_(nullptr), nullptr);
  EXPECT_EQ(deallocate_(nullptr), 1);
}

#if defined(_WIN32)
TEST_F(DatabaseExports, StdcallTwinsAnswerAsThePlainFunctions) {
  auto twin_pvt = library_.Find<KV_FINDPESTBYPVT_STDCALL_FN>("_kvFindPestByPVT_stdcall@4");
  auto twin_name = library_.Find<KV_FINDPESTBYNAME_STDCALL_FN>("_kvFindPestByName_stdcall@4");
  auto twin_deallocate = library_.Find<KV_DEALLOCATEPESTINFORMATION_STDCALL_FN>(
      "_kvDeallocatePestInformation_stdcall@4");
  ASSERT_TRUE(twin_pvt && twin_name && twin_deallocate);
  EXPECT_EQ(twin_pvt(0x12345678), by_pvt_(0x12345678));
  EXPECT_EQ(twin_name("Any.Pest"), by_name_("Any.Pest"));
  EXPECT_EQ(twin_name(nullptr), by_name_(nullptr));
  EXPECT_EQ(twin_deallocate(nullptr), deallocate_(nullptr));
  EXPECT_EQ(library_.Find<Fpi>("_fpi_stdcall@16"), nullptr);  // fpi has no twin
}
#endif

}  // namespace
}  // namespace kv
