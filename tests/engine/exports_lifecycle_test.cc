// Start and stop, the single-file scan and the pest information through the
// loaded library, as a host calls them; on Windows every twin is called
// through its own convention and compared with its plain function.
#include <gtest/gtest.h>

#include "kvserver.h"
#include "support/engine_fixture.h"
#include "support/engine_library.h"

namespace kv {
namespace {

using InitializeFn = int32_t(KV_CDECL*)(void);
using ScanFn = _PEST_INFORMATION*(KV_CDECL*)(const char*);
using FreeFn = int32_t(KV_CDECL*)(_PEST_INFORMATION*);
using DetailsFn = int32_t(KV_CDECL*)(uint32_t, _DETAILED_PEST_INFORMATION**);
using DetailsByNameFn = int32_t(KV_CDECL*)(const char*, _DETAILED_PEST_INFORMATION**);
using DetailsByIndexFn = _DETAILED_PEST_INFORMATION*(KV_CDECL*)(int32_t);
using FreeDetailsFn = int32_t(KV_CDECL*)(_DETAILED_PEST_INFORMATION*);

class LifecycleExports : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(library_.loaded()) << library_.path();
    fixture_.WritePestInfo();
    // The library's engine outlives each test (one process under wine), and
    // a data folder left by an earlier search would be tried first.
    library_.Require<int32_t(KV_CDECL*)(const char*)>("kvSetDATFolder")(
        fixture_.data().path().string().c_str());
    ASSERT_EQ(library_.Require<InitializeFn>("kvServerInitialize")(), 0);
  }
  void TearDown() override {
    if (auto deinitialize = library_.Require<InitializeFn>("kvServerDeinitialize")) deinitialize();
  }

  test::EngineLibrary library_;
  test::EngineFixture fixture_;
};

TEST_F(LifecycleExports, ScanAndPestInformationWorkThroughTheLibrary) {
  auto scan = library_.Require<ScanFn>("kvScanSingleFile");
  auto release = library_.Require<FreeFn>("kvDeallocatePestInformation");
  _PEST_INFORMATION* found = scan(fixture_.trojan_path().c_str());
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->dwPestID, test::kTrojanId);
  EXPECT_EQ(release(found), 1);
  EXPECT_EQ(scan(fixture_.clean_path().c_str()), nullptr);
  EXPECT_EQ(scan(nullptr), nullptr);

  auto details = library_.Require<DetailsFn>("kvGetDetailedPestInformation");
  auto free_details = library_.Require<FreeDetailsFn>("kvDeallocateDetailedPestInformation");
  _DETAILED_PEST_INFORMATION* out = nullptr;
  ASSERT_EQ(details(test::kTrojanId, &out), 0);
  EXPECT_STREQ(out->lpszText1, "Trojan");
  EXPECT_EQ(free_details(out), 1);
  EXPECT_EQ(free_details(nullptr), 1);
  EXPECT_EQ(
      library_.Require<DetailsByNameFn>("kvGetDetailedPestInformationFromName")(nullptr, &out), 10);
  EXPECT_EQ(library_.Require<DetailsByIndexFn>("kvGetDetailedPestInfoByIndex")(0),
            nullptr);  // not loaded
}

#if defined(_WIN32)
TEST_F(LifecycleExports, StdcallTwinsReturnWhatThePlainFunctionsReturn) {
  using TwinVoid = int32_t(KV_STDCALL*)(void);
  using TwinScan = _PEST_INFORMATION*(KV_STDCALL*)(const char*);
  using TwinDetails = int32_t(KV_STDCALL*)(uint32_t, _DETAILED_PEST_INFORMATION**);
  using TwinByName = int32_t(KV_STDCALL*)(const char*, _DETAILED_PEST_INFORMATION**);
  using TwinByIndex = _DETAILED_PEST_INFORMATION*(KV_STDCALL*)(int32_t);
  using TwinFreeDetails = int32_t(KV_STDCALL*)(_DETAILED_PEST_INFORMATION*);
  auto initialize = library_.Find<TwinVoid>("_kvServerInitialize_stdcall@0");
  auto deinitialize = library_.Find<TwinVoid>("_kvServerDeinitialize_stdcall@0");
  auto scan = library_.Find<TwinScan>("_kvScanSingleFile_stdcall@4");
  auto load = library_.Find<TwinVoid>("_kvLoadPestInfo_stdcall@0");
  auto unload = library_.Find<TwinVoid>("_kvUnloadPestInfo_stdcall@0");
  auto details = library_.Find<TwinDetails>("_kvGetDetailedPestInformation_stdcall@8");
  auto by_name = library_.Find<TwinByName>("_kvGetDetailedPestInformationFromName_stdcall@8");
  auto by_index = library_.Find<TwinByIndex>("_kvGetDetailedPestInfoByIndex_stdcall@4");
  auto free_details =
      library_.Find<TwinFreeDetails>("_kvDeallocateDetailedPestInformation_stdcall@4");
  ASSERT_TRUE(initialize && deinitialize && scan && load && unload && details && by_name &&
              by_index && free_details);

  EXPECT_EQ(initialize(), library_.Require<InitializeFn>("kvServerInitialize")());
  _PEST_INFORMATION* twin_found = scan(fixture_.complemented_path().c_str());
  _PEST_INFORMATION* plain_found =
      library_.Require<ScanFn>("kvScanSingleFile")(fixture_.complemented_path().c_str());
  ASSERT_TRUE(twin_found && plain_found);
  EXPECT_EQ(twin_found->dwPVT, plain_found->dwPVT);
  EXPECT_STREQ(twin_found->lpszFileName, plain_found->lpszFileName);
  library_.Require<FreeFn>("kvDeallocatePestInformation")(twin_found);
  library_.Require<FreeFn>("kvDeallocatePestInformation")(plain_found);

  EXPECT_EQ(load(), library_.Require<InitializeFn>("kvLoadPestInfo")());
  _DETAILED_PEST_INFORMATION* from_twin = by_index(1);
  _DETAILED_PEST_INFORMATION* from_plain =
      library_.Require<DetailsByIndexFn>("kvGetDetailedPestInfoByIndex")(1);
  ASSERT_TRUE(from_twin && from_plain);
  EXPECT_EQ(from_twin->dwPestID, from_plain->dwPestID);
  EXPECT_EQ(free_details(from_twin),
            library_.Require<FreeDetailsFn>("kvDeallocateDetailedPestInformation")(from_plain));

  _DETAILED_PEST_INFORMATION* out = nullptr;
  EXPECT_EQ(details(999, &out),
            library_.Require<DetailsFn>("kvGetDetailedPestInformation")(999, &out));
  EXPECT_EQ(by_name("nobody", &out), library_.Require<DetailsByNameFn>(
                                         "kvGetDetailedPestInformationFromName")("nobody", &out));
  EXPECT_EQ(unload(), library_.Require<InitializeFn>("kvUnloadPestInfo")());
  EXPECT_EQ(deinitialize(), library_.Require<InitializeFn>("kvServerDeinitialize")());
}
#endif

}  // namespace
}  // namespace kv
