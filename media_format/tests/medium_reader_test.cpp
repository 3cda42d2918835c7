#include "media_format/medium_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "media_format/cis.h"
#include "media_format/mapped_file.h"
#include "media_format/redundant_area.h"

namespace media_format {
namespace {

// A medium built in memory: erased (all 0xFF) until blocks are written.
class SyntheticMedium {
  public:
    explicit SyntheticMedium(uint32_t flashSizeIndex)
        : geometry_(*GeometryOfFlashSizeIndex(flashSizeIndex)), bytes_(geometry_.MediumBytes(), 0xFF) {}

    std::span<uint8_t, kPageBytes> Page(uint32_t block, uint32_t page) {
        return std::span(bytes_)
            .subspan((uint64_t{block} * geometry_.pagesPerBlock + page) * kPageBytes)
            .first<kPageBytes>();
    }
    std::span<uint8_t, kRedundantBytes> Redundant(uint32_t block, uint32_t page) {
        return Page(block, page).last<kRedundantBytes>();
    }

    void MarkBad(uint32_t block) {
        for (uint32_t page = 0; page < geometry_.pagesPerBlock; ++page) {
            std::fill(Page(block, page).begin(), Page(block, page).end(), uint8_t{0});
        }
    }
    void WriteCis(uint32_t block) { BuildCisPage(Page(block, 0)); }
    void WriteSystemBlock(uint32_t block, BlockAddressField marker) {
        RedundantArea area = RedundantAreaFromBytes(Redundant(block, 0));
        area.dataStatus = kStatusCleared;
        area.blockStatus = kStatusCleared;
        area.blockAddress1 = marker;
        StoreRedundantArea(area, Redundant(block, 0));
    }
    // Every page of the block carries the logical block's address and data that name it and the page.
    void WriteLogicalBlock(uint32_t block, uint32_t logicalBlock) {
        for (uint32_t page = 0; page < geometry_.pagesPerBlock; ++page) {
            const auto data = Page(block, page).first<kPageDataBytes>();
            FillSector(data, logicalBlock, block, page);
            StoreRedundantArea(BuildDataPageRedundantArea(data, logicalBlock), Redundant(block, page));
        }
    }
    void SetFirstAddressField(uint32_t block, BlockAddressField field) {
        RedundantArea area = RedundantAreaFromBytes(Redundant(block, 0));
        area.blockAddress1 = field;
        StoreRedundantArea(area, Redundant(block, 0));
    }

    static void FillSector(std::span<uint8_t> data, uint32_t logicalBlock, uint32_t block, uint32_t page) {
        for (uint32_t i = 0; i < data.size(); ++i) {
            data[i] = static_cast<uint8_t>(logicalBlock * 31 + block * 7 + page * 3 + i);
        }
    }
    static std::array<uint8_t, kPageDataBytes> Sector(uint32_t logicalBlock, uint32_t block, uint32_t page) {
        std::array<uint8_t, kPageDataBytes> sector;
        FillSector(sector, logicalBlock, block, page);
        return sector;
    }

    const Geometry& geometry() const { return geometry_; }
    std::span<const uint8_t> Bytes() const { return bytes_; }

