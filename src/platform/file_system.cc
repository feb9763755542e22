// The real file system behind the FileSystem table: each operation is the
// platform's own.
#include "platform/file_system.h"

#include "platform/paths.h"

namespace kv::platform {

FileSystem& FileSystem::Default() {
  static FileSystem real;
  return real;
}

bool FileSystem::Exists(const std::string& path) { return PathExists(path.c_str()); }

std::optional<FileVersion> FileSystem::QueryVersion(const std::string& path) {
  return QueryFileVersion(path.c_str());
}

std::optional<InputFile> FileSystem::OpenForReading(const std::string& path) {
  return InputFile::Open(path.c_str());
}

std::optional<UpdatableFile> FileSystem::OpenForUpdate(const std::string& path) {
  if (IsReadOnlyFile(path.c_str())) return std::nullopt;
  return UpdatableFile::Open(path.c_str());
}

std::optional<uint16_t> FileSystem::ReadStamp(const UpdatableFile& file) {
  return file.ReadStamp();
}

bool FileSystem::WriteStamp(UpdatableFile& file, uint16_t stamp) { return file.WriteStamp(stamp); }

bool FileSystem::Truncate(UpdatableFile& file) { return file.Truncate(); }

bool FileSystem::StampSurvivesRename() { return platform::StampSurvivesRename(); }

bool FileSystem::Remove(const std::string& path) { return RemoveFile(path.c_str()); }

std::optional<ReplacementFile> FileSystem::CreateReplacement(const std::string& target) {
  return ReplacementFile::Create(target.c_str());
}

bool FileSystem::Write(ReplacementFile& file, const void* data, size_t length) {
  return file.Write(data, length);
}

bool FileSystem::Finish(ReplacementFile& file) { return file.Finish(); }

bool FileSystem::Commit(ReplacementFile& file) { return file.Commit(); }

}  // namespace kv::platform
