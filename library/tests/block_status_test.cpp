// The block status scan against a player's medium: the card information structure block, blocks
// destroyed before it, system blocks by their markers, the reserved area, the codes of tags, and
// the data-area erase.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "library/block_status.h"
#include "library/media_state.h"
#include "library/progress.h"
#include "library/tests/format_fixture.h"
#include "media_format/redundant_area.h"

namespace {

using vxmp3_test::FormatPlayer;
using vxmp3_test::FormatScenario;
using vxmp3_test::Prepared;
using vxmp3_test::Sized;
using vxmp3_test::WithFaults;
using namespace vxmp3;

constexpr std::size_t kRedundantOffset = media_format::kPageDataBytes;

// Programs page 0 of `block` with the given redundant bytes 4..7 (statuses and address field).
auto RedundantBytes(std::uint32_t block, std::array<std::uint8_t, 4> bytes) {
    return [=](player::NandMedium& medium) {
        std::array<std::uint8_t, media_format::kPageBytes> page;
        page.fill(0xFF);
        std::copy(bytes.begin(), bytes.end(), page.begin() + kRedundantOffset + 4);
        medium.ProgramPage(std::uint64_t{block} * medium.PagesPerBlock(), page);
    };
}

bool AllBytesAre(std::span<const std::uint8_t> bytes, std::uint8_t value) {
    return std::all_of(bytes.begin(), bytes.end(), [value](std::uint8_t byte) { return byte == value; });
}

const SlotMediaState& Slot() {
    return *MediaStateOfSlot(0);
}

TEST(BlockCodes, TagsAndCodesMapBothWays) {
    EXPECT_EQ(BlockCodeOfTag('P'), BLOCK_SYSTEM);
    EXPECT_EQ(BlockCodeOfTag(0x00), 0x04);
    EXPECT_EQ(BlockCodeOfTag(0x03), 0x07);
    EXPECT_EQ(BlockCodeOfTag(0xFC), 0x00);  // eight-bit arithmetic
    EXPECT_EQ(TagOfBlockCode(BLOCK_SYSTEM), 'P');
    EXPECT_EQ(TagOfBlockCode(0x06), 0x02);
}

class BlockStatusScan : public FormatScenario {};

TEST_F(BlockStatusScan, AGoodBlockZeroIsTheCisBlockAndNothingIsDestroyed) {
    Boot(Sized(16));
    Open();
    VxMp3SetPhase(1, 0.0, nullptr);
    ASSERT_EQ(Scan(), PROGRAM_MEDIA_OK);
    EXPECT_EQ(Slot().cisBlock, 0u);
    EXPECT_EQ(Slot().blockStatus[0], BLOCK_CIS);
    EXPECT_EQ(Slot().blockStatus[1], BLOCK_FREE);
    EXPECT_TRUE(AllBytesAre(Medium(), 0xFF));
    // Announced as phase 2 because phase 1 was current, and complete.
    double progress = 0;
    win::ULONG phase = 0;
    VxMp3GetProgress(&progress, &phase);
    EXPECT_EQ(phase, 2u);
    EXPECT_DOUBLE_EQ(progress, 100.0);
}

TEST_F(BlockStatusScan, BadBlocksBeforeTheCisBlockAreErasedAndZeroFilled) {
    Boot(Sized(16, {0, 1}));
    Open();
    ASSERT_EQ(Scan(), PROGRAM_MEDIA_OK);
    EXPECT_EQ(Slot().cisBlock, 2u);
    for (std::uint32_t block : {0u, 1u}) {
        EXPECT_EQ(Slot().blockStatus[block], BLOCK_BAD);
        for (std::uint32_t page = 0; page < 32; ++page) {
            EXPECT_TRUE(AllBytesAre(PageOf(block, page), 0x00)) << "block " << block << " page " << page;
        }
    }
    EXPECT_TRUE(AllBytesAre(PageOf(2, 0), 0xFF));
}

struct MarkerCase {
    const char* name;
    std::array<std::uint8_t, 4> redundant;  // data status, block status, address bytes
    bool tagInSet;
    UCHAR expected;
};

class BlockMarkers : public FormatScenario, public ::testing::WithParamInterface<MarkerCase> {};

TEST_P(BlockMarkers, TheCodeFollowsTheStatusAndTheMarker) {
    const MarkerCase& c = GetParam();
    Boot(Prepared(Sized(16), RedundantBytes(5, c.redundant)));
    if (c.tagInSet) {
        vxmp3_test::UseFileTags(files_, {'P', 0x00, 0x01, 0x02});
    } else {
        vxmp3_test::UseFileTags(files_, {'P', 0x00, 0x01});
    }
    Open();
    ASSERT_EQ(Scan(), PROGRAM_MEDIA_OK);
    EXPECT_EQ(Slot().blockStatus[5], c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BlockMarkers,
    ::testing::Values(MarkerCase{"FileTagInTheSet", {0x00, 0x00, 'M', 0x02}, true, BLOCK_SYSTEM},
                      MarkerCase{"FileTagNotInTheSet", {0x00, 0x00, 'M', 0x02}, false, BLOCK_BAD},
                      MarkerCase{"QvWithAnySet", {0x00, 0x00, 'Q', 'V'}, false, BLOCK_SYSTEM},
                      MarkerCase{"OneClearedBitIsBad", {0xFF, 0xF7, 0xFF, 0xFF}, false, BLOCK_BAD},
                      MarkerCase{"MarkerWithoutClearedStatusIsBad", {0x00, 0x01, 'Q', 'V'}, true, BLOCK_BAD},
                      MarkerCase{"InUseDataIsFree", {0xFF, 0xFF, 0x10, 0x02}, false, BLOCK_FREE}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

struct ReserveCase {
    win::ULONG kiloBytes;
    win::ULONG blocks;
};

class ReservedBlocks : public FormatScenario, public ::testing::WithParamInterface<ReserveCase> {};

TEST_P(ReservedBlocks, KiloBytesRoundUpToWholeBlocks) {
    Boot(Sized(16), GetParam().kiloBytes);
    EXPECT_EQ(ReservedBlockCount(512, 32), GetParam().blocks);
}

INSTANTIATE_TEST_SUITE_P(Cases, ReservedBlocks,
                         ::testing::Values(ReserveCase{1024, 64}, ReserveCase{1000, 63}, ReserveCase{0, 0},
                                           ReserveCase{16, 1}));

TEST_F(BlockStatusScan, AMissingReserveValueReservesNothing) {
    Boot(Sized(16), std::nullopt);
    EXPECT_EQ(ReservedBlockCount(512, 32), 0u);
}

TEST_F(BlockStatusScan, TheReservedAreaSkipsBadBlocksAtTheEnd) {
    Boot(Sized(512, {32766, 32767}));
    Open();
    ASSERT_EQ(Scan(), PROGRAM_MEDIA_OK);
    EXPECT_EQ(Slot().firstReservedBlock, 32702u);
    EXPECT_EQ(Slot().reservedBlocksOnMedia, 0u);
    EXPECT_FALSE(ReservedAreaMatches(0));
}

// A medium whose last three blocks carry system markers, as a programmed system area leaves them.
auto SystemBlocksAtTheEnd(std::uint32_t blocks, std::uint32_t count) {
    return [=](player::NandMedium& medium) {
        for (std::uint32_t block = blocks - count; block < blocks; ++block) {
            RedundantBytes(block, {0x00, 0x00, 'Q', 'V'})(medium);
        }
    };
}

TEST_F(BlockStatusScan, SystemBlocksAtTheEndAreCountedAndMatchTheConfiguredReserve) {
    Boot(Prepared(Sized(16), SystemBlocksAtTheEnd(1024, 3)), 48);
    Open();
    ASSERT_EQ(Scan(), PROGRAM_MEDIA_OK);
    EXPECT_EQ(Slot().reservedBlocksOnMedia, 3u);
    EXPECT_EQ(Slot().firstReservedBlock, 1021u);
    EXPECT_TRUE(ReservedAreaMatches(0));
}

TEST_F(BlockStatusScan, AScanWithoutAMediumSucceedsAndBuildsNothing) {
    Boot(Sized(16));
    Open();
    sizes_[0] = 36;
    EXPECT_EQ(Scan(), PROGRAM_MEDIA_OK);
    EXPECT_TRUE(Slot().blockStatus.empty());
    EXPECT_EQ(QuickFormat(), PROGRAM_MEDIA_BAD_MEDIA);
    EXPECT_EQ(VxMp3FatEraseDataArea(sizes_, 0, nullptr), PROGRAM_MEDIA_BAD_MEDIA);
    EXPECT_TRUE(AllBytesAre(Medium(), 0xFF));
}

TEST_F(BlockStatusScan, AFailedStatusReadFailsTheScan) {
    player::PlayerOptions options;
    options.faults.unansweredPackets = {4};
    Boot(WithFaults(Sized(16), options.faults));
    Open();
    std::uint64_t start = NowMs();
    EXPECT_EQ(Scan(), PROGRAM_MEDIA_NO_DEVICE);
    EXPECT_LT(NowMs() - start, 3000u);
}

TEST_F(BlockStatusScan, FreeMemoryDeviceReleasesTheTableAndCardSlotsNeedNoPreparation) {
    Boot(Sized(16));
    Open();
    ASSERT_EQ(Scan(), PROGRAM_MEDIA_OK);
    EXPECT_EQ(VxMp3FreeMemoryDevice(0), 1);
    EXPECT_TRUE(Slot().blockStatus.empty());
    EXPECT_TRUE(Slot().blockBuffer.empty());
    EXPECT_EQ(VxMp3FreeMemoryDevice(7), 1);
    EXPECT_EQ(VxMp3FatPrepareSupported(0), 1);
    EXPECT_EQ(VxMp3BuildBlockStatus(sizes_, 7, 0, nullptr, nullptr), PROGRAM_MEDIA_NO_DEVICE);
}

class DataAreaErase : public FormatScenario {};

TEST_F(DataAreaErase, AnEightMegabyteMediumOnlySetsTheProgress) {
    Boot(Prepared(Sized(8), RedundantBytes(600, {0xFF, 0xFF, 0x10, 0x02})));
    Open();
    ASSERT_EQ(Scan(), PROGRAM_MEDIA_OK);
    VxMp3SetProgress(-100.0);
    EXPECT_EQ(VxMp3FatEraseDataArea(sizes_, 0, nullptr), PROGRAM_MEDIA_OK);
    double progress = 0;
    win::ULONG phase = 0;
    VxMp3GetProgress(&progress, &phase);
    EXPECT_EQ(phase, 8u);
    EXPECT_DOUBLE_EQ(progress, 100.0);
    EXPECT_EQ(PageOf(600, 0)[kRedundantOffset + 6], 0x10);
}

TEST_F(DataAreaErase, FreeBlocksBeyondTheFirstZoneAreErasedAndFailuresRetired) {
    player::PlayerOptions options;
    options.faults.eraseFailures = {2000};
    Boot(Prepared(WithFaults(Sized(64), options.faults), [](player::NandMedium& medium) {
        RedundantBytes(1500, {0xFF, 0xFF, 0x10, 0x02})(medium);
        RedundantBytes(500, {0xFF, 0xFF, 0x10, 0x04})(medium);
        RedundantBytes(3000, {0x00, 0x00, 'Q', 'V'})(medium);
    }));
    Open();
    ASSERT_EQ(Scan(), PROGRAM_MEDIA_OK);
    EXPECT_EQ(VxMp3FatEraseDataArea(sizes_, 0, nullptr), PROGRAM_MEDIA_OK);
    EXPECT_TRUE(AllBytesAre(PageOf(1500, 0), 0xFF));
    EXPECT_EQ(PageOf(500, 0)[kRedundantOffset + 6], 0x10);  // the first zone is the quick format's
    EXPECT_EQ(PageOf(3000, 0)[kRedundantOffset + 6], 'Q');  // system blocks stay
    EXPECT_EQ(Slot().blockStatus[2000], BLOCK_BAD);
    EXPECT_TRUE(machine_->Trace().Contains("Bad Block: erase failed \n"));
}

}  // namespace
