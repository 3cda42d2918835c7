// The quick format on a player's medium: the layout table, the volume's sectors byte by byte as the
// disk driver will read them, the partition size rules, bad-block replacement and failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "library/fat_layout.h"
#include "library/tests/format_fixture.h"
#include "media_format/cis.h"
#include "platform/base/endian.h"

namespace {

using vxmp3_test::FormatPlayer;
using vxmp3_test::FormatScenario;
using vxmp3_test::Prepared;
using vxmp3_test::Sized;
using vxmp3_test::WithFaults;
using Sector = std::array<std::uint8_t, 512>;

TEST(FatLayoutTable, EveryRowPutsTheDataAreaOnABlockAndTheVolumeInsideTheDisk) {
    for (win::ULONG index = 3; index <= 35; ++index) {
        const vxmp3::FatLayout* layout = vxmp3::FatLayoutOfSizeIndex(index);
        ASSERT_NE(layout, nullptr) << index;
        const auto& geometry = *media_format::GeometryOfLibrarySizeIndex(index);
        EXPECT_EQ(layout->fat2Sector, layout->Fat1Sector() + layout->sectorsPerFat) << index;
        EXPECT_EQ((layout->RootDirectorySector() + 16) % geometry.pagesPerBlock, 0u) << index;
        EXPECT_EQ(layout->sectorsPerCluster, geometry.pagesPerBlock) << index;
        EXPECT_LE(layout->hiddenSectors + layout->totalSectors, geometry.sectors) << index;
        EXPECT_EQ(layout->IsFat12(), index <= 7) << index;
    }
    EXPECT_EQ(vxmp3::FatLayoutOfSizeIndex(2), nullptr);
    EXPECT_EQ(vxmp3::FatLayoutOfSizeIndex(36), nullptr);
}

class VolumeFormat : public FormatScenario {
  protected:
    // Scans and formats; the logical disk is then read through the offline reader.
    void Format(int reserveFlag = 1) {
        Open();
        ASSERT_EQ(Scan(), PROGRAM_MEDIA_OK);
        ASSERT_EQ(QuickFormat(reserveFlag), PROGRAM_MEDIA_OK);
        reader_ = Reader();
        ASSERT_TRUE(reader_);
    }

    Sector DiskSector(std::uint32_t sector) {
        Sector data{};
        EXPECT_EQ(reader_->ReadSector(sector, data), media_format::SectorRead::kGood) << "sector " << sector;
        return data;
    }

    static std::uint32_t Long(const Sector& sector, std::size_t offset) {
        return platform::LoadLe32(sector.data() + offset);
    }

