// The exclusion file store when writing fails or the process dies part-way:
// a failed change leaves the list, its stamp and the entries in memory
// exactly as they were, and a crash at any step leaves a list that loads,
// old or new, never an emptied one.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "common/crc32.h"
#include "exclusions/exclusion_list.h"
#include "exclusions/exclusion_store.h"
#include "platform/file_system.h"
#include "platform/stamp.h"
#include "support/exclusion_fixture.h"
#include "support/faulty_file_system.h"
#include "support/native_path.h"

#if !defined(_WIN32)
#include <signal.h>
#include <sys/resource.h>

#include <cstdlib>
#endif

namespace kv {
namespace {

namespace fs = std::filesystem;
using test::ExclusionFixture;
using test::FaultyFileSystem;
using test::NativePath;
using Entries = std::vector<std::string>;
using Stamps = FaultyFileSystem::Stamps;

// What a load depends on: the bytes, the file's own stamp and the sidecar.
struct StoredList {
  std::optional<std::string> content;
  std::optional<uint16_t> stamp;
  std::optional<std::string> sidecar;
  bool operator==(const StoredList&) const = default;
};

void PrintTo(const StoredList& stored, std::ostream* os) {
  *os << "{content " << testing::PrintToString(stored.content) << ", stamp "
      << testing::PrintToString(stored.stamp) << ", sidecar "
      << testing::PrintToString(stored.sidecar) << "}";
}

std::optional<std::string> TextOf(const std::string& path) {
  if (!fs::exists(path)) return std::nullopt;
  const test::Bytes bytes = test::ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

StoredList Stored(const ExclusionFixture& fixture) {
  StoredList stored{TextOf(fixture.path()), std::nullopt,
                    TextOf(fixture.path() + kStampSidecarSuffix)};
  if (auto file = platform::UpdatableFile::Open(fixture.path().c_str())) {
    stored.stamp = file->ReadStamp();
  }
  return stored;
}

std::string Lines(const Entries& entries) {
  std::string text;
  for (const std::string& entry : entries) text += entry + platform::kLineEnd;
  return text;
}

// A change to a list, from the entries it starts with (none: no file) to
// those it leaves.
struct Change {
  const char* name;
  std::optional<Entries> initial;
  std::function<int32_t(ExclusionList&)> run;
  Entries after;
};

int32_t AddNew(ExclusionList& list) { return list.Add(NativePath("C:\\NEW").c_str()); }
int32_t RemoveB(ExclusionList& list) { return list.Remove(NativePath("C:\\B").c_str()); }

const Entries kThree{NativePath("C:\\A"), NativePath("C:\\B"), NativePath("C:\\C")};

const Change kChanges[] = {
    {"add", kThree, AddNew,
     Entries{NativePath("C:\\A"), NativePath("C:\\B"), NativePath("C:\\C"), NativePath("C:\\NEW")}},
    {"add_to_missing_file", std::nullopt, AddNew, Entries{NativePath("C:\\NEW")}},
    {"remove", kThree, RemoveB, Entries{NativePath("C:\\A"), NativePath("C:\\C")}},
    {"remove_last", Entries{NativePath("C:\\B")}, RemoveB, Entries{}},
};

const Stamps kStampKinds[] = {Stamps::kKept, Stamps::kNotKept, Stamps::kTunnelled};

const char* NameOf(Stamps stamps) {
  switch (stamps) {
    case Stamps::kKept:
      return "stamps_kept";
    case Stamps::kNotKept:
      return "stamps_not_kept";
    case Stamps::kTunnelled:
      return "stamps_tunnelled";
  }
  return "";
}

class ChangeOnFileSystem : public testing::TestWithParam<std::tuple<Change, Stamps>> {
 protected:
  const Change& change() const { return std::get<0>(GetParam()); }

  // A list holding the change's initial entries, loaded, on `files`.
  void Prepare(FaultyFileSystem& files, ExclusionFixture& fixture) const {
    if (change().initial) fixture.WriteStamped(Lines(*change().initial));
    fixture.list().Load();
    ASSERT_EQ(fixture.list().entries(), change().initial.value_or(Entries{}));
    files.Disarm();
  }
};

void PrintTo(const Change& change, std::ostream* os) { *os << change.name; }

// Every step of the change is made to fail in turn, until one run meets no
// failure. A run that fails must change nothing; one that reports success
// (a failure after the list is in place is made up for) must load the new
// list.
TEST_P(ChangeOnFileSystem, FailingAnyStepChangesNothingOrCompletes) {
  size_t failed_runs = 0;
  for (size_t step = 0;; ++step) {
    SCOPED_TRACE("failing step " + std::to_string(step));
    FaultyFileSystem files(std::get<1>(GetParam()));
    ExclusionFixture fixture(files);
    Prepare(files, fixture);
    const StoredList before = Stored(fixture);

    files.FailStep(step);
    const int32_t result = change().run(fixture.list());
    const bool reached = files.steps() > step;
    files.Disarm();
    if (result == 0) {
      ++failed_runs;
      EXPECT_EQ(Stored(fixture), before);
      EXPECT_EQ(fixture.list().entries(), change().initial.value_or(Entries{}));
    } else {
      EXPECT_EQ(result, 1);
      fixture.Restart();
      fixture.list().Load();
      EXPECT_EQ(fixture.list().entries(), change().after);
    }
    EXPECT_TRUE(fixture.messages().empty());
    if (!reached) {
      EXPECT_EQ(result, 1);
      break;
    }
  }
  EXPECT_GT(failed_runs, 0u);
}

// The process dies before each step in turn: the next process loads either
// the old list or the new one, and never finds it tampered with.
TEST_P(ChangeOnFileSystem, CrashAtAnyStepLeavesAListThatLoads) {
  for (size_t step = 0;; ++step) {
    SCOPED_TRACE("crash before step " + std::to_string(step));
    FaultyFileSystem files(std::get<1>(GetParam()));
    ExclusionFixture fixture(files);
    Prepare(files, fixture);

    files.CrashAtStep(step);
    bool crashed = false;
    try {
      EXPECT_EQ(change().run(fixture.list()), 1);
    } catch (const test::SimulatedCrash&) {
      crashed = true;
    }
    files.Disarm();
    fixture.Restart();
    fixture.list().Load();
    EXPECT_TRUE(fixture.messages().empty());
    const Entries loaded = fixture.list().entries();
    if (loaded != change().after) {
      EXPECT_EQ(loaded, change().initial.value_or(Entries{}));
    }
    if (!crashed) {
      EXPECT_EQ(loaded, change().after);
      break;
    }
  }
}

std::string Hex4(uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(value));
  return text;
}

// After a change the stamp is in exactly one place: the list's own, or
// (where the file system does not keep it) the sidecar, holding the new
// stamp alone.
TEST_P(ChangeOnFileSystem, LeavesTheStampInOnePlaceAndTheListLoads) {
  FaultyFileSystem files(std::get<1>(GetParam()));
  ExclusionFixture fixture(files);
  Prepare(files, fixture);
  ASSERT_EQ(change().run(fixture.list()), 1);
  const StoredList stored = Stored(fixture);
  ASSERT_TRUE(stored.content.has_value());
  const uint32_t checksum = Crc32(stored.content->data(), stored.content->size());
  if (checksum != 0) {
    const uint16_t stamp = static_cast<uint16_t>(checksum & 0xFFFFu);
    if (std::get<1>(GetParam()) != Stamps::kNotKept && stored.stamp == stamp) {
      EXPECT_EQ(stored.sidecar, std::nullopt);
    } else {
      EXPECT_EQ(stored.sidecar, Hex4(stamp));
    }
  }
  fixture.Restart();
  fixture.list().Load();
  EXPECT_EQ(fixture.list().entries(), change().after);
  EXPECT_TRUE(fixture.messages().empty());
}

INSTANTIATE_TEST_SUITE_P(Table, ChangeOnFileSystem,
                         testing::Combine(testing::ValuesIn(kChanges),
                                          testing::ValuesIn(kStampKinds)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + "_" +
                                  NameOf(std::get<1>(info.param));
                         });

#if !defined(_WIN32)
// The same on a real disk that fills up: a process whose files cannot grow
// past a limit gets EFBIG from the write that crosses it (SIGXFSZ ignored).

// Makes every file of this process stop growing at `bytes`. Only for the
// child process of a death test.
void LimitFileSize(rlim_t bytes) {
  ::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{bytes, bytes};
  if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) std::_Exit(2);
}

// Runs `change` in a child process whose files cannot grow past `limit`
// bytes, and expects it to fail and leave the list in memory as it was.
template <typename Run>
void FailsOnAFullDisk(ExclusionFixture& fixture, rlim_t limit, Run run) {
  GTEST_FLAG_SET(death_test_style, "fast");  // the child shares the fixture
  const Entries before = fixture.list().entries();
  EXPECT_EXIT(
      {
        LimitFileSize(limit);
        if (run(fixture.list()) != 0) std::_Exit(3);
        if (fixture.list().entries() != before) std::_Exit(4);
        std::_Exit(0);
      },
      testing::ExitedWithCode(0), "");
}

TEST(ExclusionStoreDeathTest, AppendCutByAFullDiskChangesNothing) {
  ExclusionFixture fixture;
  fixture.WriteStamped("/data/home/user/Music\n");
  fixture.list().Load();
  const StoredList before = Stored(fixture);
  // Room for "/data/home/user" and no more.
  FailsOnAFullDisk(fixture, before.content->size() + 15, [](ExclusionList& list) {
    return list.Add("/data/home/user/Documents/secret");
  });
  EXPECT_EQ(Stored(fixture), before);
  EXPECT_TRUE(fixture.list().Load());
  EXPECT_EQ(fixture.list().entries(), Entries{"/data/home/user/Music"});
  EXPECT_EQ(fixture.list().IsExcluded("/data/home/user/Pictures/a.jpg"), 0);
  EXPECT_TRUE(fixture.messages().empty());

  // With room again, the entry goes on a line of its own.
  EXPECT_EQ(fixture.list().Add("/data/home/user/Documents/secret"), 1);
  EXPECT_EQ(fixture.list().entries(),
            (Entries{"/data/home/user/Music", "/data/home/user/Documents/secret"}));
}

TEST(ExclusionStoreDeathTest, RewriteCutByAFullDiskChangesNothing) {
  ExclusionFixture fixture;
  Entries entries;
  for (char c = 'a'; c < 'a' + 10; ++c) entries.push_back(std::string("/s/") + c + "/folder");
  fixture.WriteStamped(Lines(entries));
  fixture.list().Load();
  const StoredList before = Stored(fixture);
  FailsOnAFullDisk(fixture, 40, [](ExclusionList& list) { return list.Remove("/s/c/folder"); });
  EXPECT_EQ(Stored(fixture), before);
  EXPECT_TRUE(fixture.list().Load());
  EXPECT_EQ(fixture.list().entries(), entries);
  EXPECT_TRUE(fixture.messages().empty());
}
#endif

}  // namespace
}  // namespace kv
