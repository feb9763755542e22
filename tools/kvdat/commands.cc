// kvdat subcommands over the writers, the compressor and the engine's own
// readers (so that "verify" answers exactly as the engine would).
#include "commands.h"

#include <cstdio>
#include <iomanip>
#include <optional>
#include <stdexcept>

#include "block_compressor.h"
#include "common/head_crc.h"
#include "common/status.h"
#include "container.h"
#include "database/block_decoder.h"
#include "database/data_file.h"
#include "file_io.h"
#include "records.h"
#include "sample_files.h"
#include "source.h"

namespace kv::kvdat {
namespace {

using nlohmann::json;

compressor::CompressOptions CompressionFor(int level) {
  compressor::CompressOptions options;
  if (level != 0) options.level = level;
  return options;
}

std::vector<uint8_t> DataFile(std::span<const uint8_t> payload, size_t records, int level) {
  const std::vector<uint8_t> block = compressor::CompressBlock(payload, CompressionFor(level));
  return datwriter::MakeContainer(block, static_cast<uint32_t>(records));
}

// A decoded file with its records parsed, as far as they parse.
struct Inspection {
  int32_t status = 0;
  datwriter::ContainerHeader header;
  bool has_header = false;
  std::string kind;  // "signatures", "info" or "unknown"
  std::string record_error;
  std::vector<datwriter::SignatureRecord> signatures;
  std::vector<datwriter::InfoRecord> infos;
};

Inspection Inspect(const std::filesystem::path& path) {
  Inspection inspection;
  const std::vector<uint8_t> image = ReadWholeFile(path);
  inspection.has_header = datwriter::ReadContainerHeader(image, &inspection.header);
  DecodedDataFile decoded;
  inspection.status = ToInt(StatusOfLoad(
      [&] { return ReadDataFile(path.string().c_str(), DateCheck::kLast, &decoded); }));
  inspection.kind = "unknown";
  if (inspection.status != 0) return inspection;
  const size_t count = decoded.record_count < 0 ? 0 : static_cast<size_t>(decoded.record_count);
  std::string signature_error, info_error;
  if (auto records =
          datwriter::ReadSignatureRecords(decoded.payload.span(), count, &signature_error)) {
    inspection.kind = "signatures";
    inspection.signatures = std::move(*records);
  } else if (auto infos = datwriter::ReadInfoRecords(decoded.payload.span(), count, &info_error)) {
    inspection.kind = "info";
    inspection.infos = std::move(*infos);
  } else {
    inspection.record_error =
        "as signatures: " + signature_error + "; as pest information: " + info_error;
  }
  return inspection;
}

std::string DateText(uint32_t low, uint32_t high) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%08X%08X", high, low);
  return text;
}

json SignatureJson(const datwriter::SignatureRecord& r) {
  return {
      {"pest_id", r.pest_id},        {"pvt", HexWord(r.pvt)},         {"extra1", HexWord(r.extra1)},
      {"extra2", HexWord(r.extra2)}, {"alt_key", HexWord(r.alt_key)}, {"size", r.file_size},
      {"unread", HexWord(r.unread)}, {"gap_length", r.gap.size()},    {"name", r.name}};
}

json InfoJson(const datwriter::InfoRecord& r) {
  json record = {{"pest_id", r.pest_id}};
  for (size_t t = 0; t < kPestTextCount; ++t) record[kTextKeys[t]] = r.texts[t];
  return record;
}

}  // namespace

int Build(const BuildArguments& arguments, std::ostream& out) {
  const std::filesystem::path samples =
      arguments.samples.empty() ? arguments.source.parent_path() : arguments.samples;
  const CompiledSource source = CompileSourceFile(arguments.source, samples);

  const std::vector<datwriter::SignatureRecord> signatures = source.SignatureRecords();
  std::vector<uint8_t> payload;
  for (const auto& record : signatures) datwriter::AppendSignatureRecord(record, &payload);
  const std::vector<uint8_t> signature_file = DataFile(payload, signatures.size(), arguments.level);

  std::vector<uint8_t> info_file;
  if (!arguments.info_out.empty()) {
    std::vector<uint8_t> info_payload;
    const std::vector<datwriter::InfoRecord> infos = source.InfoRecords();
    for (const auto& record : infos) datwriter::AppendInfoRecord(record, &info_payload);
    info_file = DataFile(info_payload, infos.size(), arguments.level);
  }
  // Both files are complete in memory before either is written.
  WriteFileAtomically(arguments.signatures_out, signature_file);
  out << arguments.signatures_out.string() << ": " << signatures.size() << " signatures, "
      << payload.size() << " payload bytes, " << signature_file.size() << " bytes\n";
  if (!arguments.info_out.empty()) {
    WriteFileAtomically(arguments.info_out, info_file);
    out << arguments.info_out.string() << ": " << source.pests.size() << " pests, "
        << info_file.size() << " bytes\n";
  }
  return 0;
}

