// The system area on a player's medium: the sample firmware set (made by srec_cat) written by the
// full and the quick update, the block and version markers, raw pages, the last block's two
// pages, a block retired after a failed verify, the result codes, the player's boot check after
// the update and the volume as fsck.fat judges it.
#include <gtest/gtest.h>

#include "library/tests/host_tools.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "firmware_image/image.h"
#include "firmware_image/samples/sample_folder.h"
#include "firmware_image/version.h"
#include "library/block_status.h"
#include "library/media_state.h"
#include "library/tests/format_fixture.h"
#include "media_format/redundant_area.h"
#include "platform/base/endian.h"
#include "tools/common/binary_files.h"

namespace {

using namespace vxmp3;
using vxmp3_test::FormatScenario;
using vxmp3_test::Sized;
using vxmp3_test::WithFaults;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kSector = 512;
constexpr std::uint32_t kPagesPerBlock = 32;  // every medium here is 16 MB
constexpr std::uint32_t kFirstReservedBlock = 1024 - 64;

Bytes ReadHostFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A raw file of `length` bytes; with a version, its last 15 bytes are the "Version" trailer.
Bytes RawFile(std::size_t length, std::optional<std::array<std::uint16_t, 4>> version) {
    Bytes bytes(length);
    for (std::size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i % 251 + 1);
    }
    if (version) {
        const char tag[] = "Version";
        std::copy_n(tag, 7, bytes.end() - 15);
        for (std::size_t word = 0; word < 4; ++word) {
            bytes[length - 8 + 2 * word] = static_cast<std::uint8_t>((*version)[word] & 0xFF);
            bytes[length - 7 + 2 * word] = static_cast<std::uint8_t>((*version)[word] >> 8);
        }
    }
    return bytes;
}

class SystemArea : public FormatScenario {
  protected:
    // The 8200 sample set from the build's install folder: Booty.s, Qorvsys.s, dcc.s, resource.bin.
    void UseSampleSet() {
        files_ = {};
        tools::SetDefaultBinaryFiles(8200, &files_);
        contents_.clear();
        for (ULONG i = 0; i < files_.numberOfBinaryFiles; ++i) {
            contents_.push_back(ReadHostFile(std::filesystem::path(firmware_image::kSampleFirmwareFolder) /
                                             files_.fileName[i]));
            ASSERT_FALSE(contents_.back().empty()) << files_.fileName[i];
        }
    }
    void ReplaceFile(ULONG i, Bytes bytes, ULONG formatType) {
        contents_[i] = std::move(bytes);
        files_.fileFormatType[i] = formatType;
    }

    PROGRAM_MEDIA_STATUS Quick() {
        Arrays arrays(contents_);
        return VxMp3ProgramQorvMedia(sizes_, 0, arrays.files.data(), arrays.lengths.data(),
                                     arrays.companions.data(), arrays.companionLengths.data(), &files_,
                                     nullptr);
    }
    PROGRAM_MEDIA_STATUS Full(int writeFiles = 1) {
        Arrays arrays(contents_);
        return VxMp3FatFormatEx(sizes_, 0, writeFiles, arrays.files.data(), arrays.lengths.data(),
                                arrays.companions.data(), arrays.companionLengths.data(), &files_, nullptr);
    }
    // A full update as the updater runs it: scan, system area, file system.
    void FullUpdate() {
        ASSERT_EQ(Scan(), PROGRAM_MEDIA_OK);
        ASSERT_EQ(Full(), PROGRAM_MEDIA_OK);
        ASSERT_EQ(QuickFormat(), PROGRAM_MEDIA_OK);
    }

    firmware_image::FirmwareVersion FileVersion(ULONG i) {
        return firmware_image::ReadFileVersion(contents_[i],
                                               firmware_image::FileFormatOfType(files_.fileFormatType[i]))
            .version;
    }

