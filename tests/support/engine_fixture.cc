// The engine fixture's data folder and database.
#include "support/engine_fixture.h"

#include "common/crc32.h"
#include "config/data_folder.h"
#include "support/engine_library.h"
#include "support/info_payload.h"
#include "support/signature_file.h"

namespace kv::test {
namespace {

Bytes SampleContent(size_t size, uint8_t seed) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 17 + (i >> 7));
  return bytes;
}

uint32_t HeadCrc(const Bytes& content) {
  return Crc32(content.data(), std::min<size_t>(content.size(), 2047));
}

}  // namespace

EngineFixture::EngineFixture() {
  const Bytes trojan = SampleContent(kTrojanSize, 1);
  const Bytes complemented = SampleContent(kComplementedSize, 2);
  WriteFileBytes(trojan_path(), trojan);
  WriteFileBytes(complemented_path(), complemented);
  WriteFileBytes(clean_path(), SampleContent(kTrojanSize, 3));
  trojan_crc_ = HeadCrc(trojan);
  complemented_crc_ = HeadCrc(complemented);

  // Ascending sizes, as the file format requires.
  WriteFileBytes(
      data_.File("KVFILE.DAT"),
      SignatureFile({{kTrojanId, trojan_crc_, kTrojanSize, kTrojanName},
                     {kComplementedId, ~complemented_crc_, kComplementedSize, kComplementedName}}));
  settings_.Set("KVLocation", data_.path().string());

  EngineOptions options;
  options.unzip_library = BuiltUnzipLibraryPath();
  options.exclusions.file_path = [this] { return data_.File("excluded.dat"); };
  options.exclusions.show_message = [](const char*) {};
  engine_ = std::make_unique<Engine>(std::move(options));
}

std::string EngineFixture::DataFolderWithSeparator() const {
  std::string folder = data_.path().string();
  AppendSeparator(folder);
  return folder;
}

void EngineFixture::WritePestInfo() {
  Bytes payload;
  AppendInfoRecord(payload, kTrojanId,
                   {"Trojan", "Steals passwords", "", "Slow start", "Delete it"});
  AppendInfoRecord(payload, kComplementedId, {"Spyware", "", "", "", ""});
  ContainerOptions options;
  options.record_count = 2;
  WriteFileBytes(data_.File("KVINFO.DAT"), MakeDataFile(LiteralBlock(payload), options));
}

}  // namespace kv::test