  private:
    const Geometry& geometry_;
    std::vector<uint8_t> bytes_;
};

MediumReader OpenReader(const SyntheticMedium& medium, uint32_t totalKiloBytesReserved = 0) {
    std::string error;
    std::optional<MediumReader> reader = MediumReader::Open(medium.Bytes(), totalKiloBytesReserved, error);
    EXPECT_TRUE(reader) << error;
    return std::move(*reader);
}

constexpr uint32_t k8MB = 0;
constexpr uint32_t k32MB = 2;

TEST(MediumReaderTest, CisIsTheFirstGoodBlockAfterBadOnes) {
    SyntheticMedium medium(k8MB);
    medium.MarkBad(0);
    RedundantArea weak = RedundantAreaFromBytes(medium.Redundant(1, 0));
    weak.dataStatus = 0xF0;  // four zero bits: not valid, so block 1 cannot be the CIS block
    StoreRedundantArea(weak, medium.Redundant(1, 0));
    medium.WriteCis(2);
    medium.MarkBad(3);

    const MediumReader reader = OpenReader(medium);
    const MediumSummary& summary = reader.Summary();
    EXPECT_EQ(summary.cisBlock, 2u);
    EXPECT_TRUE(summary.cisPageIntact);
    EXPECT_EQ(summary.unusableBlocks, 3u);
    EXPECT_EQ(summary.freeBlocks, 1020u);
    EXPECT_EQ(summary.inUseBlocks, 0u);
    EXPECT_EQ(summary.diskSectors, 16000u);
    const BlockState expected[] = {BlockState::kUnusable, BlockState::kUnusable, BlockState::kCis,
                                   BlockState::kUnusable, BlockState::kFree};
    for (uint32_t block = 0; block < std::size(expected); ++block) {
        EXPECT_EQ(reader.StateOfBlock(block), expected[block]) << block;
    }
    EXPECT_EQ(reader.StateOfBlock(1024), BlockState::kUnusable);
}

TEST(MediumReaderTest, CisWithToleratedDataStatusAndNoneOnAllBadMedium) {
    SyntheticMedium medium(k8MB);
    RedundantArea area = RedundantAreaFromBytes(medium.Redundant(0, 0));
    area.dataStatus = 0xF8;
    StoreRedundantArea(area, medium.Redundant(0, 0));
    EXPECT_EQ(OpenReader(medium).Summary().cisBlock, 0u);
    EXPECT_FALSE(OpenReader(medium).Summary().cisPageIntact);

    SyntheticMedium bad(k8MB);
    for (uint32_t block = 0; block < bad.geometry().physicalBlocks; ++block) {
        bad.MarkBad(block);
    }
    const MediumReader reader = OpenReader(bad);
    EXPECT_FALSE(reader.Summary().cisBlock);
    EXPECT_EQ(reader.Summary().unusableBlocks, 1024u);
    std::array<uint8_t, kPageDataBytes> sector{};
    EXPECT_EQ(reader.ReadSector(0, sector), SectorRead::kUnmapped);
}

TEST(MediumReaderTest, MapsLogicalBlocksAndReadsSectors) {
    SyntheticMedium medium(k8MB);
    medium.WriteCis(0);
    medium.WriteLogicalBlock(10, 0);
    medium.WriteLogicalBlock(20, 5);
    const MediumReader reader = OpenReader(medium);
    EXPECT_EQ(reader.Summary().mappedLogicalBlocks, 2u);
    EXPECT_EQ(reader.Summary().inUseBlocks, 2u);
    EXPECT_EQ(reader.PhysicalBlockOfLogicalBlock(5), 20u);
    EXPECT_FALSE(reader.PhysicalBlockOfLogicalBlock(6));
    EXPECT_FALSE(reader.PhysicalBlockOfLogicalBlock(1000));

    std::array<uint8_t, kPageDataBytes> sector{};
    EXPECT_EQ(reader.ReadSector(5 * 16 + 3, sector), SectorRead::kGood);
    EXPECT_EQ(sector, SyntheticMedium::Sector(5, 20, 3));
    EXPECT_EQ(reader.ReadSector(6 * 16, sector), SectorRead::kUnmapped);
    EXPECT_TRUE(std::all_of(sector.begin(), sector.end(), [](uint8_t b) { return b == 0xFF; }));
    sector.fill(0x11);
    EXPECT_EQ(reader.ReadSector(16000, sector), SectorRead::kOutOfRange);
    EXPECT_EQ(sector[0], 0x11);
}

TEST(MediumReaderTest, LaterBlockWinsDuplicateAndOutOfZoneAddressesAreIgnored) {
    SyntheticMedium medium(k32MB);
    medium.WriteCis(0);
    medium.WriteLogicalBlock(1030, 1007);
    medium.WriteLogicalBlock(1040, 1007);
    medium.WriteLogicalBlock(5, 7);
    medium.WriteLogicalBlock(1050, 1008);
    medium.SetFirstAddressField(1050, {0x17, 0xD0});  // in-zone 1000: no logical block
    const MediumReader reader = OpenReader(medium);
    const MediumSummary& summary = reader.Summary();
    EXPECT_EQ(reader.PhysicalBlockOfLogicalBlock(1007), 1040u);
    EXPECT_EQ(reader.PhysicalBlockOfLogicalBlock(7), 5u);
    EXPECT_FALSE(reader.PhysicalBlockOfLogicalBlock(1008));
    EXPECT_FALSE(reader.PhysicalBlockOfLogicalBlock(2000));
    EXPECT_EQ(summary.duplicateBlocks, 1u);
    EXPECT_EQ(summary.outOfZoneAddressBlocks, 1u);
    EXPECT_EQ(summary.inUseBlocks, 4u);
    EXPECT_EQ(summary.mappedLogicalBlocks, 2u);
    EXPECT_EQ(reader.StateOfBlock(1030), BlockState::kInUse);

    std::array<uint8_t, kPageDataBytes> sector{};
    EXPECT_EQ(reader.ReadSector(1007 * 32 + 31, sector), SectorRead::kGood);
    EXPECT_EQ(sector, SyntheticMedium::Sector(1007, 1040, 31));
}

TEST(MediumReaderTest, ReservationAppliesOnlyWhenSystemBlocksArePresent) {
    const struct {
        const char* name;
        std::vector<BlockAddressField> markers;
        uint32_t systemBlocks;
        uint32_t diskSectors;
    } cases[] = {
        {"no system blocks", {}, 0, 16000},
        {"QV and MP", {{'Q', 'V'}, {'M', 'P'}}, 2, 16000 - 16 * 128},
        {"M/", {{'M', '/'}}, 1, 16000 - 16 * 128},
        {"MX is merely unusable", {{'M', 'X'}}, 0, 16000},
    };
    for (const auto& c : cases) {
        SyntheticMedium medium(k8MB);
        medium.WriteCis(0);
        uint32_t block = 1023;
        for (const auto& marker : c.markers) {
            medium.WriteSystemBlock(block--, marker);
        }
        const MediumReader reader = OpenReader(medium, 1024);
        EXPECT_EQ(reader.Summary().systemBlocks, c.systemBlocks) << c.name;
        EXPECT_EQ(reader.Summary().reservedBlocks, c.systemBlocks > 0 ? 128u : 0u) << c.name;
        EXPECT_EQ(reader.DiskSectors(), c.diskSectors) << c.name;
        EXPECT_EQ(reader.Summary().unusableBlocks, c.markers.size() - c.systemBlocks) << c.name;
    }
}

TEST(MediumReaderTest, SectorChecksCorrectAndReport) {
    SyntheticMedium medium(k8MB);
    medium.WriteCis(0);
    medium.WriteLogicalBlock(1, 0);
    medium.Page(1, 1)[300] ^= 0x04;      // one bit: corrected
    medium.Page(1, 2)[10] ^= 0x81;       // two bits in one half: uncorrectable
    medium.Redundant(1, 3)[5] = 0xFE;    // block status of a page not good
    medium.Redundant(1, 4)[4] = 0xF0;    // data status not valid
    medium.Redundant(1, 5)[13] ^= 0x40;  // one bit of the stored ECC: data good
    const MediumReader reader = OpenReader(medium);
    const struct {
        uint32_t page;
        SectorRead outcome;
        bool dataAsWritten;
    } cases[] = {
        {0, SectorRead::kGood, true},           {1, SectorRead::kCorrected, true},
        {2, SectorRead::kUncorrectable, false}, {3, SectorRead::kBadStatus, true},
        {4, SectorRead::kBadStatus, true},      {5, SectorRead::kGood, true},
    };
    for (const auto& c : cases) {
        std::array<uint8_t, kPageDataBytes> sector{};
        EXPECT_EQ(reader.ReadSector(c.page, sector), c.outcome) << c.page;
        EXPECT_EQ(sector == SyntheticMedium::Sector(0, 1, c.page), c.dataAsWritten) << c.page;
    }
    std::vector<uint8_t> buffer(16 * kPageDataBytes);
    const std::optional<DiskReadReport> report = reader.ReadSectors(0, 16, buffer);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->sectors, 16u);
    EXPECT_EQ(report->corrected, 1u);
    EXPECT_EQ(report->uncorrectable, 1u);
    EXPECT_EQ(report->badStatus, 2u);
    EXPECT_FALSE(report->AllReadable());
}

TEST(MediumReaderTest, ReadSectorsRejectsRangesBeyondTheDiskOrBuffer) {
    SyntheticMedium medium(k8MB);
    medium.WriteCis(0);
    const MediumReader reader = OpenReader(medium);
    std::vector<uint8_t> buffer(2 * kPageDataBytes);
    EXPECT_TRUE(reader.ReadSectors(15998, 2, buffer));
    EXPECT_FALSE(reader.ReadSectors(15999, 2, buffer));
    EXPECT_FALSE(reader.ReadSectors(UINT32_MAX, 2, buffer));
    EXPECT_FALSE(reader.ReadSectors(0, 3, buffer));
    EXPECT_EQ(reader.ReadSectors(0, 0, {})->sectors, 0u);
}

TEST(MediumReaderTest, WritesTheWholeDisk) {
    SyntheticMedium medium(k8MB);
    medium.WriteCis(0);
    medium.WriteLogicalBlock(7, 998);
    medium.WriteSystemBlock(1023, {'Q', 'V'});
    const MediumReader reader = OpenReader(medium, 8);  // one 8 KB block reserved: logical block 999 hidden
    std::ostringstream out;
    const std::optional<DiskReadReport> report = reader.WriteDisk(out);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->sectors, 16000u - 16);
    EXPECT_EQ(report->unmapped, 16000u - 32);
    EXPECT_TRUE(report->AllReadable());
    const std::string disk = out.str();
    ASSERT_EQ(disk.size(), (16000u - 16) * kPageDataBytes);
    const auto expected = SyntheticMedium::Sector(998, 7, 2);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(),
                           reinterpret_cast<const uint8_t*>(disk.data()) + (998 * 16 + 2) * kPageDataBytes));
    EXPECT_EQ(static_cast<uint8_t>(disk[0]), 0xFF);

    std::ostringstream failing;
    failing.setstate(std::ios::badbit);
    EXPECT_FALSE(reader.WriteDisk(failing));
}

