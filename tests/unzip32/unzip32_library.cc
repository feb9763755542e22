// Loading the built unzip library, and the engine's way of calling it.
#include "unzip32/unzip32_library.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <type_traits>
#include <utility>

#include "platform/modules.h"
#include "support/test_files.h"

namespace kv::test {
namespace {

// The published listing callback carries no context: the test's list.
std::vector<ListedMember>* g_listed = nullptr;
// The password the next query answers, and the names it was asked for.
std::string g_password;
std::vector<std::string> g_password_queries;
int g_replace_answer = 1;

int UNZIP32_CALL IgnoreText(char*, uint32_t) { return 0; }

int UNZIP32_CALL AnswerReplace(char*) { return g_replace_answer; }

int UNZIP32_CALL AnswerPassword(char* buffer, int size, const char*, const char* name) {
  g_password_queries.push_back(name);
  std::snprintf(buffer, static_cast<size_t>(size), "%s", g_password.c_str());
  return 0;
}

void UNZIP32_CALL CollectMember(uint32_t size, uint32_t compressed, uint32_t percent,
                                uint32_t month, uint32_t day, uint32_t year, uint32_t hour,
                                uint32_t minute, char marker, const char* name, const char* method,
                                uint32_t crc, char encrypted) {
  if (g_listed == nullptr) return;
  g_listed->push_back({size, compressed, percent, month, day, year, hour, minute, marker, name,
                       method, crc, encrypted});
}

Unzip32Callbacks EngineCallbacks() {
  Unzip32Callbacks callbacks{};
  callbacks.print = IgnoreText;
  callbacks.replace = AnswerReplace;
  callbacks.password = AnswerPassword;
  callbacks.sendMember = CollectMember;
  return callbacks;
}

Unzip32Options EngineOptions(const std::string& archive, bool listing, const char* folder) {
  Unzip32Options options{};
  options.extractOnlyNewer = 1;
  options.verboseListing = listing ? 1 : 0;
  options.caseInsensitive = 1;
  options.privilegeMode = 2;
  options.archivePath = const_cast<char*>(archive.c_str());
  options.extractFolder = const_cast<char*>(folder);
  return options;
}

Extracted FromBuffer(int result, Unzip32Buffer& buffer) {
  Extracted extracted;
  extracted.ok = result != 0;
  if (extracted.ok) {
    EXPECT_NE(buffer.data, nullptr);
    extracted.bytes.assign(buffer.data, buffer.data + buffer.length);
  } else {
    EXPECT_EQ(buffer.data, nullptr);
    EXPECT_EQ(buffer.length, 0u);
  }
  Unzip32Library::Get().free_memory_buffer(&buffer);
  EXPECT_EQ(buffer.data, nullptr);
  return extracted;
}

}  // namespace

Unzip32Library::Unzip32Library()
    : path_((TestExecutableFolder().parent_path() / KV_UNZIP32_FILE_NAME).string()) {
  void* module = platform::LoadLibraryByName(path_.c_str());
  if (module == nullptr) return;
  auto find = [module](auto* function, const char* name) {
    *function = reinterpret_cast<std::remove_reference_t<decltype(*function)>>(
        platform::FindLibrarySymbol(module, name));
  };
  find(&init, "Wiz_Init");
  find(&set_options, "Wiz_SetOpts");
  find(&single_entry_unzip, "Wiz_SingleEntryUnzip");
  find(&unzip_to_memory, "Wiz_UnzipToMemory");
  find(&free_memory_buffer, "UzpFreeMemBuffer");
  find(&list_indexed, "kvUnzipListIndexed");
  find(&unzip_to_memory_by_index, "kvUnzipToMemoryByIndex");
  find(&set_max_member_size, "kvUnzipSetMaxMemberSize");
}

const Unzip32Library& Unzip32Library::Get() {
  static const Unzip32Library library;
  return library;
}

bool Unzip32Library::complete() const {
  return init && set_options && single_entry_unzip && unzip_to_memory && free_memory_buffer &&
         list_indexed && unzip_to_memory_by_index && set_max_member_size;
}

std::vector<std::string> TakePasswordQueries() { return std::exchange(g_password_queries, {}); }

int ListAsEngine(const std::string& archive, std::vector<ListedMember>* members,
                 Unzip32Callbacks* callbacks_out) {
  members->clear();
  g_listed = members;
  Unzip32Options options = EngineOptions(archive, true, nullptr);
  Unzip32Callbacks callbacks = EngineCallbacks();
  const int result =
      Unzip32Library::Get().single_entry_unzip(0, nullptr, 0, nullptr, &options, &callbacks);
  g_listed = nullptr;
  if (callbacks_out != nullptr) *callbacks_out = callbacks;
  return result;
}

Extracted ExtractByName(const std::string& archive, const std::string& member,
                        const char* password) {
  g_password = password;
  Unzip32Callbacks callbacks = EngineCallbacks();
  Unzip32Buffer buffer{7, reinterpret_cast<char*>(&buffer)};  // filled either way
  const int result = Unzip32Library::Get().unzip_to_memory(
      const_cast<char*>(archive.c_str()), const_cast<char*>(member.c_str()), &callbacks, &buffer);
  return FromBuffer(result, buffer);
}

Extracted ExtractByIndex(const std::string& archive, uint32_t index, const char* password) {
  g_password = password;
  Unzip32Callbacks callbacks = EngineCallbacks();
  Unzip32Buffer buffer{};
  const int result =
      Unzip32Library::Get().unzip_to_memory_by_index(archive.c_str(), index, &callbacks, &buffer);
  return FromBuffer(result, buffer);
}

int ExtractToFolder(const std::string& archive, const std::vector<std::string>& include,
                    const std::string& folder, int replace) {
  std::vector<char*> names;
  for (const std::string& name : include) names.push_back(const_cast<char*>(name.c_str()));
  names.push_back(nullptr);
  Unzip32Options options = EngineOptions(archive, false, folder.c_str());
  Unzip32Callbacks callbacks = EngineCallbacks();
  if (replace < 0) callbacks.replace = nullptr;
  g_replace_answer = replace;
  return Unzip32Library::Get().single_entry_unzip(static_cast<int>(include.size()), names.data(), 0,
                                                  nullptr, &options, &callbacks);
}

}  // namespace kv::test
