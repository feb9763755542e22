// Source compilation: every field is checked with a message that names the
// pest and the signature it concerns; sample files give size and PVT.
#include "source.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>

#include "common/head_crc.h"
#include "file_io.h"
#include "sample_files.h"

namespace kv::kvdat {
namespace {

using nlohmann::json;

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
  throw SourceError(where + ": " + what);
}

void CheckKeys(const json& object, const std::set<std::string>& allowed, const std::string& where) {
  for (const auto& [key, value] : object.items()) {
    if (!allowed.count(key)) Fail(where, "unknown key \"" + key + "\"");
  }
}

// A 32-bit value given as a JSON number or as a string ("0x1F", "31").
uint32_t Word(const json& value, const std::string& where, const char* key) {
  const std::string label = where + ": \"" + key + "\"";
  if (value.is_number_unsigned()) {
    const uint64_t number = value.get<uint64_t>();
    if (number > 0xFFFFFFFFu) Fail(label, "does not fit in 32 bits");
    return static_cast<uint32_t>(number);
  }
  if (value.is_string()) {
    const std::string text = value.get<std::string>();
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > (hex ? 8u : 10u)) Fail(label, "is not a 32-bit number");
    uint64_t number = 0;
    for (char c : digits) {
      int digit;
      if (c >= '0' && c <= '9')
        digit = c - '0';
      else if (hex && c >= 'a' && c <= 'f')
        digit = c - 'a' + 10;
      else if (hex && c >= 'A' && c <= 'F')
        digit = c - 'A' + 10;
      else
        Fail(label, "\"" + text + "\" is not a number");
      number = number * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
    }
    if (number > 0xFFFFFFFFu) Fail(label, "does not fit in 32 bits");
    return static_cast<uint32_t>(number);
  }
  Fail(label, "must be a number or a string of digits");
}

std::string Text(const json& value, const std::string& where, const char* key) {
  if (!value.is_string()) Fail(where, std::string("\"") + key + "\" must be a string");
  const std::string text = value.get<std::string>();
  if (text.find('\0') != std::string::npos) {
    Fail(where, std::string("\"") + key + "\" contains a NUL character");
  }
  return text;
}

std::vector<uint8_t> HexBytes(const json& value, const std::string& where) {
  if (!value.is_string()) Fail(where, "\"gap\" must be a string of hex digits");
  const std::string text = value.get<std::string>();
  if (text.size() % 2 != 0) Fail(where, "\"gap\" has an odd number of hex digits");
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < text.size(); i += 2) {
    unsigned byte = 0;
    if (std::sscanf(text.c_str() + i, "%2x", &byte) != 1 ||
        !std::isxdigit(static_cast<unsigned char>(text[i])) ||
        !std::isxdigit(static_cast<unsigned char>(text[i + 1]))) {
      Fail(where, "\"gap\" is not hex");
    }
    bytes.push_back(static_cast<uint8_t>(byte));
  }
  return bytes;
}

datwriter::SignatureRecord CompileSignature(const json& entry, const PestEntry& pest,
                                            const std::filesystem::path& sample_folder,
                                            const std::string& where) {
  if (!entry.is_object()) Fail(where, "must be an object");
  CheckKeys(entry,
            {"size", "pvt", "sample", "complement", "extra1", "extra2", "alt_key", "unread", "gap"},
            where);
  datwriter::SignatureRecord record;
  record.pest_id = pest.id;
  record.name = pest.name;
  if (entry.contains("sample")) {
    if (entry.contains("size") || entry.contains("pvt")) {
      Fail(where, "give either \"sample\" or \"size\" and \"pvt\", not both");
    }
    const std::filesystem::path relative = Text(entry["sample"], where, "sample");
    const std::filesystem::path path = sample_folder / relative;
    std::vector<uint8_t> bytes;
    try {
      bytes = ReadWholeFile(path);
    } catch (const std::runtime_error& error) {
      Fail(where, error.what());
    }
    if (bytes.size() > 0xFFFFFFFFu) Fail(where, "sample " + path.string() + " is 4 GiB or larger");
    record.file_size = static_cast<uint32_t>(bytes.size());
    record.pvt = HeadCrc(bytes);
    if (entry.contains("complement")) {
      if (!entry["complement"].is_boolean()) Fail(where, "\"complement\" must be true or false");
      if (entry["complement"].get<bool>()) record.pvt = ~record.pvt;
    }
    if (record.file_size == 0) Fail(where, "sample " + path.string() + " is empty");
  } else {
    if (!entry.contains("size") || !entry.contains("pvt")) {
      Fail(where, "needs \"size\" and \"pvt\", or a \"sample\" file");
    }
    if (entry.contains("complement")) {
      Fail(where, "\"complement\" applies to a sample; give the stored \"pvt\" instead");
    }
    record.file_size = Word(entry["size"], where, "size");
    record.pvt = Word(entry["pvt"], where, "pvt");
    if (record.file_size == 0) Fail(where, "size 0 can never match a file");
  }
  if (record.pvt == 0 || record.pvt == 0xFFFFFFFFu) {
    Fail(where, "PVT " + HexWord(record.pvt) + " stands for \"not computed\" and never matches");
  }
  if (entry.contains("extra1")) record.extra1 = Word(entry["extra1"], where, "extra1");
  if (entry.contains("extra2")) record.extra2 = Word(entry["extra2"], where, "extra2");
  if (entry.contains("alt_key")) record.alt_key = Word(entry["alt_key"], where, "alt_key");
  if (entry.contains("unread")) record.unread = Word(entry["unread"], where, "unread");
  if (entry.contains("gap")) record.gap = HexBytes(entry["gap"], where);
  return record;
}

