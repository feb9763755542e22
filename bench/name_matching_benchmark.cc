// The two per-file name checks of a walk: the file masks (the default list)
// and the exclusion list (1,000 folder entries), on names a scan meets.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "exclusions/exclusion_list.h"
#include "platform/paths.h"
#include "scan/file_masks.h"
#include "support/exclusion_fixture.h"
#include "support/test_files.h"

namespace kv {
namespace {

// Examined, skipped by an exclude mask, and long names of both kinds.
const std::vector<std::string> kNames = {"setup.exe",
                                         "README.TXT",
                                         "photo.gif",
                                         "Icon.ico",
                                         "library.dll",
                                         "Main.class",
                                         "archive.zip",
                                         "no-extension",
                                         "a.rather.long.name.with.many.dots.and.parts.doc",
                                         "picture.of.a.cat.in.the.garden.bmp"};

void MatchesFileMasks(benchmark::State& state) {
  FileMasks masks;
  masks.Set(kDefaultFileMasks);
  size_t i = 0;
  size_t examined = 0;
  for (auto _ : state) {
    const bool matched = masks.Matches(kNames[i++ % kNames.size()]);
    benchmark::DoNotOptimize(matched);
    examined += matched;
  }
  state.counters["examined_share"] =
      static_cast<double>(examined) / static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(MatchesFileMasks);

constexpr int kExclusionEntries = 1000;

// A list of 1,000 folder entries, and an existing file that none of them
// holds, as most files of a walk are.
struct ExcludedFolders {
  test::ExclusionFixture fixture;
  std::string kept_file;
  std::string last_folder;

  ExcludedFolders() {
    const std::string base = fixture.folder().path().string() + platform::kPathSeparator;
    std::string content;
    for (int i = 0; i < kExclusionEntries; ++i) {
      last_folder = base + "excluded" + platform::kPathSeparator + "folder" + std::to_string(i);
      content += last_folder + "\n";
    }
    fixture.WriteStamped(content);
    kept_file = fixture.folder().File("kept.exe");
    test::WriteFileBytes(kept_file, test::Bytes(16, 'x'));
  }
};

// The argument picks the path: 0 an existing file no entry holds (every
// entry compared), 1 a file inside the last entry, 2 a path holding
// "QUARANTINE" that no entry holds.
void IsExcluded(benchmark::State& state) {
  static ExcludedFolders folders;
  ExclusionList& list = folders.fixture.list();
  if (!list.Load() || list.entries().size() != kExclusionEntries) {
    state.SkipWithError("the list did not load");
    return;
  }
  const std::string paths[] = {
      folders.kept_file,
      folders.last_folder + platform::kPathSeparator + "inside.exe",
      folders.fixture.folder().File("Quarantine.exe"),
  };
  const std::string& path = paths[state.range(0)];
  const int32_t expected = state.range(0) == 0 ? 0 : 1;
  for (auto _ : state) {
    if (list.IsExcluded(path.c_str()) != expected) {
      state.SkipWithError("unexpected answer");
      return;
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(IsExcluded)->ArgName("path")->Arg(0)->Arg(1)->Arg(2);

}  // namespace
}  // namespace kv
