#include "player/boot_check.h"

#include <algorithm>
#include <vector>

#include "firmware_image/sealing.h"
#include "media_format/redundant_area.h"

namespace player {
namespace {

using media_format::kPageDataBytes;
using media_format::RedundantArea;

// The boot manager's blocks carry 'M' and its tag 'P' on page 1.
constexpr media_format::BlockAddressField kBootManagerMarker{media_format::kSystemMarkerFilePrefix, 'P'};

RedundantArea AreaOf(std::span<const std::uint8_t, media_format::kPageBytes> page) {
    return media_format::RedundantAreaFromBytes(
        page.subspan<kPageDataBytes, media_format::kRedundantBytes>());
}

bool IsSystemPage(const RedundantArea& area, const media_format::BlockAddressField& marker) {
    return area.blockStatus == media_format::kStatusCleared && area.blockAddress1 == marker;
}

enum class WindowBlock : std::uint8_t {
    BAD,           // not counted: the writer skips it too
    BOOT_MANAGER,  // "QV" on page 0, "MP" on page 1
    OTHER,         // the boot manager ends before it
};

WindowBlock KindOfBlock(std::uint64_t firstPage, const PageSource& page) {
    const RedundantArea first = AreaOf(page(firstPage));
    if (IsSystemPage(first, media_format::kSystemMarkerQV)) {
        return IsSystemPage(AreaOf(page(firstPage + 1)), kBootManagerMarker) ? WindowBlock::BOOT_MANAGER
                                                                             : WindowBlock::OTHER;
    }
    return media_format::IsBlockStatusGood(first.blockStatus) ? WindowBlock::OTHER : WindowBlock::BAD;
}

// The image of the boot manager blocks: their page data in order, without the erased or claimed
// pages after the image (all 0xFF; a sealed image ends in a zero word), cut to whole 24-bit words.
// The zeros that pad the image to its last page are whole zero words of the seal, which holds
// over them as it holds over the image.
std::vector<std::uint8_t> BootImage(const std::vector<std::uint64_t>& blockPages, std::uint32_t pagesPerBlock,
                                    const PageSource& page) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(blockPages.size() * pagesPerBlock * kPageDataBytes);
    for (std::uint64_t first : blockPages) {
        for (std::uint32_t p = 0; p < pagesPerBlock; ++p) {
            const auto data = page(first + p).first<kPageDataBytes>();
            bytes.insert(bytes.end(), data.begin(), data.end());
        }
    }
    const auto lastWritten =
        std::find_if(bytes.rbegin(), bytes.rend(), [](std::uint8_t b) { return b != 0xFF; });
    bytes.resize(static_cast<std::size_t>(bytes.rend() - lastWritten));
    bytes.resize(bytes.size() - bytes.size() % 3);
    return bytes;
}

}  // namespace

BootDecision CheckBootWindow(const media_format::Geometry& geometry, const PageSource& page) {
    BootDecision decision;
    const std::uint32_t pagesPerBlock = geometry.pagesPerBlock;
    std::optional<std::uint32_t> cisBlock;
    for (std::uint32_t block = 0; block < geometry.physicalBlocks && !cisBlock; ++block) {
        const RedundantArea area = AreaOf(page(std::uint64_t{block} * pagesPerBlock));
        if (media_format::IsBlockStatusGood(area.blockStatus) &&
            media_format::IsDataStatusValid(area.dataStatus)) {
            cisBlock = block;
        }
    }
    if (!cisBlock) {
        decision.reason = BootReason::NO_CIS_BLOCK;
        return decision;
    }
    std::vector<std::uint64_t> bootBlockPages;
    std::uint32_t examined = 0;
    for (std::uint32_t block = *cisBlock + 1;
         block < geometry.physicalBlocks && examined < BOOT_WINDOW_BLOCKS; ++block) {
        const std::uint64_t firstPage = std::uint64_t{block} * pagesPerBlock;
        const WindowBlock kind = KindOfBlock(firstPage, page);
        if (kind == WindowBlock::BAD) {
            continue;
        }
        ++examined;
        if (kind == WindowBlock::OTHER) {
            break;
        }
        if (!decision.firstBootBlock) {
            decision.firstBootBlock = block;
        }
        ++decision.bootBlocks;
        bootBlockPages.push_back(firstPage);
    }
    const std::vector<std::uint8_t> image = BootImage(bootBlockPages, pagesPerBlock, page);
    if (image.empty()) {
        decision.reason = BootReason::NO_BOOT_MANAGER;
        return decision;
    }
    const firmware_image::SealedBytes body = firmware_image::VerifySeal(image);
    if (body.status != firmware_image::ImageStatus::OK) {
        decision.reason = BootReason::BOOT_MANAGER_DAMAGED;
        return decision;
    }
    decision.mode = BootMode::NORMAL;
    decision.reason = BootReason::BOOT_MANAGER_VALID;
    return decision;
}

BootDecision DecideBoot(const media_format::Geometry* geometry, const PageSource& page, PlayButton play) {
    if (play == PlayButton::HELD) {
        return {BootMode::RECOVERY, BootReason::PLAY_HELD, std::nullopt, 0};
    }
    if (geometry == nullptr) {
        return {BootMode::RECOVERY, BootReason::NO_MEDIUM, std::nullopt, 0};
    }
    return CheckBootWindow(*geometry, page);
}

const char* BootDecisionText(const BootDecision& decision) {
    switch (decision.reason) {
        case BootReason::BOOT_MANAGER_VALID:
            return "normal (boot manager valid)";
        case BootReason::PLAY_HELD:
            return "recovery (PLAY held)";
        case BootReason::NO_MEDIUM:
            return "recovery (no medium)";
        case BootReason::NO_CIS_BLOCK:
            return "recovery (no card information structure block)";
        case BootReason::NO_BOOT_MANAGER:
            return "recovery (no boot manager in the boot window)";
        case BootReason::BOOT_MANAGER_DAMAGED:
            return "recovery (boot manager damaged)";
    }
    return "?";
}

}  // namespace player
