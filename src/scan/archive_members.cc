// Listing and extraction through the unzip library. Our own library lists
// with directory indices and extracts by index; any other one is driven
// through the classic interface by name, with the listing callback filling
// the list of the thread that listed.
#include "scan/archive_members.h"

#include <utility>

namespace kv {
namespace {

// The list the classic listing callback fills. Per thread: walks on other
// threads list archives of their own at the same time.
thread_local std::vector<ArchiveMember>* t_listing = nullptr;

int UNZIP32_CALL IgnoreMessage(char*, uint32_t) { return 0; }

int UNZIP32_CALL ReplaceExisting(char*) { return 1; }

// Encrypted members are never guessed at: an empty password fails them.
int UNZIP32_CALL EmptyPassword(char* buffer, int size, const char*, const char*) {
  if (buffer != nullptr && size > 0) buffer[0] = '\0';
  return 0;
}

void UNZIP32_CALL CollectMember(uint32_t uncompressed_size, uint32_t, uint32_t, uint32_t, uint32_t,
                                uint32_t, uint32_t, uint32_t, char, const char* name, const char*,
                                uint32_t, char) {
  if (t_listing == nullptr || name == nullptr) return;
  t_listing->push_back(ArchiveMember{name, uncompressed_size, 0, false});
}

void UNZIP32_CALL CollectIndexedMember(void* context, uint32_t index, uint32_t uncompressed_size,
                                       const char* name, uint32_t name_length) {
  auto* members = static_cast<std::vector<ArchiveMember>*>(context);
  members->push_back(ArchiveMember{std::string(name, name_length), uncompressed_size, index, true});
}

Unzip32Callbacks Callbacks() {
  Unzip32Callbacks callbacks{};
  callbacks.print = &IgnoreMessage;
  callbacks.replace = &ReplaceExisting;
  callbacks.password = &EmptyPassword;
  callbacks.sendMember = &CollectMember;
  return callbacks;
}

// Sets the thread's listing target for one classic listing.
class ListingTarget {
 public:
  explicit ListingTarget(std::vector<ArchiveMember>* members) : previous_(t_listing) {
    t_listing = members;
  }
  ~ListingTarget() { t_listing = previous_; }
  ListingTarget(const ListingTarget&) = delete;
  ListingTarget& operator=(const ListingTarget&) = delete;

 private:
  std::vector<ArchiveMember>* previous_;
};

}  // namespace

MemberBytes::MemberBytes(MemberBytes&& other) noexcept
    : buffer_(std::exchange(other.buffer_, Unzip32Buffer{0, nullptr})), free_(other.free_) {}

MemberBytes& MemberBytes::operator=(MemberBytes&& other) noexcept {
  if (this != &other) {
    Release();
    buffer_ = std::exchange(other.buffer_, Unzip32Buffer{0, nullptr});
    free_ = other.free_;
  }
  return *this;
}

MemberBytes::~MemberBytes() { Release(); }

void MemberBytes::Release() {
  if (buffer_.data != nullptr && free_ != nullptr) free_(&buffer_);
  buffer_ = Unzip32Buffer{0, nullptr};
}

bool ArchiveReader::List(const char* archive_path, std::vector<ArchiveMember>* members) const {
  members->clear();
  if (!unzip_.ready || archive_path == nullptr) return false;
  int result = 0;
  if (unzip_.list_indexed != nullptr) {
    result = unzip_.list_indexed(archive_path, &CollectIndexedMember, members);
  } else {
    std::string path = archive_path;
    Unzip32Options options{};
    options.extractOnlyNewer = 1;
    options.verboseListing = 1;
    options.caseInsensitive = 1;
    options.privilegeMode = 2;
    options.archivePath = path.data();
    Unzip32Callbacks callbacks = Callbacks();
    const ListingTarget target(members);
    result = unzip_.single_entry_unzip(0, nullptr, 0, nullptr, &options, &callbacks);
  }
  if (result != UNZIP32_OK) members->clear();
  return result == UNZIP32_OK;
}

bool ArchiveReader::Extract(const char* archive_path, const ArchiveMember& member,
                            MemberBytes* bytes) const {
  *bytes = MemberBytes();
  if (!unzip_.ready || archive_path == nullptr) return false;
  Unzip32Callbacks callbacks = Callbacks();
  callbacks.sendMember = nullptr;
  Unzip32Buffer buffer{0, nullptr};
  int extracted = 0;
  if (member.indexed && unzip_.unzip_to_memory_by_index != nullptr) {
    extracted = unzip_.unzip_to_memory_by_index(archive_path, member.index, &callbacks, &buffer);
  } else {
    std::string path = archive_path;
    std::string name = member.name;
    extracted = unzip_.unzip_to_memory(path.data(), name.data(), &callbacks, &buffer);
  }
  bytes->buffer_ = buffer;
  bytes->free_ = unzip_.free_memory_buffer;
  if (extracted == 0) *bytes = MemberBytes();
  return extracted != 0;
}

}  // namespace kv
