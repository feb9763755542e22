// Test control of the engine's machine-wide settings: registry values on
// Windows (set with RegSetValueExA and removed afterwards), a settings file
// named by TROVALEN_REGISTRY on POSIX.
#pragma once

#include <string>

#include "support/test_files.h"

namespace kv::test {

class ScopedSettings {
 public:
  // Starts with neither KVLocation nor KVCLLocation set.
  ScopedSettings();
  // Removes every value it set (and on POSIX the variable).
  ~ScopedSettings();
  ScopedSettings(const ScopedSettings&) = delete;
  ScopedSettings& operator=(const ScopedSettings&) = delete;

  void Set(const std::string& name, const std::string& value);
  void Remove(const std::string& name);

#if !defined(_WIN32)
  // Replaces the whole settings file, for tests of its syntax.
  void WriteFile(const std::string& content);
#endif

 private:
#if !defined(_WIN32)
  void Rewrite();
  TempFolder folder_;
  std::string file_;
  std::string lines_;
#endif
};

}  // namespace kv::test
