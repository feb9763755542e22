// The built engine library, loaded by the tests the way a host loads it, so
// that exported names and calling conventions are tested for real.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/modules.h"

namespace kv::test {

// The built unzip library, in the build folder (the parent of tests/).
std::string BuiltUnzipLibraryPath();

class EngineLibrary {
 public:
  // Loads the library from the build folder (the parent of tests/).
  EngineLibrary();

  bool loaded() const { return module_ != nullptr; }
  // Releases this load of the library, as a host's FreeLibrary or dlclose.
  void Unload();
  const std::string& path() const { return path_; }

  // The exported symbol `name` as a function pointer of type Function, or
  // null when the library does not export it.
  template <typename Function>
  Function Find(const char* name) const {
    return reinterpret_cast<Function>(platform::FindLibrarySymbol(module_, name));
  }

  // Find() for an export that must be there: a missing one fails the test.
  template <typename Function>
  Function Require(const char* name) const {
    auto function = Find<Function>(name);
    EXPECT_NE(function, nullptr) << name;
    return function;
  }

 private:
  std::string path_;
  void* module_ = nullptr;
};

}  // namespace kv::test
