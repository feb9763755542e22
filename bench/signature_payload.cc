// Deterministic generator of signature payloads for the benchmark.
#include "signature_payload.h"

#include <cmath>
#include <random>
#include <string>

#include "records.h"

namespace kv::bench {
namespace {

constexpr const char* kKinds[] = {"Trojan", "Spyware",   "Adware",   "Dialer",     "Backdoor",
                                  "Worm",   "Keylogger", "Hacktool", "Downloader", "Joke"};
constexpr const char* kPlatforms[] = {"Win32", "Win32", "Win32", "MSIL", "VBS", "JS", "DOS"};
constexpr const char* kSyllables[] = {"ag", "ent", "bot", "ka", "ro", "lin", "dex", "zor",
                                      "mi", "tra", "vel", "on", "qu", "ix",  "sa",  "fer"};

std::string Variant(uint32_t number) {
  std::string text;
  do {
    text.insert(text.begin(), static_cast<char>('a' + number % 26));
    number /= 26;
  } while (number != 0);
  return text;
}

}  // namespace

std::vector<uint8_t> GeneratedSignaturePayload(size_t record_count, uint64_t seed) {
  std::mt19937_64 random(seed);
  std::vector<std::string> families;
  for (int i = 0; i < 2000; ++i) {
    std::string family;
    const int syllables = 2 + static_cast<int>(random() % 3);
    for (int s = 0; s < syllables; ++s) family += kSyllables[random() % 16];
    family[0] = static_cast<char>(family[0] - 'a' + 'A');
    families.push_back(family);
  }
  std::vector<datwriter::SignatureRecord> records;
  uint32_t pest_id = 1000;
  while (records.size() < record_count) {
    ++pest_id;
    const std::string name = std::string(kKinds[random() % 10]) + "." + kPlatforms[random() % 7] +
                             "." +
                             families[static_cast<size_t>(std::pow(random() % 2000, 2) / 2000)] +
                             "." + Variant(static_cast<uint32_t>(random() % 700));
    const int signatures = 1 + static_cast<int>(random() % 4);
    for (int s = 0; s < signatures && records.size() < record_count; ++s) {
      datwriter::SignatureRecord record;
      record.pest_id = pest_id;
      record.pvt = static_cast<uint32_t>(random());
      record.alt_key = random() % 2 ? static_cast<uint32_t>(random()) : 0;
      // Sizes spread log-uniformly from 256 bytes to 4 MiB.
      record.file_size = static_cast<uint32_t>(
          256.0 * std::pow(2.0, static_cast<double>(random() % 14000) / 1000.0));
      record.name = name;
      records.push_back(std::move(record));
    }
  }
  datwriter::SortBySize(&records);
  std::vector<uint8_t> payload;
  for (const auto& record : records) datwriter::AppendSignatureRecord(record, &payload);
  return payload;
}

}  // namespace kv::bench
