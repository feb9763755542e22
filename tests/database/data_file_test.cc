// Data-file container: every status code in both check orders, the
// scrambler, and files too short for what they declare.
#include "database/data_file.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "common/byte_order.h"
#include "database/block_decoder.h"
#include "support/test_files.h"

namespace kv {
namespace {

using test::Bytes;
using test::ContainerOptions;

const Bytes kPayload = [] {
  Bytes payload;
  for (int i = 0; i < 300; ++i) payload.push_back(static_cast<uint8_t>(i * 13));
  return payload;
}();

struct Statuses {
  Status loader;
  Status verifier;
};

Statuses ReadBoth(const Bytes& file) {
  test::TempFolder folder;
  const std::string path = folder.File("KVFILE.DAT");
  test::WriteFileBytes(path, file);
  return {ReadDataFile(path.c_str(), DateCheck::kBeforeCheckWord, nullptr),
          ReadDataFile(path.c_str(), DateCheck::kLast, nullptr)};
}

TEST(DataFile, SoundFileYieldsPayloadAndRecordCount) {
  ContainerOptions options;
  options.record_count = 7;
  test::TempFolder folder;
  const std::string path = folder.File("KVFILE.DAT");
  const Bytes file = test::MakeDataFile(test::LiteralBlock(kPayload), options);
  test::WriteFileBytes(path, file);

  DecodedDataFile decoded;
  uint32_t file_size = 0;
  ASSERT_EQ(ReadDataFile(path.c_str(), DateCheck::kBeforeCheckWord, &decoded, &file_size),
            Status::kOk);
  EXPECT_EQ(file_size, file.size());
  EXPECT_EQ(decoded.record_count, 7);
  EXPECT_EQ(Bytes(decoded.payload.data(), decoded.payload.data() + decoded.payload.size()),
            kPayload);
  EXPECT_EQ(ReadDataFile(path.c_str(), DateCheck::kLast, nullptr), Status::kOk);
}

struct DamageCase {
  const char* name;
  std::function<Bytes()> make;
  Status loader;
  Status verifier;
};
void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.name; }

Bytes Sound() { return test::MakeDataFile(test::LiteralBlock(kPayload)); }

Bytes WithByte(Bytes file, size_t index, uint8_t value) {
  file[index] = value;
  return file;
}

class ReadsDamagedFile : public testing::TestWithParam<DamageCase> {};

TEST_P(ReadsDamagedFile, WithStatus) {
  const Statuses got = ReadBoth(GetParam().make());
  EXPECT_EQ(got.loader, GetParam().loader);
  EXPECT_EQ(got.verifier, GetParam().verifier);
}

constexpr Status kCorrupt = Status::kCorrupt;
constexpr Status kDate = Status::kWrongFormatDate;
constexpr Status kMagic = Status::kWrongMagic;

INSTANTIATE_TEST_SUITE_P(
    Container, ReadsDamagedFile,
    testing::Values(
        DamageCase{"MagicByte0", [] { return WithByte(Sound(), 0, 'Q'); }, kMagic, kMagic},
        DamageCase{"MagicByte1", [] { return WithByte(Sound(), 1, 'e'); }, kMagic, kMagic},
        DamageCase{"MagicByte2", [] { return WithByte(Sound(), 2, 0); }, kMagic, kMagic},
        DamageCase{"MagicByte3", [] { return WithByte(Sound(), 3, 'T' + 1); }, kMagic, kMagic},
        DamageCase{"DateOneTickLater",
                   [] {
                     ContainerOptions o;
                     o.date_low += 1;
                     return test::MakeDataFile(test::LiteralBlock(kPayload), o);
                   },
                   kDate, kDate},
        DamageCase{"DateHighHalfDiffers",
                   [] {
                     ContainerOptions o;
                     o.date_high = 0;
                     return test::MakeDataFile(test::LiteralBlock(kPayload), o);
                   },
                   kDate, kDate},
        DamageCase{"DateAndCheckWordBothWrong",
                   [] {
                     ContainerOptions o;
                     o.date_low = 0;
                     Bytes f = test::MakeDataFile(test::LiteralBlock(kPayload), o);
                     f[4] ^= 1;
                     return f;
                   },
                   kDate, kCorrupt},
        DamageCase{"OneBodyByteChanged",
                   [] {
                     Bytes f = Sound();
                     f[kContainerHeaderSize + 40] ^= 0x10;
                     return f;
                   },
                   kCorrupt, kCorrupt},
        DamageCase{"CheckWordOverUnscrambledBody",
                   [] {
                     ContainerOptions o;
                     o.check_word_over_plain_body = true;
                     return test::MakeDataFile(test::LiteralBlock(kPayload), o);
                   },
                   kCorrupt, kCorrupt},
        DamageCase{"BlockMagicWrong",
                   [] {
                     Bytes block = test::LiteralBlock(kPayload);
                     block[0] = 'K';
                     return test::MakeDataFile(block);
                   },
                   kCorrupt, kCorrupt},
        DamageCase{"UncompressedSizeZero",
                   [] {
                     Bytes block = test::LiteralBlock(kPayload);
                     StoreLe32(&block[2], 0);
                     return test::MakeDataFile(block);
                   },
                   kCorrupt, kCorrupt},
        DamageCase{"BlockChecksumWrong",
                   [] {
                     Bytes block = test::LiteralBlock(kPayload);
                     block[6] ^= 1;
                     return test::MakeDataFile(block);
                   },
                   kCorrupt, kCorrupt},
        DamageCase{"BodyTooShortForBlockHeader",
                   [] {
                     return test::MakeDataFile(Bytes{'J', 'C', 1, 0});
                   },
                   kCorrupt, kCorrupt},
        DamageCase{"EmptyFile", [] { return Bytes{}; }, kCorrupt, kCorrupt},
        DamageCase{"ThreeBytes",
                   [] {
                     return Bytes{'P', 'E', 'S'};
                   },
                   kCorrupt, kCorrupt},
        DamageCase{"MagicOnly",
                   [] {
                     return Bytes{'P', 'E', 'S', 'T'};
                   },
                   kCorrupt, kCorrupt},
        DamageCase{"FourOtherBytes",
                   [] {
                     return Bytes{'X', 'E', 'S', 'T'};
                   },
                   kMagic, kMagic},
        DamageCase{"HeaderCutShort",
                   [] {
                     Bytes f = Sound();
                     f.resize(511);
                     return f;
                   },
                   kCorrupt, kCorrupt},
        DamageCase{"HeaderWithoutBody",
                   [] {
                     Bytes f = Sound();
                     f.resize(512);
                     return f;
                   },
                   kCorrupt, kCorrupt},
        DamageCase{"PayloadBeyondLimit",
                   [] {
                     Bytes block = test::LiteralBlock(kPayload);
                     StoreLe32(&block[2], kMaxPayloadSize + 1);
                     return test::MakeDataFile(block);
                   },
                   Status::kOutOfMemory, Status::kOutOfMemory}),
    [](const testing::TestParamInfo<DamageCase>& info) { return info.param.name; });

TEST(DataFile, MissingFileOrFolderCannotBeOpened) {
  test::TempFolder folder;
  EXPECT_EQ(ReadDataFile(folder.File("absent.dat").c_str(), DateCheck::kLast, nullptr),
            Status::kCannotOpen);
  EXPECT_EQ(ReadDataFile(folder.path().string().c_str(), DateCheck::kLast, nullptr),
            Status::kCannotOpen);
  EXPECT_EQ(ReadDataFile(nullptr, DateCheck::kLast, nullptr), Status::kCannotOpen);
}

TEST(DataFile, FileSizeIsReportedEvenWhenTheReadFails) {
  test::TempFolder folder;
  const std::string path = folder.File("KVFILE.DAT");
  test::WriteFileBytes(path, WithByte(Sound(), 0, 'X'));
  uint32_t size = 0;
  EXPECT_EQ(ReadDataFile(path.c_str(), DateCheck::kBeforeCheckWord, nullptr, &size),
            Status::kWrongMagic);
  EXPECT_EQ(size, Sound().size());
}

TEST(DescrambleBlock, TakesTheDifferenceToThePreviousStoredByte) {
  Bytes stored = {0x10, 0x20, 0x25, 0x00};
  Bytes plain = stored;
  EXPECT_EQ(DescrambleBlock(plain), 4u);
  EXPECT_EQ(plain, (Bytes{0x10 ^ 0xA6, 0x10 ^ 0xB5, 0x05 ^ 0xB5, 0xDB ^ 0xB5}));

  // One stored byte changed changes its own plain byte and the next one.
  Bytes changed = stored;
  changed[1] = 0x21;
  DescrambleBlock(changed);
  EXPECT_EQ(changed[0], plain[0]);
  EXPECT_NE(changed[1], plain[1]);
  EXPECT_NE(changed[2], plain[2]);
  EXPECT_EQ(changed[3], plain[3]);
  EXPECT_EQ(DescrambleBlock({}), 0u);
}

}  // namespace
}  // namespace kv