PestEntry CompilePest(const json& entry, size_t index, const std::filesystem::path& sample_folder) {
  std::string where = "pest #" + std::to_string(index + 1);
  if (!entry.is_object()) Fail(where, "must be an object");
  CheckKeys(entry, {"id", "name", "info", "signatures"}, where);
  PestEntry pest;
  if (!entry.contains("id")) Fail(where, "has no \"id\"");
  pest.id = Word(entry["id"], where, "id");
  where += " (id " + std::to_string(pest.id) + ")";
  if (!entry.contains("name")) Fail(where, "has no \"name\"");
  pest.name = Text(entry["name"], where, "name");
  if (pest.name.empty()) Fail(where, "\"name\" is empty");
  where += " \"" + pest.name + "\"";
  if (entry.contains("info")) {
    const json& info = entry["info"];
    if (!info.is_object()) Fail(where, "\"info\" must be an object");
    CheckKeys(info, std::set<std::string>(std::begin(kTextKeys), std::end(kTextKeys)),
              where + ": info");
    for (size_t t = 0; t < kPestTextCount; ++t) {
      if (info.contains(kTextKeys[t]))
        pest.texts[t] = Text(info[kTextKeys[t]], where, kTextKeys[t]);
    }
  }
  if (!entry.contains("signatures") || !entry["signatures"].is_array() ||
      entry["signatures"].empty()) {
    Fail(where, "needs a non-empty \"signatures\" array");
  }
  const json& signatures = entry["signatures"];
  for (size_t s = 0; s < signatures.size(); ++s) {
    pest.signatures.push_back(CompileSignature(signatures[s], pest, sample_folder,
                                               where + ": signature #" + std::to_string(s + 1)));
  }
  return pest;
}

}  // namespace

std::string HexWord(uint32_t value) {
  char text[11];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

std::vector<datwriter::SignatureRecord> CompiledSource::SignatureRecords() const {
  std::vector<datwriter::SignatureRecord> records;
  for (const PestEntry& pest : pests) {
    records.insert(records.end(), pest.signatures.begin(), pest.signatures.end());
  }
  datwriter::SortBySize(&records);
  return records;
}

std::vector<datwriter::InfoRecord> CompiledSource::InfoRecords() const {
  std::vector<datwriter::InfoRecord> records;
  for (const PestEntry& pest : pests) records.push_back({pest.id, pest.texts});
  return records;
}

CompiledSource CompileSource(const json& source, const std::filesystem::path& sample_folder) {
  if (!source.is_object()) throw SourceError("the source must be a JSON object");
  CheckKeys(source, {"pests"}, "source");
  if (!source.contains("pests") || !source["pests"].is_array() || source["pests"].empty()) {
    throw SourceError("the source needs a non-empty \"pests\" array");
  }
  CompiledSource compiled;
  std::map<uint32_t, size_t> seen;
  const json& pests = source["pests"];
  for (size_t i = 0; i < pests.size(); ++i) {
    PestEntry pest = CompilePest(pests[i], i, sample_folder);
    const auto [it, fresh] = seen.emplace(pest.id, i);
    if (!fresh) {
      throw SourceError("pest #" + std::to_string(i + 1) + " (id " + std::to_string(pest.id) +
                        "): the id is already used by pest #" + std::to_string(it->second + 1));
    }
    compiled.pests.push_back(std::move(pest));
  }
  return compiled;
}

CompiledSource CompileSourceFile(const std::filesystem::path& path,
                                 const std::filesystem::path& sample_folder) {
  std::ifstream in(path);
  if (!in) throw SourceError("cannot open " + path.string());
  json source;
  try {
    source = json::parse(in);
  } catch (const json::parse_error& error) {
    throw SourceError(path.string() + ": not valid JSON: " + error.what());
  }
  try {
    return CompileSource(source, sample_folder);
  } catch (const SourceError& error) {
    throw SourceError(path.string() + ": " + error.what());
  }
}

json SourceFromRecords(const std::vector<datwriter::SignatureRecord>& signatures,
                       const std::vector<datwriter::InfoRecord>& infos) {
  std::vector<uint32_t> order;
  std::map<uint32_t, json> pests;
  const auto pest_of = [&](uint32_t id) -> json& {
    auto it = pests.find(id);
    if (it == pests.end()) {
      order.push_back(id);
      it = pests.emplace(id, json{{"id", id}, {"signatures", json::array()}}).first;
    }
    return it->second;
  };
  for (const datwriter::InfoRecord& info : infos) {
    json& pest = pest_of(info.pest_id);
    json texts = json::object();
    for (size_t t = 0; t < kPestTextCount; ++t) {
      if (!info.texts[t].empty()) texts[kTextKeys[t]] = info.texts[t];
    }
    if (!texts.empty() && !pest.contains("info")) pest["info"] = texts;
  }
  for (const datwriter::SignatureRecord& record : signatures) {
    json& pest = pest_of(record.pest_id);
    if (!pest.contains("name")) pest["name"] = record.name;
    json signature = {{"size", record.file_size}, {"pvt", HexWord(record.pvt)}};
    if (record.extra1 != 0) signature["extra1"] = HexWord(record.extra1);
    if (record.extra2 != 0) signature["extra2"] = HexWord(record.extra2);
    if (record.alt_key != 0) signature["alt_key"] = HexWord(record.alt_key);
    if (record.unread != 0) signature["unread"] = HexWord(record.unread);
    if (!record.gap.empty()) {
      std::string hex;
      for (uint8_t byte : record.gap) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02x", byte);
        hex += digits;
      }
      signature["gap"] = hex;
    }
    pest["signatures"].push_back(signature);
  }
  json list = json::array();
  for (uint32_t id : order) list.push_back(pests[id]);
  return json{{"pests", list}};
}

}  // namespace kv::kvdat