    const std::uint8_t* Redundant(std::uint32_t block, std::uint32_t page) {
        return PageOf(block, page).data() + media_format::kPageDataBytes;
    }
    // The first reserved block whose page 1 carries 'M' and the tag.
    std::optional<std::uint32_t> FirstBlockOfTag(std::uint8_t tag) {
        for (std::uint32_t block = kFirstReservedBlock; block < 1024; ++block) {
            if (Redundant(block, 0)[5] == 0 && Redundant(block, 1)[6] == 'M' &&
                Redundant(block, 1)[7] == tag) {
                return block;
            }
        }
        return std::nullopt;
    }
    firmware_image::FirmwareVersion MarkedVersion(std::uint32_t block) {
        firmware_image::FirmwareVersion version;
        for (std::uint32_t word = 0; word < 4; ++word) {
            version.words[word] = static_cast<std::uint16_t>(Redundant(block, 2 + word)[6] |
                                                             Redundant(block, 2 + word)[7] << 8);
        }
        return version;
    }

    // The FAT partition of the logical disk, judged by fsck.fat without changing it.
    void ExpectFsckAccepts() {
        auto reader = Reader();
        ASSERT_TRUE(reader);
        std::ostringstream disk;
        ASSERT_TRUE(reader->WriteDisk(disk));
        const std::string bytes = disk.str();
        const auto* mbr = reinterpret_cast<const std::uint8_t*>(bytes.data());
        const std::uint64_t first = platform::LoadLe32(mbr + 454);
        const std::uint64_t sectors = platform::LoadLe32(mbr + 458);
        ASSERT_LE((first + sectors) * kSector, bytes.size());
        const std::string image = folder_.File("partition.img");
        std::ofstream(image, std::ios::binary)
            .write(bytes.data() + first * kSector, static_cast<std::streamsize>(sectors * kSector));
        vxmp3::testing::ExpectFsckAccepts(image, " files, ", folder_.File("fsck.txt"));
    }

    std::vector<Bytes> contents_;

  private:
    struct Arrays {
        explicit Arrays(std::vector<Bytes>& contents) {
            for (Bytes& file : contents) {
                files.push_back(file.data());
                lengths.push_back(static_cast<ULONG>(file.size()));
                companions.push_back(nullptr);
                companionLengths.push_back(0);
            }
        }
        std::vector<UCHAR*> files;
        std::vector<ULONG> lengths;
        std::vector<UCHAR*> companions;
        std::vector<ULONG> companionLengths;
    };
};

TEST_F(SystemArea, FullUpdateBootsTheQuickUpdateMarksEveryFileAndTheVersionsReadBack) {
    Boot(Sized(16));
    Open();
    UseSampleSet();
    FullUpdate();
    player_->PowerOn();
    EXPECT_EQ(player_->BootedInto().mode, player::BootMode::NORMAL)
        << player::BootDecisionText(player_->BootedInto());
    ExpectFsckAccepts();

    ASSERT_EQ(Scan(), PROGRAM_MEDIA_OK);
    ASSERT_EQ(Quick(), PROGRAM_MEDIA_OK);
    for (ULONG i = 0; i < files_.numberOfBinaryFiles; ++i) {
        auto block = FirstBlockOfTag(files_.fileTag[i]);
        ASSERT_TRUE(block) << i;
        EXPECT_EQ(MarkedVersion(*block), FileVersion(i)) << files_.fileName[i];
    }
    player_->PowerOn();
    EXPECT_EQ(player_->BootedInto().mode, player::BootMode::NORMAL);
    ExpectFsckAccepts();

    ASSERT_EQ(VxMp3GetFirmwareVersion(sizes_, 0, &files_), PROGRAM_MEDIA_OK);
    for (ULONG i = 0; i < files_.numberOfBinaryFiles; ++i) {
        EXPECT_EQ(files_.deviceVersion01[i], FileVersion(i).Entry01()) << i;
        EXPECT_EQ(files_.deviceVersion23[i], FileVersion(i).Entry23()) << i;
    }
    // The player file Qorvsys.s carries 2.10.0.7.
    EXPECT_EQ(files_.deviceVersion01[1], 2u | 10u << 16);
}

