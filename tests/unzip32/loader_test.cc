// The engine's existing unzip loader finds our library where a host puts it
// and reports it ready.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/engine_library.h"
#include "support/run_program.h"
#include "support/test_files.h"

#if !defined(_WIN32)
#include <dlfcn.h>
#endif

namespace kv::test {
namespace {
namespace fs = std::filesystem;

TEST(UnzipLoader, EngineFindsOurLibraryBesideTheHostAndReportsItReady) {
  TempFolder host;
  const fs::path build = TestExecutableFolder().parent_path();
  fs::copy_file(TestExecutableFolder() / KV_UNZIP_PROBE_FILE_NAME,
                host.path() / KV_UNZIP_PROBE_FILE_NAME);
  const std::string probe = (host.path() / KV_UNZIP_PROBE_FILE_NAME).string();
  EXPECT_EQ(RunProgram(probe, {}), 1) << "no library beside the host yet";
  fs::copy_file(build / KV_UNZIP32_FILE_NAME, host.path() / KV_UNZIP32_FILE_NAME);
  EXPECT_EQ(RunProgram(probe, {}), 0);
}

#if !defined(_WIN32)
// On POSIX the engine library looks in its own folder first, where the
// build puts our library beside it. It looks once, when first started (a
// start that finds no data file still looks).
TEST(UnzipLoader, EngineLibraryLoadsOurLibraryFromItsOwnFolder) {
  const EngineLibrary engine;
  ASSERT_TRUE(engine.loaded()) << engine.path();
  engine.Require<int32_t (*)()>("kvServerInitialize")();
  const fs::path beside = fs::path(engine.path()).parent_path() / KV_UNZIP32_FILE_NAME;
  void* loaded = ::dlopen(beside.c_str(), RTLD_NOW | RTLD_NOLOAD);
  EXPECT_NE(loaded, nullptr) << beside;
  if (loaded != nullptr) ::dlclose(loaded);
}
#endif

}  // namespace
}  // namespace kv::test
