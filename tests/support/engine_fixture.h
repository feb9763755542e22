// An engine of a test's own with a data folder named by KVLocation: sample
// pest files, KVFILE.DAT and KVINFO.DAT built for them, and excluded.dat
// in the same temporary folder.
#pragma once

#include <memory>
#include <string>

#include "engine/engine.h"
#include "support/settings.h"
#include "support/test_files.h"

namespace kv::test {

// The pests of the fixture's database.
inline constexpr uint32_t kTrojanId = 101;        // PVT stored as the CRC
inline constexpr uint32_t kComplementedId = 202;  // PVT stored as its complement
inline constexpr const char* kTrojanName = "Trojan.Sample";
inline constexpr const char* kComplementedName = "Spy.Inverted";

class EngineFixture {
 public:
  EngineFixture();

  Engine& engine() { return *engine_; }
  ScopedSettings& settings() { return settings_; }
  const TempFolder& data() const { return data_; }
  std::string DataFolderWithSeparator() const;

  // Sample files: detected by the database, and one it does not know.
  std::string trojan_path() const { return data_.File("trojan.exe"); }
  std::string complemented_path() const { return data_.File("inverted.dll"); }
  std::string clean_path() const { return data_.File("clean.txt"); }
  uint32_t trojan_crc() const { return trojan_crc_; }
  uint32_t complemented_crc() const { return complemented_crc_; }
  static constexpr uint32_t kTrojanSize = 3000;
  static constexpr uint32_t kComplementedSize = 5000;

  // Writes KVINFO.DAT into the data folder (it is absent until then).
  void WritePestInfo();

 private:
  TempFolder data_;
  ScopedSettings settings_;
  uint32_t trojan_crc_ = 0;
  uint32_t complemented_crc_ = 0;
  std::unique_ptr<Engine> engine_;
};

}  // namespace kv::test
