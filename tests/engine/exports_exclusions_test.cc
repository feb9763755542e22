// The data-folder, exclusion and process exports as a host sees them,
// loaded from the built library; on Windows every twin against its plain
// function. The list lives in a temporary folder named by KVCLLocation.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "kvserver.h"
#include "platform/modules.h"
#include "support/engine_library.h"
#include "support/native_path.h"
#include "support/run_program.h"
#include "support/settings.h"
#include "support/test_files.h"

namespace kv {
namespace {

namespace fs = std::filesystem;
using test::NativePath;

using GetFolderFn = int32_t(KV_CDECL*)(char*, int32_t);
using PathFn = int32_t(KV_CDECL*)(const char*);
using TextFn = const char*(KV_CDECL*)(void);
using ProcessFn = int32_t(KV_CDECL*)(uint32_t, char*, int32_t);

class ExclusionExports : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(library_.loaded()) << library_.path();
    // The search looks beside the host (this executable) first; a list
    // there would stand in for ours.
    ASSERT_FALSE(fs::exists(test::TestExecutableFolder() / "excluded.dat"))
        << "stray excluded.dat beside the test executable";
    list_path_ = folder_.File("excluded.dat");
    test::WriteFileBytes(list_path_, {});
    settings_.Set("KVCLLocation", folder_.path().string());
    get_folder_ = library_.Require<GetFolderFn>("kvGetDATFolder");
    set_folder_ = library_.Require<PathFn>("kvSetDATFolder");
    add_ = library_.Require<PathFn>("kvAddExclusion");
    remove_ = library_.Require<PathFn>("kvRemoveExclusion");
    first_ = library_.Require<TextFn>("kvFindFirstExclusion");
    next_ = library_.Require<TextFn>("kvFindNextExclusion");
    excluded_ = library_.Require<PathFn>("kvIsFileExcluded");
    process_ = library_.Require<ProcessFn>("kvGetProcessFilename");
  }

  test::EngineLibrary library_;
  test::TempFolder folder_;
  test::ScopedSettings settings_;
  std::string list_path_;
  GetFolderFn get_folder_ = nullptr;
  PathFn set_folder_ = nullptr, add_ = nullptr, remove_ = nullptr, excluded_ = nullptr;
  TextFn first_ = nullptr, next_ = nullptr;
  ProcessFn process_ = nullptr;
};

TEST_F(ExclusionExports, DatFolderRoundTripWithinSize) {
  const std::string folder = NativePath("D:\\data\\");
  const int32_t length = static_cast<int32_t>(folder.size());
  ASSERT_NE(set_folder_(folder.c_str()), 0);
  char buffer[64] = "untouched";
  EXPECT_EQ(get_folder_(buffer, length - 1), 0);
  EXPECT_STREQ(buffer, "untouched");
  EXPECT_EQ(get_folder_(buffer, length), 1);
  EXPECT_EQ(std::string(buffer), folder);
  EXPECT_NE(set_folder_(nullptr), 0);  // null leaves it unchanged
  EXPECT_EQ(get_folder_(buffer, 63), 1);
  EXPECT_EQ(std::string(buffer), folder);
  EXPECT_NE(set_folder_(""), 0);
  EXPECT_EQ(get_folder_(buffer, 63), 0);
}

TEST_F(ExclusionExports, NullArgumentsNeverCrash) {
  EXPECT_EQ(get_folder_(nullptr, 100), 0);
  EXPECT_EQ(add_(nullptr), 0);
  EXPECT_EQ(remove_(nullptr), 0);
  EXPECT_EQ(excluded_(nullptr), 0);
  EXPECT_EQ(process_(test::OwnProcessId(), nullptr, 100), -1);
}

TEST_F(ExclusionExports, AddListRemove) {
  const std::string a = NativePath("C:\\KVTEST\\A");
  const std::string b = NativePath("C:\\KVTEST\\B");
  EXPECT_EQ(first_(), nullptr);
  EXPECT_EQ(add_((a + platform::kPathSeparator).c_str()), 1);
  EXPECT_EQ(add_(b.c_str()), 1);
  EXPECT_EQ(excluded_(NativePath("C:\\KVTEST\\A\\X.TXT").c_str()), 1);
  EXPECT_EQ(excluded_(NativePath("C:\\KVTEST\\C").c_str()), 0);

  const char* entry = first_();
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(std::string(entry), a);
  EXPECT_EQ(std::string(next_()), b);
  EXPECT_EQ(next_(), nullptr);

  EXPECT_EQ(remove_(std::string(first_()).c_str()), 1);
  EXPECT_EQ(next_(), nullptr);  // the removal reloaded the list
  EXPECT_EQ(excluded_(NativePath("C:\\KVTEST\\A\\X.TXT").c_str()), 0);
  EXPECT_EQ(std::string(first_()), b);
  EXPECT_EQ(remove_(a.c_str()), 0);
}

