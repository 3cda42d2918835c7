// VxMp3GetFileVersion over files made by srec_cat (S1 data, its S9 record of byte count 03) with
// version records of our own, raw files with and without the trailer, and bad input.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "library/VxMp3.h"
#include "player/tests/test_support.h"

namespace {

using Bytes = std::vector<win::UCHAR>;

// S-record data of 64 pattern bytes by srec_cat, ending in its S9 record of the start address 0000
// (byte count 03).
Bytes SrecCatText(const player::testing::TempFolder& folder) {
    const std::string output = folder.File("data.s");
    const std::string command = std::string(RPX_SREC_CAT) +
                                " -generate 0 64 -repeat-data 1 2 3 4 5 6 -execution-start-address=0 -o " +
                                output + " -motorola -address-length=2 -disable=header -disable=data-count";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream in(output, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// An S9 record of byte count 0x0B with address 0000 and the four words, checksum computed.
std::string VersionRecord(unsigned w0, unsigned w1, unsigned w2, unsigned w3) {
    const unsigned words[] = {w0, w1, w2, w3};
    unsigned sum = 0x0B;
    char text[64];
    std::string record = "S90B0000";
    for (unsigned word : words) {
        std::snprintf(text, sizeof text, "%04X", word);
        record += text;
        sum += (word >> 8) + (word & 0xFF);
    }
    std::snprintf(text, sizeof text, "%02X\n", ~sum & 0xFF);
    return record + text;
}

Bytes Append(Bytes bytes, const std::string& text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
    return bytes;
}

Bytes RawWithTrailer(std::size_t length, bool trailer) {
    Bytes bytes(length, 0x5A);
    if (trailer && length >= 15) {
        const win::UCHAR tail[] = {'V', 'e', 'r', 's', 'i', 'o', 'n', 1, 0, 2, 0, 3, 0, 4, 0};
        std::copy(std::begin(tail), std::end(tail), bytes.end() - 15);
    }
    return bytes;
}

struct VersionCase {
    const char* name;
    // The file from srec_cat's text (empty for a raw file).
    std::function<Bytes(const Bytes& srecCat)> file;
    win::ULONG formatType;
    PROGRAM_MEDIA_STATUS expected;
    win::ULONG entry01;
    win::ULONG entry23;
};

class FileVersion : public ::testing::TestWithParam<VersionCase> {};

TEST_P(FileVersion, IsReadFromTheLastS9RecordOrTheTrailer) {
    player::testing::TempFolder folder;
    const VersionCase& test = GetParam();
    Bytes file = test.file(SrecCatText(folder));
    _BinaryFilesInformation set{};
    set.numberOfBinaryFiles = 1;
    set.fileFormatType[0] = test.formatType;
    set.fileVersion01[0] = 0xDEAD;
    set.fileVersion23[0] = 0xDEAD;
    win::UCHAR* files[] = {file.data()};
    win::ULONG lengths[] = {static_cast<win::ULONG>(file.size())};
    EXPECT_EQ(VxMp3GetFileVersion(files, lengths, &set), test.expected);
    EXPECT_EQ(set.fileVersion01[0], test.entry01);
    EXPECT_EQ(set.fileVersion23[0], test.entry23);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileVersion,
    ::testing::Values(
        VersionCase{"SrecCatEndRecordCarriesNone", [](const Bytes& s) { return s; }, 1, PROGRAM_MEDIA_OK, 0,
                    0},
        VersionCase{"VersionRecordLast", [](const Bytes& s) { return Append(s, VersionRecord(1, 2, 3, 4)); },
                    1, PROGRAM_MEDIA_OK, 1 | 2 << 16, 3 | 4 << 16},
        VersionCase{"TwoVersionRecordsTheLastDecides",
                    [](const Bytes& s) {
                        return Append(Append(s, VersionRecord(1, 2, 3, 4)), VersionRecord(1, 20, 3, 4));
                    },
                    1, PROGRAM_MEDIA_OK, 1 | 20 << 16, 3 | 4 << 16},
        VersionCase{"ShortEndRecordAfterTheVersion",
                    [](const Bytes& s) {
                        return Append(Append(Bytes{}, VersionRecord(1, 2, 3, 4)),
                                      std::string(s.begin(), s.end()));
                    },
                    1, PROGRAM_MEDIA_OK, 0, 0},
        VersionCase{"WrongEndRecordChecksum",
                    [](const Bytes& s) {
                        std::string record = VersionRecord(1, 2, 3, 4);
                        record[record.size() - 2] = record[record.size() - 2] == '0' ? '1' : '0';
                        return Append(s, record);
                    },
                    1, PROGRAM_MEDIA_BAD_FILE, 0xDEAD, 0xDEAD},
        VersionCase{"RawWithTrailer", [](const Bytes&) { return RawWithTrailer(1020, true); }, 0,
                    PROGRAM_MEDIA_OK, 1 | 2 << 16, 3 | 4 << 16},
        VersionCase{"RawWithoutTrailer", [](const Bytes&) { return RawWithTrailer(1020, false); }, 0,
                    PROGRAM_MEDIA_OK, 0, 0},
        VersionCase{"RawShorterThanATrailer", [](const Bytes&) { return RawWithTrailer(14, false); }, 0,
                    PROGRAM_MEDIA_OK, 0, 0}),
    [](const ::testing::TestParamInfo<VersionCase>& caseInfo) { return std::string(caseInfo.param.name); });

TEST(FileVersionInput, MissingArraysAndTooManyFilesAreBadFiles) {
    _BinaryFilesInformation set{};
    set.numberOfBinaryFiles = 1;
    EXPECT_EQ(VxMp3GetFileVersion(nullptr, nullptr, &set), PROGRAM_MEDIA_BAD_FILE);
    win::UCHAR* files[] = {nullptr};
    win::ULONG lengths[] = {10};
    EXPECT_EQ(VxMp3GetFileVersion(files, lengths, &set), PROGRAM_MEDIA_BAD_FILE);
    set.numberOfBinaryFiles = 13;
    EXPECT_EQ(VxMp3GetFileVersion(files, lengths, &set), PROGRAM_MEDIA_BAD_FILE);
    EXPECT_EQ(VxMp3GetFileVersion(files, lengths, nullptr), PROGRAM_MEDIA_BAD_FILE);
}

}  // namespace