int Dump(const DumpArguments& arguments, std::ostream& out) {
  const Inspection inspection = Inspect(arguments.file);
  if (arguments.source) {
    if (inspection.status != 0 || inspection.kind != "signatures") {
      throw std::runtime_error(arguments.file.string() + " is not a sound signature file (status " +
                               std::to_string(inspection.status) + ")");
    }
    std::vector<datwriter::InfoRecord> infos;
    if (!arguments.info.empty()) {
      const Inspection info = Inspect(arguments.info);
      if (info.status != 0 || info.kind != "info") {
        throw std::runtime_error(arguments.info.string() +
                                 " is not a sound pest information file (status " +
                                 std::to_string(info.status) + ")");
      }
      infos = info.infos;
    }
    out << SourceFromRecords(inspection.signatures, infos).dump(2) << "\n";
    return 0;
  }

  const datwriter::ContainerHeader& h = inspection.header;
  if (arguments.json) {
    json dump = {{"file", arguments.file.string()},
                 {"status", inspection.status},
                 {"status_text", DescribeStatus(inspection.status)},
                 {"kind", inspection.kind}};
    if (inspection.has_header) {
      dump["header"] = {{"check_word", HexWord(h.check_word)},
                        {"check_word_matches", h.check_word == h.expected_check_word},
                        {"format_date", DateText(h.date_low, h.date_high)},
                        {"record_count", h.record_count},
                        {"body_size", h.body_size}};
    }
    if (!inspection.record_error.empty()) dump["record_error"] = inspection.record_error;
    json records = json::array();
    for (const auto& r : inspection.signatures) records.push_back(SignatureJson(r));
    for (const auto& r : inspection.infos) records.push_back(InfoJson(r));
    dump["records"] = records;
    out << dump.dump(2) << "\n";
  } else {
    out << "file:          " << arguments.file.string() << "\n";
    if (inspection.has_header) {
      out << "check word:    " << HexWord(h.check_word)
          << (h.check_word == h.expected_check_word
                  ? " (matches the body)"
                  : " (body gives " + HexWord(h.expected_check_word) + ")")
          << "\n"
          << "format date:   " << DateText(h.date_low, h.date_high)
          << (h.date_low == kFormatDateLow && h.date_high == kFormatDateHigh ? " (expected)"
                                                                             : " (wrong)")
          << "\n"
          << "record count:  " << h.record_count << "\n"
          << "body:          " << h.body_size << " bytes\n";
    }
    out << "status:        " << inspection.status << " (" << DescribeStatus(inspection.status)
        << ")\n"
        << "records:       " << inspection.kind << "\n";
    if (!inspection.record_error.empty())
      out << "record error:  " << inspection.record_error << "\n";
    if (!inspection.signatures.empty()) {
      out << "\n     #    pest id  PVT         extra1      extra2      alt key           size  gap "
             " name\n";
      size_t index = 0;
      for (const auto& r : inspection.signatures) {
        out << std::setw(6) << index++ << " " << std::setw(10) << r.pest_id << "  "
            << HexWord(r.pvt) << "  " << HexWord(r.extra1) << "  " << HexWord(r.extra2) << "  "
            << HexWord(r.alt_key) << "  " << std::setw(10) << r.file_size << " " << std::setw(4)
            << r.gap.size() << "  " << r.name << "\n";
      }
    }
    for (const auto& r : inspection.infos) {
      out << "\npest " << r.pest_id << "\n";
      for (size_t t = 0; t < kPestTextCount; ++t) {
        out << "  " << std::left << std::setw(12) << kTextKeys[t] << std::right << r.texts[t]
            << "\n";
      }
    }
  }
  return inspection.status == 0 && inspection.record_error.empty() ? 0 : 1;
}

int Verify(const std::filesystem::path& file, std::ostream& out) {
  const int32_t status = ToInt(
      StatusOfLoad([&] { return ReadDataFile(file.string().c_str(), DateCheck::kLast, nullptr); }));
  out << file.string() << ": " << status << " (" << DescribeStatus(status) << ")\n";
  return status == 0 ? 0 : 1;
}

int Sig(const std::vector<std::filesystem::path>& files, std::ostream& out) {
  for (const auto& file : files) {
    const std::vector<uint8_t> bytes = ReadWholeFile(file);
    out << json{{"size", bytes.size()}, {"pvt", HexWord(HeadCrc(bytes))}}.dump() << "  "
        << file.string() << "\n";
  }
  return 0;
}

int Pack(const std::filesystem::path& in, const std::filesystem::path& out_path, int level,
         std::ostream& out) {
  const std::vector<uint8_t> input = ReadWholeFile(in);
  const std::vector<uint8_t> block = compressor::CompressBlock(input, CompressionFor(level));
  WriteFileAtomically(out_path, block);
  out << in.string() << ": " << input.size() << " -> " << block.size() << " bytes\n";
  return 0;
}

int Unpack(const std::filesystem::path& in, const std::filesystem::path& out_path,
           std::ostream& out) {
  const std::vector<uint8_t> block = ReadWholeFile(in);
  if (block.size() < kBlockHeaderSize || block[0] != kBlockMagic[0] || block[1] != kBlockMagic[1]) {
    throw std::runtime_error(in.string() + " is not a block (no \"JC\" header)");
  }
  const uint32_t size = GetUncompressedSize(block);
  std::vector<uint8_t> output(size);
  if (size != 0 && DecompressBlock(block, output) == 0) {
    throw std::runtime_error(in.string() + " is corrupt: it does not expand to its " +
                             std::to_string(size) + " bytes with a matching checksum");
  }
  WriteFileAtomically(out_path, output);
  out << in.string() << ": " << block.size() << " -> " << output.size() << " bytes\n";
  return 0;
}

int Samples(const std::filesystem::path& folder, std::ostream& out) {
  WriteSampleFiles(folder);
  out << folder.string() << ": " << SampleFiles().size() << " sample files\n";
  return 0;
}

}  // namespace kv::kvdat