TEST_F(SystemArea, AChangedReservationMakesTheMediumNoBootMedia) {
    Boot(Sized(16));
    Open();
    UseSampleSet();
    FullUpdate();
    SetReservedKiloBytes(2048);
    ASSERT_EQ(Scan(), PROGRAM_MEDIA_OK);
    const Bytes before(Medium().begin(), Medium().end());
    EXPECT_EQ(Quick(), PROGRAM_MEDIA_NOT_BOOT_MEDIA);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), Medium().begin()));
    files_.deviceVersion01[1] = 77;
    EXPECT_EQ(VxMp3GetFirmwareVersion(sizes_, 0, &files_), PROGRAM_MEDIA_NOT_BOOT_MEDIA);
    EXPECT_EQ(files_.deviceVersion01[1], 77u);
}

struct RefusalCase {
    const char* name;
    std::optional<ULONG> reservedKiloBytes;
    bool quick;
    bool badChecksum;
    PROGRAM_MEDIA_STATUS expected;
};

class SystemAreaRefusal : public SystemArea, public ::testing::WithParamInterface<RefusalCase> {};

// Refused before anything is written: the medium file is unchanged byte for byte.
TEST_P(SystemAreaRefusal, LeavesTheMediumUnchanged) {
    const RefusalCase& test = GetParam();
    Boot(Sized(16), test.reservedKiloBytes);
    Open();
    UseSampleSet();
    if (test.badChecksum) {
        // The checksum byte of Qorvsys.s's first S1 record, one off.
        Bytes& text = contents_[1];
        auto s1 = std::search(text.begin(), text.end(), std::begin("S1"), std::end("S1") - 1);
        auto end = std::find(s1, text.end(), '\r');
        end = end == text.end() ? std::find(s1, text.end(), '\n') : end;
        ASSERT_NE(end, text.end());
        *(end - 1) = *(end - 1) == '0' ? '1' : '0';
    }
    ASSERT_EQ(Scan(), PROGRAM_MEDIA_OK);
    const Bytes before(Medium().begin(), Medium().end());
    EXPECT_EQ(test.quick ? Quick() : Full(), test.expected);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), Medium().begin()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SystemAreaRefusal,
    ::testing::Values(
        RefusalCase{"QuickWithoutReservation", std::nullopt, true, false, PROGRAM_MEDIA_SYSTEM_AREA_FULL},
        RefusalCase{"FullWithoutReservation", std::nullopt, false, false, PROGRAM_MEDIA_SYSTEM_AREA_FULL},
        RefusalCase{"QuickTooSmallReservation", 16, true, false, PROGRAM_MEDIA_SYSTEM_AREA_FULL},
        RefusalCase{"QuickWrongChecksum", 1024, true, true, PROGRAM_MEDIA_BAD_FILE},
        RefusalCase{"FullWrongChecksum", 1024, false, true, PROGRAM_MEDIA_BAD_FILE},
        RefusalCase{"QuickOnAFreshMedium", 1024, true, false, PROGRAM_MEDIA_NOT_BOOT_MEDIA}),
    [](const ::testing::TestParamInfo<RefusalCase>& caseInfo) { return std::string(caseInfo.param.name); });

TEST_F(SystemArea, RawFilesArePagedBy510BytesWithTheirTrailerVersion) {
    Boot(Sized(16));
    Open();
    UseSampleSet();
    ReplaceFile(3, RawFile(1020, std::array<std::uint16_t, 4>{1, 2, 3, 4}), 0);
    FullUpdate();
    auto block = FirstBlockOfTag(files_.fileTag[3]);
    ASSERT_TRUE(block);
    for (std::uint32_t page = 0; page < 2; ++page) {
        auto data = PageOf(*block, page).first(kSector);
        EXPECT_TRUE(std::equal(data.begin(), data.begin() + 510, contents_[3].begin() + 510 * page)) << page;
        EXPECT_EQ(data[510], 0);
        EXPECT_EQ(data[511], 0);
    }
    EXPECT_EQ(MarkedVersion(*block), (firmware_image::FirmwareVersion{{1, 2, 3, 4}}));

    ReplaceFile(3, RawFile(1020, std::nullopt), 0);
    ASSERT_EQ(Scan(), PROGRAM_MEDIA_OK);
    ASSERT_EQ(Quick(), PROGRAM_MEDIA_OK);
    EXPECT_EQ(MarkedVersion(*FirstBlockOfTag(files_.fileTag[3])), firmware_image::FirmwareVersion{});
}

