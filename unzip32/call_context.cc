// Opening archives for a call, results, messages and password answers.
#include "call_context.h"

#include <array>

#include "directory_cache.h"

namespace kv::unzip32 {

zip::Limits CallLimits() { return zip::Limits{}; }

std::atomic<uint32_t>& MaxMemberSize() {
  static std::atomic<uint32_t> bytes{kDefaultMaxMemberSize};
  return bytes;
}

int ResultOf(zip::ZipStatus status) {
  switch (status) {
    case zip::ZipStatus::kOk:
      return UNZIP32_OK;
    case zip::ZipStatus::kNotArchive:
      return UNZIP32_NOT_ARCHIVE;
    case zip::ZipStatus::kTooManyMembers:
    case zip::ZipStatus::kDirectoryTooLarge:
    case zip::ZipStatus::kDeclaredSizeTooLarge:
    case zip::ZipStatus::kInflateLimit:
      return UNZIP32_LIMIT;
    case zip::ZipStatus::kUnsupportedMethod:
      return UNZIP32_UNSUPPORTED;
    case zip::ZipStatus::kBadPassword:
      return UNZIP32_BAD_PASSWORD;
    case zip::ZipStatus::kWriteError:
      return UNZIP32_WRITE_FAILED;
    case zip::ZipStatus::kOutOfMemory:
      return UNZIP32_NO_MEMORY;
    case zip::ZipStatus::kDamagedDirectory:
    case zip::ZipStatus::kDamagedMember:
    case zip::ZipStatus::kSizeMismatch:
    case zip::ZipStatus::kCrcMismatch:
    case zip::ZipStatus::kReadError:
      return UNZIP32_DAMAGED;
  }
  return UNZIP32_DAMAGED;
}

void Say(Unzip32Callbacks* callbacks, std::string_view text) {
  if (callbacks == nullptr || callbacks->print == nullptr) return;
  std::string line(text);
  line += '\n';
  callbacks->print(line.data(), static_cast<uint32_t>(line.size()));
}

std::string Quoted(std::string_view name) {
  constexpr size_t kShown = 200;
  std::string text = "\"";
  text += name.substr(0, kShown);
  if (name.size() > kShown) text += "...";
  return text + "\"";
}

int Open(const char* path, Unzip32Callbacks* callbacks, OpenArchive* archive) {
  if (path == nullptr) return UNZIP32_BAD_PARAMETERS;
  archive->file = ArchiveFile::Open(path);
  if (!archive->file) {
    Say(callbacks, std::string("cannot open ") + Quoted(path));
    return UNZIP32_NOT_ARCHIVE;
  }
  const zip::ZipStatus status =
      TheDirectoryCache().Get(*archive->file, CallLimits(), &archive->directory);
  if (status != zip::ZipStatus::kOk) {
    Say(callbacks, Quoted(path) + ": " + zip::Describe(status));
    return ResultOf(status);
  }
  return UNZIP32_OK;
}

zip::PasswordQuery PasswordFrom(Unzip32Callbacks* callbacks) {
  if (callbacks == nullptr || callbacks->password == nullptr) return nullptr;
  const Unzip32PasswordFn ask = callbacks->password;
  return [ask](std::string_view member_name) -> std::optional<std::string> {
    std::array<char, 256> buffer{};
    const std::string name(member_name);
    if (ask(buffer.data(), static_cast<int>(buffer.size()), "Enter password: ", name.c_str()) !=
        0) {
      return std::nullopt;
    }
    buffer.back() = '\0';
    return std::string(buffer.data());
  };
}

}  // namespace kv::unzip32
