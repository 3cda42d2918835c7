// The firmware file set: the subkey a chip id selects, the built-in sets, partial and refused reads.
#include "tools/common/binary_files.h"

#include <cstdio>
#include <cstring>

#include "tools/common/tests/machine_fixture.h"

namespace tools {
namespace {

using namespace win;
using testing::kParamsKey;

constexpr const char* kSubkey8200 =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zephtal\\Zephtal RPX-7300 MP3 Player\\Params\\8200]\n";
constexpr const char* kSubkey8210 =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zephtal\\Zephtal RPX-7300 MP3 Player\\Params\\8210]\n";

// A record full of garbage, as a caller's uncleared local would be.
_BinaryFilesInformation DirtyRecord() {
    _BinaryFilesInformation record;
    std::memset(&record, 0xAB, sizeof record);
    return record;
}

bool IsZero(const _BinaryFilesInformation& record) {
    _BinaryFilesInformation zero{};
    return std::memcmp(&record, &zero, sizeof record) == 0;
}

std::string Dword(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "dword:%08x", value);
    return text;
}

std::string FileValues(int k, const std::string& name, const std::string& description, const char* tagHex,
                       unsigned formatType) {
    const std::string file = "\"File" + std::to_string(k);
    return file + "_Name\"=\"" + name + "\"\n" + file + "_Description\"=\"" + description + "\"\n" + file +
           "_Tag\"=hex:" + tagHex + "\n" + file + "_FormatType\"=" + Dword(formatType) + "\n";
}

constexpr const char* kFileNumbers =
    "\"BootManagerFileNumber\"=dword:00000001\n"
    "\"RecoveryFileNumber\"=dword:00000002\n"
    "\"PlayerFileNumber\"=dword:00000001\n";

struct ExpectedFile {
    const char* name;
    const char* description;
    UCHAR tag;
    ULONG formatType;
};

const ExpectedFile kBuiltIn8200[] = {
    {"Booty.s", "Boot Manager", 0x50, 1},
    {"Qorvsys.s", "Player", 0x00, 1},
    {"dcc.s", "Recovery", 0x01, 1},
    {"resource.bin", "Resource", 0x02, 0},
};
const ExpectedFile kBuiltIn8210[] = {
    {"Booty_8210.s", "Boot Manager", 0x50, 1}, {"Qorvsys_8210.s", "Player", 0x00, 1},
    {"usbmsc.s", "USB MSC", 0x01, 1},          {"resource_8210.bin", "Resource", 0x02, 0},
    {"dcc_8210.s", "Recovery", 0x03, 1},
};

void ExpectFiles(const _BinaryFilesInformation& record, const ExpectedFile* files, ULONG count) {
    ASSERT_EQ(record.numberOfBinaryFiles, count);
    for (ULONG i = 0; i < count; ++i) {
        SCOPED_TRACE("file " + std::to_string(i + 1));
        EXPECT_STREQ(record.fileName[i], files[i].name);
        EXPECT_STREQ(record.fileDescription[i], files[i].description);
        EXPECT_EQ(record.fileTag[i], files[i].tag);
        EXPECT_EQ(record.fileFormatType[i], files[i].formatType);
    }
}

struct BuiltInCase {
    DWORD chipId;
    bool is8210;
};

class BuiltInSetTest : public testing::MachineFixture, public ::testing::WithParamInterface<BuiltInCase> {};

TEST_P(BuiltInSetTest, AChipIdWithoutItsSubkeyGetsTheBuiltInSetOfItsVariant) {
    LoadRegistry(kParamsKey);
    auto record = DirtyRecord();
    EXPECT_FALSE(ReadBinaryFilesInformation(GetParam().chipId, &record));
    if (GetParam().is8210) {
        ExpectFiles(record, kBuiltIn8210, 5);
        EXPECT_EQ(record.recoveryFileNumber, 5u);
    } else {
        ExpectFiles(record, kBuiltIn8200, 4);
        EXPECT_EQ(record.recoveryFileNumber, 3u);
        EXPECT_EQ(record.fileName[4][0], '\0');
    }
    EXPECT_EQ(record.bootManagerFileNumber, 1u);
    EXPECT_EQ(record.playerFileNumber, 2u);
    // The library's version arrays start from zero, not from the caller's garbage.
    EXPECT_EQ(record.deviceVersion01[0], 0u);
    EXPECT_EQ(record.fileVersion23[11], 0u);

    auto read = ReadBinaryFiles(GetParam().chipId, &record);
    EXPECT_EQ(read.source, FileSetSource::BUILT_IN);
}

INSTANTIATE_TEST_SUITE_P(ChipIds, BuiltInSetTest,
                         ::testing::Values(BuiltInCase{8200, false}, BuiltInCase{0, false},
                                           BuiltInCase{8201, false}, BuiltInCase{0x3a6e0c07, false},
                                           BuiltInCase{0x2F4D8210, false}, BuiltInCase{8210, true}));

using BinaryFilesTest = testing::MachineFixture;

