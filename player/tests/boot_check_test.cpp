#include "player/boot_check.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "firmware_image/sealing.h"
#include "media_format/geometry.h"
#include "player/player.h"
#include "player/tests/test_support.h"

namespace player {
namespace {

using media_format::kPageBytes;
using media_format::kPageDataBytes;

const media_format::Geometry& EightMegabytes() {
    return *media_format::GeometryOfFlashSizeIndex(0);
}

// A medium of pages in memory, factory fresh (all 0xFF).
class Medium {
  public:
    explicit Medium(const media_format::Geometry& geometry)
        : geometry_(geometry), bytes_(geometry.MediumBytes(), 0xFF) {}

    std::uint32_t PagesPerBlock() const { return geometry_.pagesPerBlock; }
    std::uint8_t* Page(std::uint64_t page) { return bytes_.data() + page * kPageBytes; }

    // A block that every reader takes as unusable: block status 0x00 and no marker.
    void MarkBad(std::uint32_t block) {
        for (std::uint32_t p = 0; p < 2; ++p) {
            std::fill_n(Page(std::uint64_t{block} * PagesPerBlock() + p) + kPageDataBytes, 16, 0x00);
        }
    }

    // Pages of a boot manager block as the library writes them: statuses 0x00, "QV" on page 0,
    // "MP" on page 1; `data` fills the pages from the first, the rest of the block stays erased.
    void WriteBootBlock(std::uint32_t block, std::span<const std::uint8_t> data, std::uint32_t pages) {
        for (std::uint32_t p = 0; p < pages; ++p) {
            std::uint8_t* page = Page(std::uint64_t{block} * PagesPerBlock() + p);
            const std::size_t offset = std::size_t{p} * kPageDataBytes;
            std::fill_n(page, kPageDataBytes, 0x00);
            if (offset < data.size()) {
                std::copy_n(data.begin() + offset,
                            std::min<std::size_t>(kPageDataBytes, data.size() - offset), page);
            }
            std::uint8_t* area = page + kPageDataBytes;
            area[4] = 0x00;
            area[5] = 0x00;
            if (p == 0) {
                area[6] = 'Q';
                area[7] = 'V';
            } else if (p == 1) {
                area[6] = 'M';
                area[7] = 'P';
            }
        }
    }

    // The image over consecutive blocks from `first`, whole blocks but the last.
    void WriteBootManager(std::uint32_t first, const std::vector<std::uint8_t>& image) {
        const std::size_t blockBytes = std::size_t{PagesPerBlock()} * kPageDataBytes;
        for (std::size_t offset = 0, block = first; offset < image.size(); offset += blockBytes, ++block) {
            const std::size_t length = std::min(blockBytes, image.size() - offset);
            const auto pages = static_cast<std::uint32_t>(std::max<std::size_t>(2, (length + 511) / 512));
            WriteBootBlock(static_cast<std::uint32_t>(block), std::span(image).subspan(offset, length),
                           pages);
        }
    }

    BootDecision Check() {
        return CheckBootWindow(geometry_, [this](std::uint64_t page) {
            return std::span<const std::uint8_t, kPageBytes>(Page(page), kPageBytes);
        });
    }

