// Fuzz target: the unzip library's exports on an archive file of arbitrary
// bytes. Listed both ways (the published per-member callback and our indexed
// one), which must agree; every member extracted to memory by index and by
// name; one member extracted into a fresh folder, after which nothing may
// have appeared outside it, and the file written must hold the bytes that
// extraction to memory gave.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "unzip32.h"

namespace {

namespace fs = std::filesystem;

struct Listed {
  uint32_t size = 0;
  std::string name;  // whole, zero bytes included
};

thread_local std::vector<Listed>* t_classic = nullptr;

void UNZIP32_CALL CollectClassic(uint32_t size, uint32_t, uint32_t percent, uint32_t, uint32_t,
                                 uint32_t, uint32_t, uint32_t, char, const char* name,
                                 const char* method, uint32_t, char) {
  if (name == nullptr || method == nullptr || percent > 100) std::abort();
  t_classic->push_back({size, name});
}

void UNZIP32_CALL CollectIndexed(void* context, uint32_t index, uint32_t size, const char* name,
                                 uint32_t length) {
  auto* members = static_cast<std::vector<Listed>*>(context);
  if (index != members->size() || name == nullptr) std::abort();
  members->push_back({size, std::string(name, length)});
}

int UNZIP32_CALL Quiet(char*, uint32_t) { return 0; }

int UNZIP32_CALL Password(char* buffer, int size, const char*, const char*) {
  static constexpr char kPassword[] = "secret";
  if (size < static_cast<int>(sizeof kPassword)) return 1;
  for (size_t i = 0; i < sizeof kPassword; ++i) buffer[i] = kPassword[i];
  return 0;
}

Unzip32Callbacks Callbacks() {
  Unzip32Callbacks callbacks{};
  callbacks.print = &Quiet;
  callbacks.password = &Password;
  return callbacks;
}

std::string Bytes(const Unzip32Buffer& buffer) {
  return buffer.data != nullptr ? std::string(buffer.data, buffer.length) : std::string();
}

// Everything below `folder`, as paths relative to it.
std::set<std::string> Contents(const fs::path& folder) {
  std::set<std::string> found;
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    found.insert(fs::relative(it->path(), folder).generic_string());
  }
  return found;
}

// The work folder of this process, removed at exit: the archives, and the
// extraction folder two levels down, so that a name climbing out of it
// lands where Contents sees it.
class WorkFolder {
 public:
  WorkFolder() {
    std::random_device random;
    path_ = fs::temp_directory_path() / ("fuzz_unzip32-" + std::to_string(random()));
    fs::create_directories(path_);
  }
  ~WorkFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kvUnzipSetMaxMemberSize(16u << 20);  // keeps each input quick
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A new name for every input: the library caches the directory of the
  // last archive by path, identity, size and time, and two inputs of one
  // size written within one clock tick would look alike.
  static uint64_t serial = 0;
  static const WorkFolder work_folder;
  const fs::path& work = work_folder.path();
  const std::string archive = (work / ("archive" + std::to_string(serial++) + ".zip")).string();
  {
    std::ofstream out(archive, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }

  // The listing, both ways.
  std::vector<Listed> classic, indexed;
  std::string path = archive;
  Unzip32Options options{};
  options.verboseListing = 1;
  options.archivePath = path.data();
  Unzip32Callbacks listing = Callbacks();
  listing.sendMember = &CollectClassic;
  t_classic = &classic;
  const int classic_result = Wiz_SingleEntryUnzip(0, nullptr, 0, nullptr, &options, &listing);
  t_classic = nullptr;
  const int indexed_result = kvUnzipListIndexed(archive.c_str(), &CollectIndexed, &indexed);
  if (classic_result != indexed_result) std::abort();
  if (classic_result != UNZIP32_OK) {
    if (!classic.empty() || !indexed.empty()) std::abort();  // a failed listing lists nothing
  } else {
    if (classic.size() != indexed.size() || listing.memberCount != indexed.size()) std::abort();
    for (size_t i = 0; i < indexed.size(); ++i) {
      // The published callback sees the name up to its first zero byte.
      if (classic[i].size != indexed[i].size ||
          classic[i].name != indexed[i].name.substr(0, indexed[i].name.find('\0'))) {
        std::abort();
      }
    }
  }

  // Every member to memory, by index; and by name where the name reaches
  // it (the first member of exactly that name).
  std::vector<std::string> contents(indexed.size());
  std::vector<bool> extracted(indexed.size(), false);
  std::set<std::string> earlier_names;
  for (uint32_t i = 0; i < indexed.size(); ++i) {
    Unzip32Callbacks callbacks = Callbacks();
    Unzip32Buffer buffer{0, nullptr};
    if (kvUnzipToMemoryByIndex(archive.c_str(), i, &callbacks, &buffer) != 0) {
      if (buffer.data == nullptr || buffer.length > indexed[i].size) std::abort();
      contents[i] = Bytes(buffer);
      extracted[i] = true;
    } else if (buffer.data != nullptr || buffer.length != 0) {
      std::abort();
    }
    UzpFreeMemBuffer(&buffer);

    const std::string& name = indexed[i].name;
    const bool reachable =
        name.find('\0') == std::string::npos && earlier_names.insert(name).second;
    std::string name_text = name;
    Unzip32Buffer by_name{0, nullptr};
    const int found = Wiz_UnzipToMemory(path.data(), name_text.data(), &callbacks, &by_name);
    if (reachable && (found != 0) != extracted[i]) std::abort();
    if (reachable && found != 0 && Bytes(by_name) != contents[i]) std::abort();
    UzpFreeMemBuffer(&by_name);
  }

  // One member into a fresh folder. The archive's length picks which.
  if (!indexed.empty()) {
    const size_t chosen = size % indexed.size();
    const fs::path folder = work / "a" / "b" / "out";
    fs::create_directories(folder);
    std::string folder_text = folder.string();
    std::string name = indexed[chosen].name;
    char* include[] = {name.data()};
    Unzip32Options extract{};
    extract.archivePath = path.data();
    extract.extractFolder = folder_text.data();
    extract.caseInsensitive = static_cast<int32_t>(chosen & 1);
    Unzip32Callbacks callbacks = Callbacks();
    const int result = Wiz_SingleEntryUnzip(1, include, 0, nullptr, &extract, &callbacks);

    // Nothing beside the archive and the folders on the way.
    const std::set<std::string> expected = {fs::path(archive).filename().string(), "a", "a/b",
                                            "a/b/out"};
    std::set<std::string> outside;
    for (const std::string& entry : Contents(work)) {
      if (entry.rfind("a/b/out/", 0) != 0) outside.insert(entry);
    }
    if (outside != expected) std::abort();

    // A member written whole holds what extraction to memory gave to the
    // first member of its exact name, which the include list picks too
    // (unless a zero byte cuts the name short).
    const bool exact = name.find('\0') == std::string::npos;
    if (result == UNZIP32_OK && exact) {
      std::vector<fs::path> files;
      for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
      if (files.size() > 1) std::abort();
      size_t first = 0;
      while (indexed[first].name != name) ++first;
      if (files.size() == 1 && extracted[first]) {
        std::ifstream in(files[0], std::ios::binary);
        const std::string written{std::istreambuf_iterator<char>(in), {}};
        if (written != contents[first]) std::abort();
      }
    }
    fs::remove_all(work / "a");
  }
  fs::remove(archive);
  return 0;
}