TEST_F(BinaryFilesTest, WithoutAnyConfigurationTheBuiltInSetIsTaken) {
    auto record = DirtyRecord();
    EXPECT_FALSE(ReadBinaryFilesInformation(8210, &record));
    ExpectFiles(record, kBuiltIn8210, 5);
}

struct SubkeyCase {
    DWORD chipId;
    const char* firstFile;
};

class SubkeyTest : public testing::MachineFixture, public ::testing::WithParamInterface<SubkeyCase> {};

TEST_P(SubkeyTest, TheChipIdSelectsItsSubkey) {
    LoadRegistry(std::string(kSubkey8200) + "\"NumberOfBinaryFiles\"=dword:00000002\n" +
                 FileValues(1, "boot_a.s", "Boot A", "50", 1) +
                 FileValues(2, "player_a.bin", "Player A", "00", 0) + kFileNumbers + "\n" + kSubkey8210 +
                 "\"NumberOfBinaryFiles\"=dword:00000001\n" + FileValues(1, "boot_b.s", "Boot B", "50", 1) +
                 kFileNumbers);
    auto record = DirtyRecord();
    EXPECT_TRUE(ReadBinaryFilesInformation(GetParam().chipId, &record));
    EXPECT_STREQ(record.fileName[0], GetParam().firstFile);
    EXPECT_EQ(record.recoveryFileNumber, 2u);
    EXPECT_EQ(ReadBinaryFiles(GetParam().chipId, &record).source, FileSetSource::REGISTRY);
}

INSTANTIATE_TEST_SUITE_P(ChipIds, SubkeyTest,
                         ::testing::Values(SubkeyCase{8200, "boot_a.s"}, SubkeyCase{0, "boot_a.s"},
                                           SubkeyCase{8210, "boot_b.s"}));

TEST_F(BinaryFilesTest, ASubkeyWithNoFilesReadsAnEmptyList) {
    LoadRegistry(std::string(kSubkey8200) + "\"NumberOfBinaryFiles\"=dword:00000000\n" + kFileNumbers);
    auto record = DirtyRecord();
    EXPECT_TRUE(ReadBinaryFilesInformation(8200, &record));
    EXPECT_EQ(record.numberOfBinaryFiles, 0u);
    EXPECT_EQ(record.fileName[0][0], '\0');
    EXPECT_EQ(record.bootManagerFileNumber, 1u);
    EXPECT_EQ(record.recoveryFileNumber, 2u);
    EXPECT_EQ(record.playerFileNumber, 1u);
}

std::string TwelveOrMoreFiles(unsigned count) {
    std::string text = std::string(kSubkey8200) + "\"NumberOfBinaryFiles\"=" + Dword(count) + "\n";
    for (unsigned k = 1; k <= count; ++k) {
        text += FileValues(static_cast<int>(k), "f" + std::to_string(k) + ".bin", "File " + std::to_string(k),
                           "02", 0);
    }
    return text + kFileNumbers;
}

TEST_F(BinaryFilesTest, TwelveFilesFillTheRecord) {
    LoadRegistry(TwelveOrMoreFiles(12));
    auto record = DirtyRecord();
    EXPECT_TRUE(ReadBinaryFilesInformation(8200, &record));
    EXPECT_EQ(record.numberOfBinaryFiles, 12u);
    EXPECT_STREQ(record.fileName[11], "f12.bin");
    EXPECT_STREQ(record.fileDescription[11], "File 12");
    EXPECT_EQ(record.fileTag[11], 0x02);
}

TEST_F(BinaryFilesTest, MoreThanTwelveFilesAreRefusedAndLeaveTheRecordZeroed) {
    LoadRegistry(TwelveOrMoreFiles(13));
    auto record = DirtyRecord();
    EXPECT_FALSE(ReadBinaryFilesInformation(8200, &record));
    EXPECT_TRUE(IsZero(record));
    auto read = ReadBinaryFiles(8200, &record);
    EXPECT_EQ(read.source, FileSetSource::TOO_MANY_FILES);
    EXPECT_EQ(read.failedValue, "NumberOfBinaryFiles");
    EXPECT_TRUE(IsZero(record));
}

TEST_F(BinaryFilesTest, AMissingTagEndsTheReadWithWhatWasReadSoFar) {
    std::string file2 = FileValues(2, "Qorvsys.s", "Player", "00", 1);
    file2.erase(file2.find("\"File2_Tag\""), std::string("\"File2_Tag\"=hex:00\n").size());
    LoadRegistry(std::string(kSubkey8200) + "\"NumberOfBinaryFiles\"=dword:00000002\n" +
                 FileValues(1, "Booty.s", "Boot Manager", "50", 1) + file2 + kFileNumbers);
    auto record = DirtyRecord();
    EXPECT_FALSE(ReadBinaryFilesInformation(8200, &record));
    EXPECT_EQ(record.numberOfBinaryFiles, 2u);
    EXPECT_STREQ(record.fileName[0], "Booty.s");
    EXPECT_STREQ(record.fileDescription[0], "Boot Manager");
    EXPECT_EQ(record.fileTag[0], 0x50);
    EXPECT_EQ(record.fileFormatType[0], 1u);
    EXPECT_STREQ(record.fileName[1], "Qorvsys.s");
    EXPECT_STREQ(record.fileDescription[1], "Player");
    EXPECT_EQ(record.fileTag[1], 0);
    EXPECT_EQ(record.fileFormatType[1], 0u);
    EXPECT_EQ(record.bootManagerFileNumber, 0u);
    EXPECT_EQ(record.recoveryFileNumber, 0u);
    EXPECT_EQ(record.playerFileNumber, 0u);
    EXPECT_EQ(ReadBinaryFiles(8200, &record).failedValue, "File2_Tag");
}

