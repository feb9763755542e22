// The test archive writer.
#include "unzip32/zip_writer.h"

#include <zlib.h>

#include <stdexcept>

#include "reader/traditional_encryption.h"

namespace kv::test {
namespace {

void Put16(ZipBytes& out, uint64_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}
void Put32(ZipBytes& out, uint64_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, (value >> 16) & 0xFFFF);
}
void Put64(ZipBytes& out, uint64_t value) {
  Put32(out, value & 0xFFFFFFFF);
  Put32(out, value >> 32);
}
void PutText(ZipBytes& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
}

uint32_t CrcOf(const ZipBytes& bytes) {
  return static_cast<uint32_t>(
      crc32(crc32(0, nullptr, 0), bytes.data(), static_cast<uInt>(bytes.size())));
}

constexpr uint16_t kDosTime = (12 << 11) | (34 << 5) | (56 / 2);     // 12:34:56
constexpr uint16_t kDosDate = ((2024 - 1980) << 9) | (5 << 5) | 17;  // 2024-05-17

struct Written {
  uint32_t crc;
  uint64_t size;
  uint64_t compressed_size;
  uint16_t flags;
};

// The member's data as stored: compressed, then encrypted behind its header.
ZipBytes StoredData(const ZipMemberLayout& member, uint32_t crc, uint16_t flags) {
  ZipBytes data = member.method == 8 ? Deflate(member.content) : member.content;
  if (member.password.empty()) return data;
  zip::TraditionalCipher cipher(member.password);
  ZipBytes header(zip::kEncryptionHeaderSize, 0x5A);
  header.back() = static_cast<uint8_t>((flags & 0x0008) ? kDosTime >> 8 : crc >> 24);
  cipher.Encrypt(header.data(), header.size());
  cipher.Encrypt(data.data(), data.size());
  header.insert(header.end(), data.begin(), data.end());
  return header;
}

}  // namespace

ZipBytes BytesOf(const std::string& text) { return ZipBytes(text.begin(), text.end()); }

ZipBytes Deflate(const ZipBytes& bytes) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
      Z_OK) {
    throw std::runtime_error("deflateInit2");
  }
  ZipBytes out(deflateBound(&stream, bytes.size()));
  stream.next_in = const_cast<Bytef*>(bytes.data());
  stream.avail_in = static_cast<uInt>(bytes.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  if (result != Z_STREAM_END) throw std::runtime_error("deflate");
  return out;
}

ZipArchive BuildZip(const ZipArchiveLayout& layout) {
  ZipArchive archive;
  ZipBytes& out = archive.bytes;
  out = layout.prefix;
  std::vector<Written> written;
  for (const ZipMemberLayout& member : layout.members) {
    Written w{};
    w.flags = static_cast<uint16_t>(
        (member.password.empty() ? 0 : 0x0001) |
        (member.descriptor != ZipMemberLayout::Descriptor::kNone ? 0x0008 : 0));
    w.crc = member.declared_crc.value_or(CrcOf(member.content));
    const ZipBytes data = StoredData(member, CrcOf(member.content), w.flags);
    w.size = member.declared_size.value_or(member.content.size());
    w.compressed_size = member.declared_compressed_size.value_or(data.size());
    const bool descriptor = member.descriptor != ZipMemberLayout::Descriptor::kNone;
    const std::string local_name = member.local_name.value_or(member.name);

    archive.local_offsets.push_back(out.size());
    archive.boundaries.push_back(out.size());
    Put32(out, 0x04034b50);
    Put16(out, member.zip64 ? 45 : 20);
    Put16(out, w.flags);
    Put16(out, member.method);
    Put16(out, kDosTime);
    Put16(out, kDosDate);
    Put32(out, descriptor ? 0 : w.crc);
    Put32(out, descriptor ? 0 : (member.zip64 ? 0xFFFFFFFF : w.compressed_size));
    Put32(out, descriptor ? 0 : (member.zip64 ? 0xFFFFFFFF : w.size));
    Put16(out, local_name.size());
    Put16(out, member.zip64 ? 20 : 0);
    archive.boundaries.push_back(out.size());
    PutText(out, local_name);
    if (member.zip64) {
      Put16(out, 0x0001);
      Put16(out, 16);
      Put64(out, w.size);
      Put64(out, w.compressed_size);
    }
    archive.boundaries.push_back(out.size());
    out.insert(out.end(), data.begin(), data.end());
    if (descriptor) {
      archive.boundaries.push_back(out.size());
      if (member.descriptor == ZipMemberLayout::Descriptor::kWithSignature) Put32(out, 0x08074b50);
      Put32(out, w.crc);
      Put32(out, w.compressed_size);
      Put32(out, w.size);
    }
    written.push_back(w);
  }

  archive.directory_offset = out.size();
  for (size_t i = 0; i < layout.members.size(); ++i) {
    const ZipMemberLayout& member = layout.members[i];
    const Written& w = written[i];
    const uint64_t offset =
        member.declared_offset.value_or(archive.local_offsets[i] - layout.prefix.size());
    archive.boundaries.push_back(out.size());
    Put32(out, 0x02014b50);
    Put16(out, (3 << 8) | 45);  // made on Unix
    Put16(out, member.zip64 ? 45 : 20);
    Put16(out, w.flags);
    Put16(out, member.method);
    Put16(out, kDosTime);
    Put16(out, kDosDate);
    Put32(out, w.crc);
    Put32(out, member.zip64 ? 0xFFFFFFFF : w.compressed_size);
    Put32(out, member.zip64 ? 0xFFFFFFFF : w.size);
    Put16(out, member.name.size());
    Put16(out, member.zip64 ? 28 : 0);
    Put16(out, 0);  // comment
    Put16(out, 0);  // disk
    Put16(out, 0);  // internal attributes
    Put32(out, 0);  // external attributes
    Put32(out, member.zip64 ? 0xFFFFFFFF : offset);
    PutText(out, member.name);
    if (member.zip64) {
      Put16(out, 0x0001);
      Put16(out, 24);
      Put64(out, w.size);
      Put64(out, w.compressed_size);
      Put64(out, offset);
    }
  }
  const uint64_t directory_size = out.size() - archive.directory_offset;
  const uint64_t count = layout.declared_entry_count.value_or(layout.members.size());
  const uint64_t size = layout.declared_directory_size.value_or(directory_size);
  const uint64_t start =
      layout.declared_directory_offset.value_or(archive.directory_offset - layout.prefix.size());
  if (layout.zip64_end) {
    const uint64_t record = out.size();
    archive.boundaries.push_back(record);
    Put32(out, 0x06064b50);
    Put64(out, 44);
    Put16(out, 45);
    Put16(out, 45);
    Put32(out, 0);
    Put32(out, 0);
    Put64(out, count);
    Put64(out, count);
    Put64(out, size);
    Put64(out, start);
    archive.boundaries.push_back(out.size());
    Put32(out, 0x07064b50);
    Put32(out, 0);
    Put64(out, record - layout.prefix.size());
    Put32(out, 1);
  }
  archive.end_offset = out.size();
  archive.boundaries.push_back(out.size());
  Put32(out, 0x06054b50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, layout.zip64_end ? 0xFFFF : count);
  Put16(out, layout.zip64_end ? 0xFFFF : count);
  Put32(out, layout.zip64_end ? 0xFFFFFFFF : size);
  Put32(out, layout.zip64_end ? 0xFFFFFFFF : start);
  Put16(out, layout.comment.size());
  PutText(out, layout.comment);
  archive.boundaries.push_back(out.size());
  return archive;
}

}  // namespace kv::test
