#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware_image/tests/srecord_text.h"
#include "firmware_image/version.h"

namespace firmware_image {
namespace {

using testing::Bytes;
using ByteVector = std::vector<uint8_t>;

const std::string kVersion1234 = "S90B00000001000200030004EA\n";  // words 1, 2, 3, 4
const std::string kVersionNone = "S9030000FC\n";
const std::string kData = "S0030001FB\nS106001011223383\n";

TEST(VersionTest, EndRecordsOfAnSRecordText) {
    const struct {
        const char* name;
        std::string text;
        FirmwareVersion version;
    } cases[] = {
        {"byte count 0x0B", kData + kVersion1234, {{1, 2, 3, 4}}},
        {"byte count 03", kData + kVersionNone, {}},
        {"no S9 record", kData, {}},
        {"two versions, the last decides",
         kData + testing::Record('9', 0, {0, 9, 0, 8, 0, 7, 0, 6}) + kVersion1234,
         {{1, 2, 3, 4}}},
        {"last S9 without version", kData + kVersion1234 + kVersionNone, {}},
        {"most significant byte first",
         testing::Record('9', 0x1234, {0x12, 0x34, 0xAB, 0xCD, 0, 0, 0xFF, 0xFF}),
         {{0x1234, 0xABCD, 0x0000, 0xFFFF}}},
        {"byte count 0x0C", testing::Record('9', 0, {0, 1, 0, 2, 0, 3, 0, 4, 5}), {}},
        {"bad S1 is not read", "S10600aa\n" + kVersion1234, {{1, 2, 3, 4}}},
    };
    for (const auto& c : cases) {
        const VersionRead read = ReadFileVersion(Bytes(c.text), FileFormat::S_RECORD);
        EXPECT_EQ(read.status, ImageStatus::OK) << c.name;
        EXPECT_EQ(read.version, c.version) << c.name;
    }
}

TEST(VersionTest, WrongEndRecordFailsTheRead) {
    const struct {
        std::string text;
        ImageStatus status;
    } cases[] = {
        {kData + "S90B00000001000200030004EB\n", ImageStatus::BAD_CHECKSUM},
        {kVersion1234 + "S90B000000010002000300", ImageStatus::TRUNCATED_RECORD},
        {"S902FFFF\n", ImageStatus::SHORT_RECORD},
    };
    for (const auto& c : cases) {
        const VersionRead read = ReadFileVersion(Bytes(c.text), FileFormat::S_RECORD);
        EXPECT_EQ(read.status, c.status) << c.text;
        EXPECT_EQ(read.version, FirmwareVersion{}) << c.text;
    }
}

ByteVector RawFile(size_t length, bool withTrailer) {
    ByteVector file(length, 0x5A);
    if (withTrailer) {
        const ByteVector trailer{'V',  'e',  'r',  's',  'i',  'o',  'n', 0x01,
                                 0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0x00};
        std::copy(trailer.begin(), trailer.end(), file.end() - 15);
    }
    return file;
}

TEST(VersionTest, TrailerOfARawFile) {
    const struct {
        const char* name;
        ByteVector file;
        FirmwareVersion version;
    } cases[] = {
        {"with trailer", RawFile(100, true), {{1, 2, 3, 4}}},
        {"trailer alone", RawFile(15, true), {{1, 2, 3, 4}}},
        {"without trailer", RawFile(100, false), {}},
        {"shorter than a trailer", ByteVector{'V', 'e', 'r', 's', 'i', 'o', 'n', 1, 0, 2, 0, 3, 0, 4}, {}},
        {"empty", {}, {}},
        {"little-endian words",
         ByteVector{'V', 'e', 'r', 's', 'i', 'o', 'n', 0x34, 0x12, 0xCD, 0xAB, 0, 0, 0xFF, 0xFF},
         {{0x1234, 0xABCD, 0, 0xFFFF}}},
    };
    for (const auto& c : cases) {
        const VersionRead read = ReadFileVersion(c.file, FileFormat::RAW);
        EXPECT_EQ(read.status, ImageStatus::OK) << c.name;
        EXPECT_EQ(read.version, c.version) << c.name;
    }
}

TEST(VersionTest, EntriesOfTheFileSetRecord) {
    const FirmwareVersion version{{1, 20, 3, 4}};
    EXPECT_EQ(version.Entry01(), 0x00140001u);
    EXPECT_EQ(version.Entry23(), 0x00040003u);
}

TEST(VersionTest, FormatTypeZeroIsRawEverythingElseSRecord) {
    EXPECT_EQ(FileFormatOfType(0), FileFormat::RAW);
    EXPECT_EQ(FileFormatOfType(1), FileFormat::S_RECORD);
    EXPECT_EQ(FileFormatOfType(7), FileFormat::S_RECORD);
}

}  // namespace
}  // namespace firmware_image
