// Loading the engine library from the build folder.
#include "support/engine_library.h"

#include "support/test_files.h"

namespace kv::test {

std::string BuiltUnzipLibraryPath() {
  return (TestExecutableFolder().parent_path() / KV_UNZIP32_FILE_NAME).string();
}

EngineLibrary::EngineLibrary()
    : path_((TestExecutableFolder().parent_path() / KV_LIBRARY_FILE_NAME).string()),
      module_(platform::LoadLibraryByName(path_.c_str())) {}

void EngineLibrary::Unload() {
  if (module_ != nullptr) platform::UnloadLibrary(module_);
  module_ = nullptr;
}

}  // namespace kv::test
