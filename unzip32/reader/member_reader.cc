// Member extraction: local header, optional decryption, stored copy or
// inflate through zlib.
#include "reader/member_reader.h"

#include <zlib.h>

#include <algorithm>

#include "reader/little_endian.h"
#include "reader/traditional_encryption.h"

namespace kv::zip {
namespace {

constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kChunkSize = 64 * 1024;
constexpr uint16_t kStrongEncryptionFlag = 0x0040;

// Where the member's data starts, from its own local header; the data must
// end within the member's extent.
ZipStatus LocateData(ByteSource& source, const Member& member, uint64_t* data_offset) {
  const uint64_t start = member.local_header_offset;
  if (member.shares_local_header || start > member.extent_end ||
      member.extent_end - start < kLocalHeaderSize) {
    return ZipStatus::kDamagedMember;
  }
  uint8_t header[kLocalHeaderSize];
  if (!source.ReadAt(start, header)) return ZipStatus::kReadError;
  if (Le32(header) != kLocalHeaderSignature) return ZipStatus::kDamagedMember;
  const uint64_t data = start + kLocalHeaderSize + Le16(header + 26) + Le16(header + 28);
  if (data > member.extent_end || member.compressed_size > member.extent_end - data) {
    return ZipStatus::kDamagedMember;
  }
  *data_offset = data;
  return ZipStatus::kOk;
}

// The member's stored bytes, read in chunks and decrypted when needed.
class DataInput {
 public:
  DataInput(ByteSource& source, uint64_t offset, uint64_t length, TraditionalCipher* cipher)
      : source_(source),
        offset_(offset),
        remaining_(length),
        cipher_(cipher),
        buffer_(kChunkSize) {}

  bool exhausted() const { return remaining_ == 0; }
  uint64_t remaining() const { return remaining_; }

  // The next chunk, or an empty span on a read error.
  std::span<uint8_t> Next() {
    const size_t length = static_cast<size_t>(std::min<uint64_t>(remaining_, buffer_.size()));
    std::span<uint8_t> chunk(buffer_.data(), length);
    if (!source_.ReadAt(offset_, chunk)) return {};
    if (cipher_ != nullptr) cipher_->Decrypt(chunk.data(), chunk.size());
    offset_ += length;
    remaining_ -= length;
    return chunk;
  }

 private:
  ByteSource& source_;
  uint64_t offset_;
  uint64_t remaining_;
  TraditionalCipher* cipher_;
  std::vector<uint8_t> buffer_;
};

// Passes output on to the sink and keeps its CRC-32.
class CheckedOutput {
 public:
  explicit CheckedOutput(OutputSink& sink) : sink_(sink) {}

  bool Write(const uint8_t* bytes, size_t length) {
    if (length == 0) return true;
    crc_ = crc32(crc_, bytes, static_cast<uInt>(length));
    written_ += length;
    return sink_.Write(std::span<const uint8_t>(bytes, length));
  }

  uint64_t written() const { return written_; }
  uint32_t crc() const { return static_cast<uint32_t>(crc_); }