    std::optional<media_format::MediumReader> reader_;
};

TEST_F(VolumeFormat, A64MegabyteVolumeWithTheReserveTakenOff) {
    Boot(Sized(64), 1024);
    Format();
    constexpr std::uint32_t kPartition = 127945 - 64 * 32;
    Sector mbr = DiskSector(0);
    EXPECT_EQ(mbr[446], 0x80);
    EXPECT_EQ(mbr[450], 0x01);
    EXPECT_EQ((std::array<std::uint8_t, 3>{mbr[447], mbr[448], mbr[449]}),
              (std::array<std::uint8_t, 3>{1, 24, 0}));
    EXPECT_EQ((std::array<std::uint8_t, 3>{mbr[451], mbr[452], mbr[453]}),
              (std::array<std::uint8_t, 3>{7, 96, 243}));
    EXPECT_EQ(Long(mbr, 454), 55u);
    EXPECT_EQ(Long(mbr, 458), kPartition);
    EXPECT_EQ(mbr[510], 0x55);
    EXPECT_EQ(mbr[511], 0xAA);
    for (std::uint32_t sector = 1; sector < 55; ++sector) {
        EXPECT_EQ(DiskSector(sector), Sector{}) << sector;
    }
    Sector boot = DiskSector(55);
    EXPECT_EQ(boot[0], 0xE9);
    EXPECT_EQ(std::string(boot.begin() + 3, boot.begin() + 11), "        ");
    EXPECT_EQ(platform::LoadLe16(boot.data() + 11), 512);
    EXPECT_EQ(boot[13], 32);
    EXPECT_EQ(boot[16], 2);
    EXPECT_EQ(platform::LoadLe16(boot.data() + 17), 256);
    EXPECT_EQ(platform::LoadLe16(boot.data() + 19), 0);
    EXPECT_EQ(boot[21], 0xF8);
    EXPECT_EQ(platform::LoadLe16(boot.data() + 22), 12);
    EXPECT_EQ(platform::LoadLe16(boot.data() + 24), 32);
    EXPECT_EQ(platform::LoadLe16(boot.data() + 26), 8);
    EXPECT_EQ(Long(boot, 28), 55u);
    EXPECT_EQ(Long(boot, 32), kPartition);
    EXPECT_EQ(std::string(boot.begin() + 54, boot.begin() + 62), "FAT12   ");
    EXPECT_EQ(boot[38], 0);  // no extended boot signature
    for (std::uint32_t fat : {56u, 68u}) {
        Sector first = DiskSector(fat);
        EXPECT_EQ(Long(first, 0), 0x00FFFFF8u) << fat;
        EXPECT_TRUE(std::all_of(first.begin() + 4, first.end(), [](auto b) { return b == 0; }));
    }
    for (std::uint32_t sector = 80; sector <= 127; ++sector) {
        EXPECT_EQ(DiskSector(sector), Sector{}) << sector;
    }
    // Sectors 0..127 are logical blocks 0..3, in the blocks after the card information structure.
    EXPECT_EQ(reader_->Summary().mappedLogicalBlocks, 4u);
    for (std::uint32_t logical = 0; logical < 4; ++logical) {
        EXPECT_EQ(reader_->PhysicalBlockOfLogicalBlock(logical), logical + 1);
    }
    Sector unwritten{};
    EXPECT_EQ(reader_->ReadSector(128, unwritten), media_format::SectorRead::kUnmapped);
    // The card information structure page at block 0 and the medium marked changed.
    EXPECT_EQ(reader_->Summary().cisBlock, 0u);
    EXPECT_TRUE(reader_->Summary().cisPageIntact);
    USER_DATA userData{};
    ASSERT_EQ(VxMp3GetStatus(&userData), 1);
    EXPECT_EQ(userData.mediaChanged, 1u);
}

TEST_F(VolumeFormat, An8MegabyteVolumeHas16SectorClustersAndASmallSectorCount) {
    Boot(Sized(8), 1024);
    Format();
    constexpr std::uint32_t kPartition = 15975 - 128 * 16;
    Sector mbr = DiskSector(0);
    EXPECT_EQ(mbr[450], 0x01);
    EXPECT_EQ(Long(mbr, 454), 25u);
    EXPECT_EQ(Long(mbr, 458), kPartition);
    Sector boot = DiskSector(25);
    EXPECT_EQ(boot[13], 16);
    EXPECT_EQ(platform::LoadLe16(boot.data() + 19), kPartition);
    EXPECT_EQ(Long(boot, 32), 0u);
    EXPECT_EQ(Long(DiskSector(26), 0), 0x00FFFFF8u);
    EXPECT_EQ(Long(DiskSector(29), 0), 0x00FFFFF8u);
    EXPECT_EQ(reader_->Summary().mappedLogicalBlocks, 4u);  // sectors 0..63
}

TEST_F(VolumeFormat, A96MegabyteVolumeWritesOnlyPageZeroOfItsLastBlock) {
    Boot(Sized(96), 1024);
    Format();
    Sector boot = DiskSector(63);
    EXPECT_EQ(std::string(boot.begin() + 54, boot.begin() + 62), "FAT16   ");
    EXPECT_EQ(Long(DiskSector(64), 0), 0xFFFFFFF8u);
    EXPECT_EQ(reader_->Summary().mappedLogicalBlocks, 6u);
    auto block5 = *reader_->PhysicalBlockOfLogicalBlock(5);
    EXPECT_EQ(PageOf(block5, 0)[512 + 6], 0x10);
    EXPECT_EQ(PageOf(block5, 1)[512 + 6], 0xFF);
}

// The reserve flag 0 sizes the partition by the system blocks the medium already has.
TEST_F(VolumeFormat, WithoutTheReserveFlagTheSystemBlocksOnTheMediumAreLeftOut) {
    Boot(Prepared(Sized(64),
                  [](player::NandMedium& medium) {
                      for (std::uint32_t block = 4093; block < 4096; ++block) {
                          std::array<std::uint8_t, 528> page;
                          page.fill(0xFF);
                          page[516] = 0x00;
                          page[517] = 0x00;
                          page[518] = 'Q';
                          page[519] = 'V';
                          medium.ProgramPage(std::uint64_t{block} * 32, page);
                      }
                  }),
         1024);
    Format(0);
    EXPECT_EQ(Long(DiskSector(0), 458), (4000u - 3) * 32 - 55);
    EXPECT_EQ(Long(DiskSector(55), 32), (4000u - 3) * 32 - 55);
}

TEST_F(VolumeFormat, BadBlocksZeroAndOneLeaveTheCisAtBlockTwo) {
    Boot(Sized(64, {0, 1}), 1024);
    Format();
    EXPECT_EQ(reader_->Summary().cisBlock, 2u);
    EXPECT_TRUE(reader_->Summary().cisPageIntact);
    EXPECT_EQ(reader_->PhysicalBlockOfLogicalBlock(0), 3u);
    auto destroyed = PageOf(1, 1);
    EXPECT_TRUE(std::all_of(destroyed.begin(), destroyed.end(), [](auto b) { return b == 0; }));
}

TEST_F(VolumeFormat, APageThatReadsBackDifferentRetiresItsBlock) {
    player::PlayerOptions options;
    // Block 2 takes logical block 1; one bit of its third page's data reads back flipped.
    options.faults.readBitFlips = {{2 * 32 + 2, {100 * 8 + 3}}};
    Boot(WithFaults(Sized(64), options.faults), 1024);
    Format();
    for (std::uint32_t page = 0; page < 32; ++page) {
        auto bytes = PageOf(2, page);
        EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](auto b) { return b == 0; })) << page;
    }
    EXPECT_EQ(reader_->PhysicalBlockOfLogicalBlock(1), 3u);
    EXPECT_EQ(reader_->PhysicalBlockOfLogicalBlock(2), 4u);
    EXPECT_EQ(reader_->Summary().mappedLogicalBlocks, 4u);
    EXPECT_EQ(DiskSector(34), Sector{});
}

