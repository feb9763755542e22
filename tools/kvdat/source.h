// The human-editable source of a signature database: JSON with one entry per
// pest (id, name, five texts, signatures), and its compilation into records.
#pragma once

#include <array>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "records.h"

namespace kv::kvdat {

// Keys of the five texts in a source, in the engine's order (text 1 to 5).
inline constexpr const char* kTextKeys[kPestTextCount] = {"category", "description", "symptoms",
                                                          "removal", "notes"};

// A source that cannot be compiled; the message names the entry.
class SourceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct PestEntry {
  uint32_t id = 0;
  std::string name;
  std::array<std::string, kPestTextCount> texts;
  std::vector<datwriter::SignatureRecord> signatures;  // id and name filled in
};

struct CompiledSource {
  std::vector<PestEntry> pests;

  // Every signature, in ascending size order (source order among equals).
  std::vector<datwriter::SignatureRecord> SignatureRecords() const;
  // One record per pest, in source order.
  std::vector<datwriter::InfoRecord> InfoRecords() const;
};

// Checks and compiles a parsed source. Relative sample paths are taken from
// `sample_folder`. Throws SourceError.
CompiledSource CompileSource(const nlohmann::json& source,
                             const std::filesystem::path& sample_folder);

// Reads, parses and compiles a source file. Throws SourceError.
CompiledSource CompileSourceFile(const std::filesystem::path& path,
                                 const std::filesystem::path& sample_folder);

// A source that compiles back into the same records: pests in the order of
// the information records (then any pest that has signatures only), each
// with its signatures in file order.
nlohmann::json SourceFromRecords(const std::vector<datwriter::SignatureRecord>& signatures,
                                 const std::vector<datwriter::InfoRecord>& infos);

// "0x0123ABCD".
std::string HexWord(uint32_t value);

}  // namespace kv::kvdat