#if !defined(_WIN32)
TEST_F(ExclusionExports, TamperedListShowsOneLineOnStandardError) {
  test::WriteFileBytes(list_path_, {'/', 'x', '\n'});
  testing::internal::CaptureStderr();
  EXPECT_EQ(first_(), nullptr);
  const std::string output = testing::internal::GetCapturedStderr();
  EXPECT_EQ(output,
            "Trovalen: Trovalen has detected an unauthorized change to excluded.dat. Its "
            "content will be discarded.\n");
  EXPECT_EQ(fs::file_size(list_path_), 0u);
}
#endif

TEST_F(ExclusionExports, ProcessLookupLimits) {
  const std::string own = platform::HostExecutablePath();
  const int32_t length = static_cast<int32_t>(own.size());
  std::string buffer(own.size() + 1, '#');
  EXPECT_EQ(process_(test::OwnProcessId(), buffer.data(), length), length);
  EXPECT_EQ(buffer.c_str(), own);
  EXPECT_EQ(process_(test::OwnProcessId(), buffer.data(), length - 1), -1);
  EXPECT_EQ(buffer[0], '\0');
  buffer = "x";
  EXPECT_EQ(process_(0xFFFFFFF3u, buffer.data(), 1), 0);
  EXPECT_EQ(buffer[0], '\0');
}

#if defined(_WIN32)
TEST_F(ExclusionExports, StdcallTwinsReturnWhatThePlainFunctionsReturn) {
  auto twin_get = library_.Find<KV_GETDATFOLDER_STDCALL_FN>("_kvGetDATFolder_stdcall@8");
  auto twin_set = library_.Find<KV_PATH_STDCALL_FN>("_kvSetDATFolder_stdcall@4");
  auto twin_add = library_.Find<KV_PATH_STDCALL_FN>("_kvAddExclusion_stdcall@4");
  auto twin_remove = library_.Find<KV_PATH_STDCALL_FN>("_kvRemoveExclusion_stdcall@4");
  auto twin_first = library_.Find<KV_TEXT_STDCALL_FN>("_kvFindFirstExclusion_stdcall@0");
  auto twin_next = library_.Find<KV_TEXT_STDCALL_FN>("_kvFindNextExclusion_stdcall@0");
  auto twin_excluded = library_.Find<KV_PATH_STDCALL_FN>("_kvIsFileExcluded_stdcall@4");
  auto twin_process =
      library_.Find<KV_GETPROCESSFILENAME_STDCALL_FN>("_kvGetProcessFilename_stdcall@12");
  ASSERT_TRUE(twin_get && twin_set && twin_add && twin_remove && twin_first && twin_next &&
              twin_excluded && twin_process);

  EXPECT_EQ(twin_set("E:\\twin\\"), set_folder_("E:\\twin\\"));
  char plain_buffer[32] = {}, twin_buffer[32] = {};
  for (int32_t size : {-1, 8, 9, 31}) {
    EXPECT_EQ(twin_get(twin_buffer, size), get_folder_(plain_buffer, size)) << size;
    EXPECT_STREQ(twin_buffer, plain_buffer);
  }

  EXPECT_EQ(twin_add("C:\\KVTWIN\\A"), 1);
  EXPECT_EQ(add_("C:\\KVTWIN\\A"), 1);
  EXPECT_EQ(twin_add(nullptr), add_(nullptr));
  for (const char* path : {"C:\\KVTWIN\\A\\F", "C:\\OTHER", "C:\\Quarantine"}) {
    EXPECT_EQ(twin_excluded(path), excluded_(path)) << path;
  }
  // Each find-first reloads the list, so the text from one call is copied
  // before the next call frees it.
  const char* twin_entry = twin_first();
  const std::string twin_text = twin_entry != nullptr ? twin_entry : "(null)";
  const char* plain_entry = first_();
  EXPECT_EQ(twin_text, plain_entry != nullptr ? plain_entry : "(null)");
  EXPECT_EQ(twin_next(), next_());
  EXPECT_EQ(twin_remove("C:\\NOT\\LISTED"), remove_("C:\\NOT\\LISTED"));
  EXPECT_EQ(twin_remove("C:\\KVTWIN\\A"), 1);
  EXPECT_EQ(add_("C:\\KVTWIN\\A"), 1);
  EXPECT_EQ(remove_("C:\\KVTWIN\\A"), 1);

  // A null buffer is refused before the process list is read.
  EXPECT_EQ(twin_process(test::OwnProcessId(), nullptr, 10),
            process_(test::OwnProcessId(), nullptr, 10));
}

TEST_F(ExclusionExports, ProcessLookupTwinReturnsWhatThePlainFunctionReturns) {
  auto twin_process =
      library_.Find<KV_GETPROCESSFILENAME_STDCALL_FN>("_kvGetProcessFilename_stdcall@12");
  ASSERT_NE(twin_process, nullptr);
  std::string plain(4096, '\0'), twin(4096, '\0');
  const uint32_t id = test::OwnProcessId();
  EXPECT_EQ(twin_process(id, twin.data(), 4095), process_(id, plain.data(), 4095));
  EXPECT_EQ(twin, plain);
  EXPECT_EQ(twin_process(0xFFFFFFF3u, twin.data(), 10), process_(0xFFFFFFF3u, plain.data(), 10));
}
#endif

}  // namespace
}  // namespace kv
