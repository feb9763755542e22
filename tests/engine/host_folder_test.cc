// Behaviour that hangs on the host program's own folder, seen from a test
// host copied into a temporary folder: the host folder itself, the data
// file fallback, where excluded.dat is found and created, and the host's
// own process path. Each test starts a process.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "support/info_payload.h"
#include "support/native_path.h"
#include "support/run_program.h"
#include "support/settings.h"
#include "support/signature_file.h"
#include "support/test_files.h"

namespace kv {
namespace {

namespace fs = std::filesystem;
using test::WithSeparator;

class TestHost : public testing::Test {
 protected:
  void SetUp() override {
    host_folder_ = root_.path() / "host";
    fs::create_directories(host_folder_);
    const fs::path built = test::TestExecutableFolder() / KV_TEST_HOST_FILE_NAME;
    host_ = host_folder_ / KV_TEST_HOST_FILE_NAME;
    fs::copy_file(built, host_);
    library_ = (test::TestExecutableFolder().parent_path() / KV_LIBRARY_FILE_NAME).string();
  }

  // Runs the host with the commands; their results by command.
  std::map<std::string, std::string> Run(const std::vector<std::string>& commands) {
    const std::string output = root_.File("output.txt");
    std::vector<std::string> arguments{library_, output};
    arguments.insert(arguments.end(), commands.begin(), commands.end());
    EXPECT_EQ(test::RunProgram(host_.string(), arguments), 0);
    std::map<std::string, std::string> results;
    std::ifstream in(output);
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const size_t equals = line.find('=');
      if (equals != std::string::npos) results[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return results;
  }

  test::TempFolder root_;
  test::ScopedSettings settings_;
  fs::path host_folder_, host_;
  std::string library_;
};

TEST_F(TestHost, SpawnsProcessAndFindsItsOwnFolder) {
  auto results = Run({"host-folder", "executable", "locate", "own-process",
                      "add:" + test::NativePath("C:\\KVHOST\\A"), "first", "exclusion-path"});
  const std::string folder =
      results["executable"].substr(0, results["executable"].rfind(platform::kPathSeparator));
  EXPECT_EQ(fs::path(results["executable"]).filename(), fs::path(KV_TEST_HOST_FILE_NAME));
  EXPECT_TRUE(fs::equivalent(results["host-folder"], host_folder_));
  EXPECT_EQ(results["host-folder"], folder);
  // No settings: KVFILE.DAT is expected beside the host, unchecked.
  EXPECT_EQ(results["locate"], WithSeparator(folder) + "KVFILE.DAT|" + WithSeparator(folder));
  EXPECT_EQ(results["own-process"],
            std::to_string(results["executable"].size()) + "|" + results["executable"]);
  // No excluded.dat anywhere: the first addition creates it beside the host.
  EXPECT_EQ(results["add:" + test::NativePath("C:\\KVHOST\\A")], "1");
  EXPECT_EQ(results["first"], test::NativePath("C:\\KVHOST\\A"));
  EXPECT_EQ(results["exclusion-path"], WithSeparator(folder) + "excluded.dat");
  EXPECT_TRUE(fs::exists(host_folder_ / "excluded.dat"));
}

TEST_F(TestHost, SpawnsProcessAndPrefersTheListBesideIt) {
  const fs::path location = root_.path() / "location";
  fs::create_directories(location);
  test::WriteFileBytes(location / "excluded.dat", {});
  settings_.Set("KVLocation", location.string());
  auto results = Run({"exclusion-path"});
  EXPECT_TRUE(fs::equivalent(results["exclusion-path"], location / "excluded.dat"));

  test::WriteFileBytes(host_folder_ / "excluded.dat", {});
  results = Run({"exclusion-path", "add:" + test::NativePath("C:\\KVHOST\\B")});
  EXPECT_TRUE(fs::equivalent(results["exclusion-path"], host_folder_ / "excluded.dat"));
  EXPECT_GT(fs::file_size(host_folder_ / "excluded.dat"), 0u);
  EXPECT_EQ(fs::file_size(location / "excluded.dat"), 0u);
}

TEST_F(TestHost, SpawnsProcessAndFindsPestInfoOnlyBesideIt) {
  // Both registry folders exist but lack KVINFO.DAT; the host's folder has it.
  const fs::path location = root_.path() / "location";
  const fs::path cl_location = root_.path() / "cl-location";
  fs::create_directories(location);
  fs::create_directories(cl_location);
  settings_.Set("KVLocation", location.string());
  settings_.Set("KVCLLocation", cl_location.string());
  test::Bytes payload;
  test::AppendInfoRecord(payload, 1, {"a", "b", "c", "d", "e"});
  test::WriteFileBytes(host_folder_ / "KVINFO.DAT",
                       test::MakeDataFile(test::LiteralBlock(payload)));

  auto results = Run({"host-folder", "load-pest-info"});
  EXPECT_EQ(results["load-pest-info"], "0|" + WithSeparator(results["host-folder"]));
}

TEST_F(TestHost, SpawnsProcessAndUnloadsAtOnceWhileTheWatcherSleeps) {
  // Initialising starts the watcher, which then sleeps for hours; releasing
  // the library must end it without waiting, and the host must exit cleanly
  // (Run checks the exit code).
  test::WriteFileBytes(
      host_folder_ / "KVFILE.DAT",
      test::SignatureFile(
          {{.pest_id = 1, .pvt = 0x1234, .file_size = 10, .name = "Trojan.Sleeper"}}));
  auto results = Run({"initialize", "unload"});
  EXPECT_EQ(results["initialize"], "0");
  const std::string& unload = results["unload"];
  ASSERT_EQ(unload.substr(0, 2), "1|") << unload;
  EXPECT_LT(std::stoi(unload.substr(2)), 10000) << "milliseconds to unload";
}

TEST_F(TestHost, SpawnsProcessAndExitsWithTheLibraryLoadedAndTheWatcherAsleep) {
  // Process exit skips the engine's teardown (the watcher is already gone);
  // the host must still exit cleanly and at once.
  test::WriteFileBytes(
      host_folder_ / "KVFILE.DAT",
      test::SignatureFile(
          {{.pest_id = 1, .pvt = 0x1234, .file_size = 10, .name = "Trojan.Sleeper"}}));
  EXPECT_EQ(Run({"initialize"})["initialize"], "0");
}

}  // namespace
}  // namespace kv