 private:
  OutputSink& sink_;
  uLong crc_ = crc32(0, nullptr, 0);
  uint64_t written_ = 0;
};

ZipStatus CopyStored(DataInput& input, uint64_t declared_size, CheckedOutput& output) {
  if (input.remaining() != declared_size) return ZipStatus::kSizeMismatch;
  while (!input.exhausted()) {
    const std::span<uint8_t> chunk = input.Next();
    if (chunk.empty()) return ZipStatus::kReadError;
    if (!output.Write(chunk.data(), chunk.size())) return ZipStatus::kWriteError;
  }
  return ZipStatus::kOk;
}

// zlib's raw inflate state, ended however the extraction ends.
class Inflater {
 public:
  Inflater() { ready_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK; }
  ~Inflater() {
    if (ready_) inflateEnd(&stream_);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  bool ready() const { return ready_; }
  z_stream& stream() { return stream_; }

 private:
  z_stream stream_{};
  bool ready_ = false;
};

ZipStatus FromZlibError(int result) {
  return result == Z_MEM_ERROR ? ZipStatus::kOutOfMemory : ZipStatus::kDamagedMember;
}

// Inflates into at most `declared_size` bytes. Once they are all out, the
// stream may only end: one more byte of output means it inflates beyond its
// declared size, which is how a decompression bomb lies about itself.
ZipStatus Inflate(DataInput& input, uint64_t declared_size, CheckedOutput& output) {
  Inflater inflater;
  if (!inflater.ready()) return ZipStatus::kOutOfMemory;
  z_stream& stream = inflater.stream();
  std::vector<uint8_t> out(kChunkSize);
  for (;;) {
    if (stream.avail_in == 0 && !input.exhausted()) {
      const std::span<uint8_t> chunk = input.Next();
      if (chunk.empty()) return ZipStatus::kReadError;
      stream.next_in = chunk.data();
      stream.avail_in = static_cast<uInt>(chunk.size());
    }
    const uint64_t room = declared_size - output.written();
    const uInt offered = room == 0 ? 1 : static_cast<uInt>(std::min<uint64_t>(room, out.size()));
    stream.next_out = out.data();
    stream.avail_out = offered;
    const uInt input_before = stream.avail_in;
    const int result = inflate(&stream, Z_NO_FLUSH);
    const size_t made = offered - stream.avail_out;
    if (room == 0 && made > 0) return ZipStatus::kSizeMismatch;
    if (!output.Write(out.data(), made)) return ZipStatus::kWriteError;
    if (result == Z_STREAM_END) break;
    if (result != Z_OK && result != Z_BUF_ERROR) return FromZlibError(result);
    const bool progressed = made > 0 || stream.avail_in != input_before;
    if (!progressed && stream.avail_in == 0 && input.exhausted()) {
      return ZipStatus::kDamagedMember;  // the stream stops before its end
    }
    if (!progressed && stream.avail_in != 0) return ZipStatus::kDamagedMember;
  }
  return output.written() == declared_size ? ZipStatus::kOk : ZipStatus::kSizeMismatch;
}

// Asks for the password and checks it against the encryption header.
ZipStatus StartDecryption(ByteSource& source, const Member& member, std::string_view name,
                          const PasswordQuery& query, uint64_t data_offset,
                          std::optional<TraditionalCipher>* cipher) {
  if (member.compressed_size < kEncryptionHeaderSize) return ZipStatus::kDamagedMember;
  uint8_t header[kEncryptionHeaderSize];
  if (!source.ReadAt(data_offset, header)) return ZipStatus::kReadError;
  if (!query) return ZipStatus::kBadPassword;
  const std::optional<std::string> password = query(name);
  if (!password || password->empty()) return ZipStatus::kBadPassword;
  cipher->emplace(*password);
  const auto check = static_cast<uint8_t>(member.has_data_descriptor() ? member.dos_time >> 8
                                                                       : member.crc32 >> 24);
  return DecryptHeader(**cipher, header, check) ? ZipStatus::kOk : ZipStatus::kBadPassword;
}

class VectorSink final : public OutputSink {
 public:
  explicit VectorSink(std::vector<uint8_t>* out) : out_(out) {}
  bool Write(std::span<const uint8_t> bytes) override {
    out_->insert(out_->end(), bytes.begin(), bytes.end());
    return true;
  }

 private:
  std::vector<uint8_t>* out_;
};

}  // namespace

ZipStatus ExtractMember(ByteSource& source, const Directory& directory, size_t index,
                        const ExtractRequest& request, OutputSink& sink) {
  const Member& member = directory.member(index);
  if ((member.flags & kStrongEncryptionFlag) != 0 ||
      (member.method != kMethodStored && member.method != kMethodDeflated)) {
    return ZipStatus::kUnsupportedMethod;
  }
  if (member.uncompressed_size > request.max_declared_size) {
    return ZipStatus::kDeclaredSizeTooLarge;
  }
  if (request.inflate_budget != nullptr && member.uncompressed_size > *request.inflate_budget) {
    return ZipStatus::kInflateLimit;
  }
  uint64_t data_offset = 0;
  if (ZipStatus status = LocateData(source, member, &data_offset); status != ZipStatus::kOk) {
    return status;
  }
  uint64_t data_length = member.compressed_size;
  std::optional<TraditionalCipher> cipher;
  if (member.encrypted()) {
    ZipStatus status = StartDecryption(source, member, directory.name(index), request.password,
                                       data_offset, &cipher);
    if (status != ZipStatus::kOk) return status;
    data_offset += kEncryptionHeaderSize;
    data_length -= kEncryptionHeaderSize;
  }
  // Taken only now: a member refused before any inflating costs nothing.
  if (request.inflate_budget != nullptr) *request.inflate_budget -= member.uncompressed_size;
  DataInput input(source, data_offset, data_length, cipher ? &*cipher : nullptr);
  CheckedOutput output(sink);
  const ZipStatus status = member.method == kMethodStored
                               ? CopyStored(input, member.uncompressed_size, output)
                               : Inflate(input, member.uncompressed_size, output);
  if (status != ZipStatus::kOk) return status;
  return output.crc() == member.crc32 ? ZipStatus::kOk : ZipStatus::kCrcMismatch;
}

ZipStatus ExtractToVector(ByteSource& source, const Directory& directory, size_t index,
                          const ExtractRequest& request, std::vector<uint8_t>* out) {
  out->clear();
  VectorSink sink(out);
  const ZipStatus status = ExtractMember(source, directory, index, request, sink);
  if (status != ZipStatus::kOk) {
    out->clear();
    out->shrink_to_fit();
  }
  return status;
}

}  // namespace kv::zip
