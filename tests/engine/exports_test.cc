// The exported interface as a host sees it: the library is loaded at run
// time, each function looked up by its exported name and called through its
// own calling convention.
#include <gtest/gtest.h>

#include <string>

#include "kvserver.h"
#include "support/engine_library.h"
#include "support/test_files.h"

namespace kv {
namespace {

using PlainVoid = int32_t(KV_CDECL*)(void);
using PlainInt = int32_t(KV_CDECL*)(int32_t);
using PlainPath = int32_t(KV_CDECL*)(const char*);
using TwinVoid = int32_t(KV_STDCALL*)(void);
using TwinInt = int32_t(KV_STDCALL*)(int32_t);
using TwinPath = int32_t(KV_STDCALL*)(const char*);

class Exports : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(library_.loaded()) << library_.path(); }

  test::EngineLibrary library_;
};

TEST_F(Exports, ControlFunctionsReturnOne) {
  EXPECT_EQ(library_.Require<PlainInt>("kvSetScanMode")(1), 1);
  EXPECT_EQ(library_.Require<PlainInt>("kvSetScanMode")(0), 1);
  EXPECT_EQ(library_.Require<PlainVoid>("kvPauseScan")(), 1);
  EXPECT_EQ(library_.Require<PlainVoid>("kvResumeScan")(), 1);
}

TEST_F(Exports, VerifyDatReportsStatusAndToleratesNull) {
  test::TempFolder folder;
  const std::string good = folder.File("KVFILE.DAT");
  test::WriteFileBytes(good, test::MakeDataFile(test::LiteralBlock({1, 2, 3, 4, 5})));
  auto verify = library_.Require<PlainPath>("kvVerifyDAT");
  EXPECT_EQ(verify(good.c_str()), KV_STATUS_OK);
  EXPECT_EQ(verify(folder.File("missing.dat").c_str()), KV_STATUS_CANNOT_OPEN);
  EXPECT_EQ(verify(nullptr), KV_STATUS_CANNOT_OPEN);
}

#if defined(_WIN32)
// On the 32-bit build a twin called through the wrong convention corrupts
// the stack, so each is called through its own stdcall pointer type.
TEST_F(Exports, StdcallTwinsReturnWhatThePlainFunctionsReturn) {
  auto twin_mode = library_.Find<TwinInt>("_kvSetScanMode_stdcall@4");
  auto twin_pause = library_.Find<TwinVoid>("_kvPauseScan_stdcall@0");
  auto twin_resume = library_.Find<TwinVoid>("_kvResumeScan_stdcall@0");
  auto twin_verify = library_.Find<TwinPath>("_kvVerifyDAT_stdcall@4");
  auto twin_exit = library_.Find<TwinVoid>("_kvImmediateExit_stdcall@0");
  ASSERT_TRUE(twin_mode && twin_pause && twin_resume && twin_verify && twin_exit);

  EXPECT_EQ(twin_mode(7), library_.Require<PlainInt>("kvSetScanMode")(7));
  EXPECT_EQ(twin_pause(), library_.Require<PlainVoid>("kvPauseScan")());
  EXPECT_EQ(twin_resume(), library_.Require<PlainVoid>("kvResumeScan")());

  test::TempFolder folder;
  const std::string good = folder.File("KVFILE.DAT");
  test::WriteFileBytes(good, test::MakeDataFile(test::LiteralBlock({9, 8, 7, 6})));
  const std::string bad = folder.File("KVINFO.DAT");
  test::WriteFileBytes(bad, {'P', 'E', 'S', 'X'});
  auto plain_verify = library_.Require<PlainPath>("kvVerifyDAT");
  for (const std::string& path : {good, bad, folder.File("none")}) {
    EXPECT_EQ(twin_verify(path.c_str()), plain_verify(path.c_str())) << path;
  }
  EXPECT_EQ(twin_verify(nullptr), plain_verify(nullptr));

  auto twin_masks = library_.Find<TwinPath>("_kvSetFileMasks_stdcall@4");
  ASSERT_NE(twin_masks, nullptr);
  auto plain_masks = library_.Require<PlainPath>("kvSetFileMasks");
  for (const char* masks : {"*.EXE;*.DLL;", "*.EXE", "", static_cast<const char*>(nullptr)}) {
    EXPECT_EQ(twin_masks(masks), plain_masks(masks));
  }
}
#else
TEST_F(Exports, PosixExportsPlainNamesOnly) {
  EXPECT_EQ(library_.Find<TwinInt>("_kvSetScanMode_stdcall@4"), nullptr);
  EXPECT_EQ(library_.Find<TwinInt>("kvSetScanMode_stdcall"), nullptr);
}
#endif

// Starts a process of its own.
TEST(ExportsDeathTest, ImmediateExitEndsTheProcessWithCodeZero) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        test::EngineLibrary library;
        if (library.loaded()) library.Find<PlainVoid>("kvImmediateExit")();
        std::exit(3);  // reached only if the process survived
      },
      testing::ExitedWithCode(0), "");
}

#if defined(_WIN32)
TEST(ExportsDeathTest, ImmediateExitTwinEndsTheProcessWithCodeZero) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        test::EngineLibrary library;
        if (library.loaded()) library.Find<TwinVoid>("_kvImmediateExit_stdcall@0")();
        std::exit(3);
      },
      testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
}  // namespace kv