TEST_F(SystemArea, OnePageBeyondWholeBlocksIsWrittenAsTwoPages) {
    Boot(Sized(16));
    Open();
    UseSampleSet();
    // 32 x 510 + 1 bytes: 33 pages, one block and one page.
    ReplaceFile(3, RawFile(kPagesPerBlock * 510 + 1, std::nullopt), 0);
    FullUpdate();
    auto first = FirstBlockOfTag(files_.fileTag[3]);
    ASSERT_TRUE(first);
    const std::uint32_t last = *first + 1;
    EXPECT_EQ(Redundant(last, 0)[4], 0x00);
    EXPECT_EQ(Redundant(last, 1)[4], 0x00);
    EXPECT_EQ(Redundant(last, 1)[7], files_.fileTag[3]);
    EXPECT_EQ(PageOf(last, 0)[0], contents_[3].back());
    EXPECT_EQ(PageOf(last, 1)[0], 0x00);     // the second page: zeros after the image
    EXPECT_EQ(Redundant(last, 2)[4], 0xFF);  // not written
}

TEST_F(SystemArea, ABlockThatReadsBackDifferentIsRetiredAndTheFileGoesOn) {
    // Block 960, the reserved area's first, shows a flipped bit in its first page on every read.
    player::FaultPlan faults;
    faults.readBitFlips.push_back({std::uint64_t{kFirstReservedBlock} * kPagesPerBlock, {3}});
    Boot(WithFaults(Sized(16), faults));
    Open();
    UseSampleSet();
    FullUpdate();
    const std::uint8_t* retired = Redundant(kFirstReservedBlock, 0);
    EXPECT_TRUE(std::all_of(retired, retired + 16, [](std::uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::all_of(Redundant(kFirstReservedBlock, 1), Redundant(kFirstReservedBlock, 1) + 16,
                            [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(MediaStateOfSlot(0)->blockStatus[kFirstReservedBlock], BLOCK_BAD);
    EXPECT_EQ(FirstBlockOfTag('P'), kFirstReservedBlock + 1);
    EXPECT_EQ(MarkedVersion(kFirstReservedBlock + 1), FileVersion(0));
    auto data = PageOf(kFirstReservedBlock + 1, 0);
    Bytes image =
        firmware_image::BuildSystemImage(contents_[0], {}, firmware_image::FileFormat::S_RECORD).bytes;
    ASSERT_LE(image.size(), kSector);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), data.begin()));
}

TEST_F(SystemArea, AQuickUpdateWithEmptyFilesLeavesTheVolumeAlone) {
    Boot(Sized(16));
    Open();
    UseSampleSet();
    FullUpdate();
    const std::uint32_t mapped = Reader()->Summary().mappedLogicalBlocks;
    for (Bytes& file : contents_) {
        file.clear();
    }
    ASSERT_EQ(Scan(), PROGRAM_MEDIA_OK);
    ASSERT_EQ(Quick(), PROGRAM_MEDIA_OK);
    EXPECT_EQ(Reader()->Summary().mappedLogicalBlocks, mapped);
    ExpectFsckAccepts();
}

TEST_F(SystemArea, BadMediaAndBadSets) {
    Boot(Sized(16));
    Open();
    UseSampleSet();
    ASSERT_EQ(Scan(), PROGRAM_MEDIA_OK);
    ULONG none[1] = {36};
    EXPECT_EQ(VxMp3ProgramQorvMedia(none, 0, nullptr, nullptr, nullptr, nullptr, &files_, nullptr),
              PROGRAM_MEDIA_BAD_MEDIA);
    EXPECT_EQ(VxMp3FatFormatEx(sizes_, 1, 1, nullptr, nullptr, nullptr, nullptr, &files_, nullptr),
              PROGRAM_MEDIA_BAD_MEDIA);
    EXPECT_EQ(VxMp3ProgramQorvMedia(sizes_, 0, nullptr, nullptr, nullptr, nullptr, &files_, nullptr),
              PROGRAM_MEDIA_BAD_FILE);
    files_.fileTag[2] = 0xFB;  // its blocks would read as free
    EXPECT_EQ(Quick(), PROGRAM_MEDIA_BAD_FILE);
}

}  // namespace
