// The engine's access pattern on the unzip library: list an archive, then
// extract every member to memory by name, each call naming the archive
// again. With the directory cached and names hashed the cost per member
// stays flat from 1,000 to 40,000 members.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/modules.h"
#include "support/test_files.h"
#include "unzip32.h"
#include "unzip32/zip_writer.h"

namespace {

struct Library {
  decltype(&Wiz_SingleEntryUnzip) single_entry_unzip = nullptr;
  decltype(&Wiz_UnzipToMemory) unzip_to_memory = nullptr;
  decltype(&UzpFreeMemBuffer) free_memory_buffer = nullptr;

  Library() {
    void* module = kv::platform::LoadLibraryByName(KV_UNZIP32_PATH);
    single_entry_unzip = reinterpret_cast<decltype(single_entry_unzip)>(
        kv::platform::FindLibrarySymbol(module, "Wiz_SingleEntryUnzip"));
    unzip_to_memory = reinterpret_cast<decltype(unzip_to_memory)>(
        kv::platform::FindLibrarySymbol(module, "Wiz_UnzipToMemory"));
    free_memory_buffer = reinterpret_cast<decltype(free_memory_buffer)>(
        kv::platform::FindLibrarySymbol(module, "UzpFreeMemBuffer"));
  }
};

std::vector<std::string>* g_names = nullptr;

void UNZIP32_CALL CollectName(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                              uint32_t, char, const char* name, const char*, uint32_t, char) {
  g_names->push_back(name);
}

// An archive of `count` small deflated members in folders, written once per
// size and kept for the whole run.
const std::string& ArchiveOf(int count) {
  static kv::test::TempFolder folder;
  static std::map<int, std::string> paths;
  auto [at, added] = paths.try_emplace(count);
  if (added) {
    kv::test::ZipArchiveLayout layout;
    for (int i = 0; i < count; ++i) {
      const std::string name =
          "folder" + std::to_string(i % 100) + "/member" + std::to_string(i) + ".exe";
      layout.members.push_back(
          {.name = name, .content = kv::test::BytesOf(std::string(300, 'a' + i % 26) + name)});
    }
    at->second = folder.File("members" + std::to_string(count) + ".zip");
    kv::test::WriteFileBytes(at->second, kv::test::BuildZip(layout).bytes);
  }
  return at->second;
}

void ListThenExtractEveryMember(benchmark::State& state) {
  static const Library library;
  const std::string& path = ArchiveOf(static_cast<int>(state.range(0)));
  std::vector<std::string> names;
  for (auto _ : state) {
    names.clear();
    g_names = &names;
    Unzip32Options options{};
    options.verboseListing = 1;
    options.caseInsensitive = 1;
    options.archivePath = const_cast<char*>(path.c_str());
    Unzip32Callbacks callbacks{};
    callbacks.sendMember = CollectName;
    if (library.single_entry_unzip(0, nullptr, 0, nullptr, &options, &callbacks) != 0) {
      state.SkipWithError("listing failed");
      break;
    }
    for (std::string& name : names) {
      Unzip32Buffer buffer{};
      if (!library.unzip_to_memory(const_cast<char*>(path.c_str()), name.data(), &callbacks,
                                   &buffer)) {
        state.SkipWithError("extraction failed");
        break;
      }
      benchmark::DoNotOptimize(buffer.data);
      library.free_memory_buffer(&buffer);
    }
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(ListThenExtractEveryMember)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(40000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();
