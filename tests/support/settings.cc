// Machine-wide settings for tests: the registry or the POSIX settings file.
#include "support/settings.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <stdlib.h>
#endif

#include <stdexcept>

namespace kv::test {

#if defined(_WIN32)
namespace {

constexpr const char* kKey = "SOFTWARE\\Orlenwick\\Trovalen";

HKEY OpenKey() {
  HKEY key = nullptr;
  if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot open the settings key");
  }
  return key;
}

}  // namespace

ScopedSettings::ScopedSettings() {
  Remove("KVLocation");
  Remove("KVCLLocation");
}

ScopedSettings::~ScopedSettings() {
  try {
    Remove("KVLocation");
    Remove("KVCLLocation");
  } catch (...) {
  }
}

void ScopedSettings::Set(const std::string& name, const std::string& value) {
  HKEY key = OpenKey();
  ::RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
  ::RegCloseKey(key);
}

void ScopedSettings::Remove(const std::string& name) {
  HKEY key = OpenKey();
  ::RegDeleteValueA(key, name.c_str());
  ::RegCloseKey(key);
}

#else

ScopedSettings::ScopedSettings() : file_(folder_.File("registry")) {
  Rewrite();
  ::setenv("TROVALEN_REGISTRY", file_.c_str(), 1);
}

ScopedSettings::~ScopedSettings() { ::unsetenv("TROVALEN_REGISTRY"); }

void ScopedSettings::Set(const std::string& name, const std::string& value) {
  Remove(name);
  lines_ += name + "=" + value + "\n";
  Rewrite();
}

void ScopedSettings::Remove(const std::string& name) {
  std::string kept;
  size_t start = 0;
  while (start < lines_.size()) {
    const size_t end = lines_.find('\n', start);
    const std::string line = lines_.substr(start, end - start);
    if (line.rfind(name + "=", 0) != 0) kept += line + "\n";
    start = end + 1;
  }
  lines_ = kept;
  Rewrite();
}

void ScopedSettings::WriteFile(const std::string& content) {
  lines_.clear();
  WriteFileBytes(file_, Bytes(content.begin(), content.end()));
}

void ScopedSettings::Rewrite() { WriteFileBytes(file_, Bytes(lines_.begin(), lines_.end())); }

#endif

}  // namespace kv::test