TEST_F(VolumeFormat, AFirstZoneBlockThatFailsToEraseIsPassedOver) {
    player::PlayerOptions options;
    options.faults.eraseFailures = {1};
    Boot(WithFaults(Sized(64), options.faults), 1024);
    Format();
    EXPECT_EQ(reader_->PhysicalBlockOfLogicalBlock(0), 2u);
    EXPECT_EQ(Long(DiskSector(55), 32), 127945u - 64 * 32);
}

TEST_F(VolumeFormat, AFirstZoneWithoutFreeBlocksFailsTheFormat) {
    player::PlayerOptions options;
    for (std::uint32_t block = 1; block < 1024; ++block) {
        options.faults.eraseFailures.push_back(block);
    }
    Boot(WithFaults(Sized(64), options.faults), 1024);
    Open();
    ASSERT_EQ(Scan(), PROGRAM_MEDIA_OK);
    EXPECT_EQ(QuickFormat(), PROGRAM_MEDIA_FORMAT_FAILED);
}

TEST_F(VolumeFormat, AReserveLargerThanTheMediumFailsTheFormat) {
    Boot(Sized(16), 16 * 1024);
    Open();
    ASSERT_EQ(Scan(), PROGRAM_MEDIA_OK);
    EXPECT_EQ(QuickFormat(), PROGRAM_MEDIA_FORMAT_FAILED);
}

TEST_F(VolumeFormat, APlayerThatStopsAnsweringFailsTheFormatWithinTheTransferTimeOut) {
    player::PlayerOptions options;
    // Past the scan (2 + 16 packets) and the first zone's 1024 erases: inside the volume writes.
    options.faults.unansweredPackets = {2 + 16 + 1 + 1024 + 40};
    Boot(WithFaults(Sized(64), options.faults), 1024);
    Open();
    ASSERT_EQ(Scan(), PROGRAM_MEDIA_OK);
    std::uint64_t start = NowMs();
    EXPECT_EQ(QuickFormat(), PROGRAM_MEDIA_FORMAT_FAILED);
    EXPECT_LT(NowMs() - start, 10000u);
}

TEST_F(VolumeFormat, APlayerThatStopsAnsweringDuringTheFirstZoneEraseFailsAtOnce) {
    player::PlayerOptions options;
    options.faults.unansweredPackets = {2 + 16 + 1 + 300};
    Boot(WithFaults(Sized(64), options.faults), 1024);
    Open();
    ASSERT_EQ(Scan(), PROGRAM_MEDIA_OK);
    std::uint64_t start = NowMs();
    EXPECT_EQ(QuickFormat(), PROGRAM_MEDIA_FORMAT_FAILED);
    EXPECT_LT(NowMs() - start, 5000u);
}

}  // namespace