TEST(MediumReaderTest, RejectsSizesOfNoGeometry) {
    std::vector<uint8_t> bytes(1024 * 16 * kPageBytes - 1, 0xFF);
    std::string error;
    EXPECT_FALSE(MediumReader::Open(bytes, 0, error));
    EXPECT_EQ(error, "a medium of 8650751 bytes matches no supported flash size");
    EXPECT_FALSE(MediumReader::Open({}, 0, error));
}

TEST(MappedFileTest, MapsAFileForTheReader) {
    SyntheticMedium medium(k8MB);
    for (uint32_t block = 0; block < 3; ++block) {
        medium.MarkBad(block);
    }
    medium.WriteCis(3);
    const std::string path = testing::TempDir() + "media_format_mapped_medium.bin";
    {
        std::ofstream file(path, std::ios::binary);
        file.write(reinterpret_cast<const char*>(medium.Bytes().data()),
                   static_cast<std::streamsize>(medium.Bytes().size()));
    }
    std::string error;
    std::optional<MappedFile> mapped = MappedFile::Open(path, MappedFile::Access::ReadOnly, error);
    ASSERT_TRUE(mapped) << error;
    MappedFile moved = std::move(*mapped);
    EXPECT_TRUE(mapped->Bytes().empty());
    std::optional<MediumReader> reader = MediumReader::Open(moved.Bytes(), 0, error);
    ASSERT_TRUE(reader) << error;
    EXPECT_EQ(reader->Summary().cisBlock, 3u);
    std::remove(path.c_str());
}

TEST(MappedFileTest, ReportsFilesThatCannotBeMapped) {
    const std::string empty = testing::TempDir() + "media_format_empty.bin";
    std::ofstream{empty};
    const struct {
        std::string path;
        std::string message;
    } cases[] = {
        {empty, empty + ": empty file"},
        {testing::TempDir(), testing::TempDir() + ": not a regular file"},
        {"/nonexistent/medium.bin", "/nonexistent/medium.bin: cannot open: No such file or directory"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(MappedFile::Open(c.path, MappedFile::Access::ReadOnly, error)) << c.path;
        EXPECT_EQ(error, c.message);
    }
    std::remove(empty.c_str());
}

}  // namespace
}  // namespace media_format
