// Data-folder resolution: the three sources and the two search orders.
#include "config/data_folder.h"

#include <cstring>

#include "platform/modules.h"
#include "platform/paths.h"
#include "platform/registry.h"

namespace kv {

using platform::kPathSeparator;

void AppendSeparator(std::string& folder) {
  if (folder.empty() || folder.back() != kPathSeparator) folder += kPathSeparator;
}

std::optional<std::string> GetHostFolder(size_t size) {
  return HostFolderOf(platform::HostExecutablePath(), size);
}

std::optional<std::string> HostFolderOf(std::string path, size_t size) {
  if (path.empty() || path.size() + 1 > size) return std::nullopt;
  const size_t cut = path.rfind(kPathSeparator);
  if (cut != std::string::npos && cut >= 1) path.resize(cut);
  return path;
}

std::optional<std::string> ReadLocationValue() {
  std::optional<std::string> value = platform::ReadSetting("KVLocation");
  if (!value) return std::nullopt;
  AppendSeparator(*value);
  if (value->size() > kShortTextLength) return std::nullopt;
  return value;
}

std::optional<std::string> ReadClLocationValue() { return platform::ReadSetting("KVCLLocation"); }

std::string LocateDataFile(const char* file_name, bool honour_set_folder, std::string& dat_folder) {
  const std::string name = file_name != nullptr ? file_name : "";
  auto try_folder = [&](std::string folder, std::string* path) {
    AppendSeparator(folder);
    dat_folder = folder;
    *path = folder + name;
    return path->size() < kPathBufferSize && platform::PathExists(path->c_str());
  };

  std::string path;
  std::optional<std::string> first;
  if (honour_set_folder && !dat_folder.empty()) {
    first = dat_folder;
  } else {
    first = ReadLocationValue();
  }
  if (first && try_folder(*first, &path)) return path;
  if (std::optional<std::string> second = ReadClLocationValue()) {
    if (try_folder(*second, &path)) return path;
  }
  std::string host = GetHostFolder(kPathBufferSize).value_or("");
  if (!host.empty()) host += kPathSeparator;
  dat_folder = host;
  return host + name;
}

std::optional<std::string> FindDataFile(const char* file_name, size_t max_length) {
  if (file_name == nullptr) return std::nullopt;
  return FindDataFile(file_name, max_length, platform::HostExecutablePath());
}

std::optional<std::string> FindDataFile(const char* file_name, size_t max_length,
                                        const std::string& executable_path) {
  if (file_name == nullptr) return std::nullopt;
  auto exists_in = [&](std::string folder) -> std::optional<std::string> {
    AppendSeparator(folder);
    folder += file_name;
    if (folder.size() > max_length || folder.size() >= kPathBufferSize) {
      return std::nullopt;
    }
    if (!platform::PathExists(folder.c_str())) return std::nullopt;
    return folder;
  };
  // Without a host folder the first candidate is the file at the root.
  std::string host = HostFolderOf(executable_path, kPathBufferSize - 1).value_or("");
  host += kPathSeparator;
  if (auto found = exists_in(host)) return found;
  if (auto cl = ReadClLocationValue()) {
    if (auto found = exists_in(*cl)) return found;
  }
  if (auto location = ReadLocationValue()) {
    if (auto found = exists_in(*location)) return found;
  }
  return std::nullopt;
}

int32_t CopyDatFolder(const std::string& dat_folder, char* buffer, int32_t size) {
  if (buffer == nullptr || dat_folder.empty() || size < 0 ||
      dat_folder.size() > static_cast<size_t>(size)) {
    return 0;
  }
  std::memcpy(buffer, dat_folder.c_str(), dat_folder.size() + 1);
  return 1;
}

void DataFolder::Set(std::string folder) {
  std::lock_guard<std::mutex> lock(mutex_);
  folder_ = std::move(folder);
}

std::string DataFolder::Get() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return folder_;
}

int32_t DataFolder::CopyTo(char* buffer, int32_t size) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return CopyDatFolder(folder_, buffer, size);
}

std::string DataFolder::Locate(const char* file_name, bool honour_set_folder) {
  std::string folder = Get();
  std::string path = LocateDataFile(file_name, honour_set_folder, folder);
  Set(std::move(folder));
  return path;
}

}  // namespace kv
