// A small host program for tests where the host's own folder matters: the
// tests copy it into a temporary folder and run it there. It loads the
// engine library named by its first argument, runs the commands that follow
// the output file's name, and writes one "command=result" line for each.
// "unload" releases the library and ends the commands.
//   test_host LIBRARY OUTPUT COMMAND...
#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <chrono>
#include <cstdio>
#include <string>

#include "config/data_folder.h"
#include "exclusions/exclusion_store.h"
#include "kvserver.h"
#include "platform/modules.h"

namespace {

uint32_t OwnProcessId() {
#if defined(_WIN32)
  return ::GetCurrentProcessId();
#else
  return static_cast<uint32_t>(::getpid());
#endif
}

template <typename Function>
Function Find(void* library, const char* name) {
  return reinterpret_cast<Function>(kv::platform::FindLibrarySymbol(library, name));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  void* library = kv::platform::LoadLibraryByName(argv[1]);
  if (library == nullptr) return 3;
  std::FILE* out = std::fopen(argv[2], "w");
  if (out == nullptr) return 4;
  auto add = Find<int32_t(KV_CDECL*)(const char*)>(library, "kvAddExclusion");
  auto first = Find<const char*(KV_CDECL*)(void)>(library, "kvFindFirstExclusion");
  auto process_file =
      Find<int32_t(KV_CDECL*)(uint32_t, char*, int32_t)>(library, "kvGetProcessFilename");
  auto load_pest_info = Find<int32_t(KV_CDECL*)(void)>(library, "kvLoadPestInfo");
  auto dat_folder = Find<int32_t(KV_CDECL*)(char*, int32_t)>(library, "kvGetDATFolder");
  auto initialize = Find<int32_t(KV_CDECL*)(void)>(library, "kvServerInitialize");
  if (!add || !first || !process_file || !load_pest_info || !dat_folder || !initialize) return 5;

  for (int i = 3; i < argc; ++i) {
    const std::string command = argv[i];
    std::string result;
    if (command == "host-folder") {
      result = kv::GetHostFolder(kv::kPathBufferSize).value_or("(none)");
    } else if (command == "executable") {
      result = kv::platform::HostExecutablePath();
    } else if (command == "locate") {
      std::string folder;
      result = kv::LocateDataFile("KVFILE.DAT", true, folder) + "|" + folder;
    } else if (command == "exclusion-path") {
      result = kv::ExclusionFilePath();
    } else if (command.rfind("add:", 0) == 0) {
      result = std::to_string(add(command.c_str() + 4));
    } else if (command == "first") {
      const char* text = first();
      result = text != nullptr ? text : "(null)";
    } else if (command == "own-process") {
      char buffer[4097] = {};
      const int32_t length = process_file(OwnProcessId(), buffer, 4096);
      result = std::to_string(length) + "|" + buffer;
    } else if (command == "load-pest-info") {
      char folder[4097] = {};
      const int32_t status = load_pest_info();
      result = std::to_string(status) + "|" + (dat_folder(folder, 4096) ? folder : "(none)");
    } else if (command == "initialize") {
      result = std::to_string(initialize());
    } else if (command == "unload") {
      // "unloaded|milliseconds": how long the release took.
      const auto start = std::chrono::steady_clock::now();
      const bool unloaded = kv::platform::UnloadLibrary(library);
      const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - start);
      result = std::to_string(unloaded) + "|" + std::to_string(elapsed.count());
      std::fprintf(out, "%s=%s\n", command.c_str(), result.c_str());
      break;
    } else {
      result = "(unknown)";
    }
    std::fprintf(out, "%s=%s\n", command.c_str(), result.c_str());
  }
  std::fclose(out);
  return 0;
}