struct BadValueCase {
    const char* line;  // replaces the value of the same name in a good one-file set
    const char* failedValue;
};

class BadValueTest : public testing::MachineFixture, public ::testing::WithParamInterface<BadValueCase> {};

TEST_P(BadValueTest, AValueOfTheWrongSizeOrTypeEndsTheRead) {
    std::string values =
        "\"NumberOfBinaryFiles\"=dword:00000001\n" + FileValues(1, "Booty.s", "Boot", "50", 1) + kFileNumbers;
    std::string line = GetParam().line;
    std::string name = line.substr(0, line.find('=') + 1);
    auto at = values.find(name);
    ASSERT_NE(at, std::string::npos);
    values.replace(at, values.find('\n', at) - at, line);
    LoadRegistry(kSubkey8200 + values);
    auto record = DirtyRecord();
    auto read = ReadBinaryFiles(8200, &record);
    EXPECT_EQ(read.source, FileSetSource::INCOMPLETE);
    EXPECT_EQ(read.failedValue, GetParam().failedValue);
}

INSTANTIATE_TEST_SUITE_P(
    Values, BadValueTest,
    ::testing::Values(BadValueCase{"\"NumberOfBinaryFiles\"=hex:01", "NumberOfBinaryFiles"},
                      BadValueCase{"\"File1_Tag\"=dword:00000050", "File1_Tag"},
                      BadValueCase{"\"File1_FormatType\"=hex:01", "File1_FormatType"},
                      BadValueCase{"\"File1_Name\"=dword:00000001", "File1_Name"},
                      BadValueCase{"\"File1_Description\"=hex:41,42", "File1_Description"},
                      BadValueCase{"\"PlayerFileNumber\"=hex:01,00", "PlayerFileNumber"}));

TEST_F(BinaryFilesTest, ANameOf259CharactersFitsAndOneOf260DoesNot) {
    for (std::size_t length : {259u, 260u}) {
        LoadRegistry(std::string(kSubkey8200) + "\"NumberOfBinaryFiles\"=dword:00000001\n" +
                     FileValues(1, std::string(length, 'n'), "Boot", "50", 1) + kFileNumbers);
        auto record = DirtyRecord();
        EXPECT_EQ(ReadBinaryFilesInformation(8200, &record), length == 259) << length;
        EXPECT_EQ(std::strlen(record.fileName[0]), length == 259 ? 259u : 0u);
    }
}

TEST_F(BinaryFilesTest, TheSetIsReadAnewEachTime) {
    LoadRegistry(std::string(kSubkey8200) + "\"NumberOfBinaryFiles\"=dword:00000000\n" + kFileNumbers);
    auto record = DirtyRecord();
    EXPECT_TRUE(ReadBinaryFilesInformation(8200, &record));
    LoadRegistry("[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Zephtal\\Zephtal RPX-7300 MP3 Player\\Params\\8200]\n");
    EXPECT_FALSE(ReadBinaryFilesInformation(8200, &record));
    EXPECT_EQ(record.numberOfBinaryFiles, 4u);
}

TEST_F(BinaryFilesTest, SetDefaultBinaryFilesWritesOnlyTheFileSet) {
    auto record = DirtyRecord();
    SetDefaultBinaryFiles(8200, &record);
    ExpectFiles(record, kBuiltIn8200, 4);
    EXPECT_EQ(record.deviceVersion01[0], 0xABABABABu);
}

TEST_F(BinaryFilesTest, AFirmwareFilePathIsTheFolderABackslashAndTheName) {
    _BinaryFilesInformation record{};
    SetDefaultBinaryFiles(8200, &record);
    const char* folder = "C:\\Program Files\\RPX";
    EXPECT_EQ(FirmwareFilePath(folder, record, record.recoveryFileNumber), "C:\\Program Files\\RPX\\dcc.s");
    EXPECT_EQ(FirmwareFilePath(folder, record, 4), "C:\\Program Files\\RPX\\resource.bin");
    EXPECT_EQ(FirmwareFilePath(folder, record, 0), std::nullopt);
    EXPECT_EQ(FirmwareFilePath(folder, record, 5), std::nullopt);
    EXPECT_EQ(FirmwareFilePath(nullptr, record, 1), std::nullopt);
}

}  // namespace
}  // namespace tools