  private:
    const media_format::Geometry& geometry_;
    std::vector<std::uint8_t> bytes_;
};

// A sealed image of `words` 24-bit words of body, ending in the terminator's zero word.
std::vector<std::uint8_t> SealedImage(std::size_t words) {
    std::vector<std::uint8_t> body(words * 3);
    for (std::size_t i = 0; i < body.size(); ++i) {
        body[i] = static_cast<std::uint8_t>(i * 7 + 1);
    }
    const std::uint8_t terminator[] = {0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00};
    body.insert(body.end(), std::begin(terminator), std::end(terminator));
    firmware_image::SealedBytes sealed = firmware_image::Seal(body);
    EXPECT_EQ(sealed.status, firmware_image::ImageStatus::OK);
    return sealed.bytes;
}

struct WindowCase {
    const char* name;
    std::function<void(Medium&)> prepare;
    BootDecision expected;
};

class BootWindowTest : public ::testing::TestWithParam<WindowCase> {};

TEST_P(BootWindowTest, DecidesByTheBootManagerInTheWindow) {
    Medium medium(EightMegabytes());
    GetParam().prepare(medium);
    EXPECT_EQ(medium.Check(), GetParam().expected);
}

// 8 MB medium: 16 pages (8 KB) to a block.
const std::vector<std::uint8_t> kOneBlockImage = SealedImage(1000);
const std::vector<std::uint8_t> kTwoBlockImage = SealedImage(4000);

INSTANTIATE_TEST_SUITE_P(
    Cases, BootWindowTest,
    ::testing::Values(
        WindowCase{"SealedImageAfterTheCisBlock",
                   [](Medium& m) { m.WriteBootManager(1, kOneBlockImage); },
                   {BootMode::NORMAL, BootReason::BOOT_MANAGER_VALID, 1, 1}},
        WindowCase{"ImageOverTwoBlocks",
                   [](Medium& m) { m.WriteBootManager(1, kTwoBlockImage); },
                   {BootMode::NORMAL, BootReason::BOOT_MANAGER_VALID, 1, 2}},
        WindowCase{"BadBlocksBeforeAndInTheWindowAreSkipped",
                   [](Medium& m) {
                       m.MarkBad(0);
                       m.MarkBad(2);
                       m.WriteBootManager(3, kOneBlockImage);
                   },
                   {BootMode::NORMAL, BootReason::BOOT_MANAGER_VALID, 3, 1}},
        WindowCase{"EmptyClaimedWindowBlocksAfterTheImage",
                   [](Medium& m) {
                       m.WriteBootManager(1, kOneBlockImage);
                       const std::vector<std::uint8_t> erased(16 * 512, 0xFF);
                       m.WriteBootBlock(2, erased, 16);
                       m.WriteBootBlock(3, erased, 16);
                   },
                   {BootMode::NORMAL, BootReason::BOOT_MANAGER_VALID, 1, 3}},
        WindowCase{"OneChangedByte",
                   [](Medium& m) {
                       m.WriteBootManager(1, kOneBlockImage);
                       m.Page(16 + 3)[100] ^= 0x10;
                   },
                   {BootMode::RECOVERY, BootReason::BOOT_MANAGER_DAMAGED, 1, 1}},
        WindowCase{"ImageCutShort",
                   [](Medium& m) {
                       std::vector<std::uint8_t> image = kTwoBlockImage;
                       image.resize(16 * 512);
                       m.WriteBootManager(1, image);
                   },
                   {BootMode::RECOVERY, BootReason::BOOT_MANAGER_DAMAGED, 1, 1}},
        WindowCase{"FreshMedium", [](Medium&) {}, {BootMode::RECOVERY, BootReason::NO_BOOT_MANAGER, {}, 0}},
        WindowCase{"ClaimedButNeverWritten",
                   [](Medium& m) {
                       const std::vector<std::uint8_t> erased(16 * 512, 0xFF);
                       m.WriteBootBlock(1, erased, 16);
                   },
                   {BootMode::RECOVERY, BootReason::NO_BOOT_MANAGER, 1, 1}},
        WindowCase{"BootManagerBeyondTheWindow",
                   [](Medium& m) { m.WriteBootManager(4, kOneBlockImage); },
                   {BootMode::RECOVERY, BootReason::NO_BOOT_MANAGER, {}, 0}},
        WindowCase{"NoGoodBlock",
                   [](Medium& m) {
                       for (std::uint32_t block = 0; block < 1024; ++block) {
                           m.MarkBad(block);
                       }
                   },
                   {BootMode::RECOVERY, BootReason::NO_CIS_BLOCK, {}, 0}}),
    [](const ::testing::TestParamInfo<WindowCase>& caseInfo) { return std::string(caseInfo.param.name); });

TEST(BootDecisionText, SaysModeAndReason) {
    EXPECT_STREQ(BootDecisionText({BootMode::NORMAL, BootReason::BOOT_MANAGER_VALID, 1, 1}),
                 "normal (boot manager valid)");
    EXPECT_STREQ(BootDecisionText({BootMode::RECOVERY, BootReason::BOOT_MANAGER_DAMAGED, 1, 1}),
                 "recovery (boot manager damaged)");
}

TEST(PlayerBoot, ChecksTheMediumAtEveryPowerOn) {
    testing::TempFolder folder;
    Player player = testing::MakePlayer(folder, 16);
    EXPECT_EQ(player.BootedInto().reason, BootReason::NO_BOOT_MANAGER);

    // The boot manager written into block 1 through the hardware, as the host's writes land.
    Medium staged(player.Hardware().Medium()->Geometry());
    staged.WriteBootManager(1, kOneBlockImage);
    for (std::uint64_t page = 32; page < 64; ++page) {
        player.Hardware().ProgramPage(page, std::span<const std::uint8_t>(staged.Page(page), kPageBytes));
    }
    EXPECT_EQ(player.BootedInto().reason, BootReason::NO_BOOT_MANAGER);  // until the next power on

    player.PowerOn();
    EXPECT_EQ(player.BootedInto(), (BootDecision{BootMode::NORMAL, BootReason::BOOT_MANAGER_VALID, 1, 1}));

    player.PowerOn(PlayButton::HELD);
    EXPECT_EQ(player.BootedInto().mode, BootMode::RECOVERY);
    EXPECT_EQ(player.BootedInto().reason, BootReason::PLAY_HELD);
}

TEST(PlayerBoot, WithoutMediumStartsInRecovery) {
    Player player(PlayerSettings{}, PlayerOptions{}, std::nullopt);
    EXPECT_EQ(player.BootedInto(), (BootDecision{BootMode::RECOVERY, BootReason::NO_MEDIUM, {}, 0}));
}

}  // namespace
}  // namespace player
