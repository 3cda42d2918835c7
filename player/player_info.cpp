#include "player/player_info.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>
#include <vector>

#include "media_format/mapped_file.h"
#include "media_format/medium_reader.h"
#include "media_format/redundant_area.h"
#include "player/boot_check.h"
#include "player/memory_card.h"
#include "player/nand_medium.h"
#include "player/player_config.h"

namespace player {
namespace {

std::string Hex4(std::uint32_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value & 0xFFFF);
    return text;
}

// Blocks whose first page says the block is bad, system blocks aside.
std::vector<std::uint32_t> BadBlocks(std::span<const std::uint8_t> medium,
                                     const media_format::MediumReader& reader) {
    std::vector<std::uint32_t> blocks;
    const media_format::Geometry& geometry = reader.geometry();
    for (std::uint32_t block = 0; block < geometry.physicalBlocks; ++block) {
        const std::uint64_t page = std::uint64_t{block} * geometry.pagesPerBlock;
        if (!media_format::IsBlockStatusGood(medium[page * PAGE_BYTES + BLOCK_STATUS_OFFSET]) &&
            reader.StateOfBlock(block) != media_format::BlockState::kSystem) {
            blocks.push_back(block);
        }
    }
    return blocks;
}

void DescribeMedium(std::ostream& out, std::span<const std::uint8_t> medium,
                    const media_format::MediumReader& reader) {
    const media_format::Geometry& geometry = reader.geometry();
    const media_format::MediumSummary& summary = reader.Summary();
    out << "Size: " << geometry.megabytes << " MB (size index " << geometry.librarySizeIndex
        << ", flash size index " << geometry.FlashSizeIndex() << ")\n";
    out << "Geometry: " << geometry.physicalBlocks << " physical blocks of "
        << unsigned{geometry.pagesPerBlock} << " pages, 528-byte pages (512 data + 16 redundant), "
        << geometry.zones << " zone" << (geometry.zones == 1 ? "" : "s") << ", " << geometry.logicalBlocks
        << " logical blocks\n";
    const std::vector<std::uint32_t> bad = BadBlocks(medium, reader);
    // A worn-out medium can have hundreds: the first ones say enough.
    constexpr std::size_t kBadBlocksListed = 32;
    out << "Bad blocks: " << bad.size();
    for (std::size_t i = 0; i < bad.size() && i < kBadBlocksListed; ++i) {
        out << (i == 0 ? " (" : ", ") << bad[i];
    }
    if (bad.size() > kBadBlocksListed) {
        out << ", ... " << bad.size() - kBadBlocksListed << " more";
    }
    out << (bad.empty() ? "\n" : ")\n");
    out << "Card information structure: ";
    if (summary.cisBlock) {
        out << "block " << *summary.cisBlock << (summary.cisPageIntact ? "" : " (not written)") << "\n";
    } else {
        out << "none\n";
    }
    out << "Block states: " << summary.inUseBlocks << " in use, " << summary.freeBlocks << " free, "
        << summary.unusableBlocks << " unusable, " << summary.systemBlocks << " system\n";
    out << "Disk: " << summary.mappedLogicalBlocks << " logical blocks mapped, " << summary.diskSectors
        << " sectors\n";
}

std::span<const std::uint8_t, PAGE_BYTES> PageOf(std::span<const std::uint8_t> medium, std::uint64_t page) {
    return medium.subspan(page * PAGE_BYTES).first<PAGE_BYTES>();
}

media_format::RedundantArea AreaOfPage(std::span<const std::uint8_t> medium, std::uint64_t page) {
    return media_format::RedundantAreaFromBytes(
        PageOf(medium, page).subspan<media_format::kPageDataBytes, media_format::kRedundantBytes>());
}

// One system file of the reserved area as its blocks' markers tell it.
struct SystemFile {
    std::uint32_t firstBlock = 0;
    std::uint32_t blocks = 0;
    std::uint32_t emptyBlocks = 0;  // claimed for the file but holding no data (all 0xFF)
};

bool BlockDataErased(std::span<const std::uint8_t> medium, std::uint64_t firstPage, std::uint32_t pages) {
    for (std::uint32_t p = 0; p < pages; ++p) {
        const auto data = PageOf(medium, firstPage + p).first<media_format::kPageDataBytes>();
        if (std::any_of(data.begin(), data.end(), [](std::uint8_t b) { return b != 0xFF; })) {
            return false;
        }
    }
    return true;
}

std::string TagText(std::uint8_t tag) {
    char text[16];
    if (tag >= 0x20 && tag < 0x7F) {
        std::snprintf(text, sizeof text, "'%c'", tag);
    } else {
        std::snprintf(text, sizeof text, "0x%02X", tag);
    }
    return text;
}

// The reserved area is the run of system blocks at the end of the medium (bad blocks within it
// skipped). Each block carries 'M' and its file's tag on page 1; the file's first block carries
// the four version words in bytes 6..7 of pages 2 to 5.
void DescribeSystemFiles(std::ostream& out, std::span<const std::uint8_t> medium,
                         const media_format::MediumReader& reader) {
    const media_format::Geometry& geometry = reader.geometry();
    const std::uint32_t pagesPerBlock = geometry.pagesPerBlock;
    std::map<std::uint8_t, SystemFile> files;
    std::uint32_t first = geometry.physicalBlocks;
    for (std::uint32_t block = geometry.physicalBlocks; block-- > 0;) {
        const media_format::BlockState state = reader.StateOfBlock(block);
        if (state != media_format::BlockState::kSystem && state != media_format::BlockState::kUnusable) {
            break;
        }
        const std::uint64_t firstPage = std::uint64_t{block} * pagesPerBlock;
        const media_format::RedundantArea page1 = AreaOfPage(medium, firstPage + 1);
        if (state != media_format::BlockState::kSystem ||
            page1.blockAddress1[0] != media_format::kSystemMarkerFilePrefix) {
            continue;
        }
        first = block;
        SystemFile& file = files[page1.blockAddress1[1]];
        file.firstBlock = block;
        ++file.blocks;
        file.emptyBlocks += BlockDataErased(medium, firstPage, pagesPerBlock) ? 1 : 0;
    }
    if (files.empty()) {
        out << "System files: none\n";
        return;
    }
    out << "System files (reserved area from block " << first << "):\n";
    for (const auto& [tag, file] : files) {
        out << "  tag " << TagText(tag) << ": " << file.blocks << " block" << (file.blocks == 1 ? "" : "s")
            << " from block " << file.firstBlock;
        if (file.emptyBlocks != 0) {
            out << " (" << file.emptyBlocks << " empty)";
        }
        out << ", version words";
        const std::uint64_t firstPage = std::uint64_t{file.firstBlock} * pagesPerBlock;
        for (std::uint32_t word = 0; word < 4; ++word) {
            const media_format::RedundantArea area = AreaOfPage(medium, firstPage + 2 + word);
            out << (word == 0 ? " " : ".")
                << (unsigned{area.blockAddress1[0]} | unsigned{area.blockAddress1[1]} << 8);
        }
        out << "\n";
    }
}

void DescribeBoot(std::ostream& out, std::span<const std::uint8_t> medium,
                  const media_format::MediumReader& reader) {
    const BootDecision decision =
        CheckBootWindow(reader.geometry(), [medium](std::uint64_t page) { return PageOf(medium, page); });
    out << "Boot: " << BootDecisionText(decision);
    if (decision.firstBootBlock) {
        out << ", boot manager in " << decision.bootBlocks << " block"
            << (decision.bootBlocks == 1 ? "" : "s") << " from block " << *decision.firstBootBlock;
    }
    out << "\n";
}

void DescribeSettings(std::ostream& out, const PlayerConfig& config) {
    const PlayerSettings& settings = config.settings;
    const UsbIds ids = NormalModeUsbIds(settings.variant);
    out << "Player: variant " << ModelNumber(settings.variant) << ", USB " << Hex4(ids.vendorId) << ":"
        << Hex4(ids.productId) << ", release " << Hex4(settings.releaseNumber) << ", serial "
        << settings.nandSerial << ", battery " << (settings.batteryLow ? "low" : "good") << ", DCC "
        << (settings.dccRunning ? "running" : "not loaded") << "\n";
    out << "Parameters:";
    for (const DeviceParameter& parameter : settings.parameters) {
        out << " " << parameter.type << "=0x" << std::hex << std::uppercase << parameter.value << std::dec;
    }
    out << "\n";
}

}  // namespace

std::optional<std::string> DescribePlayer(const std::string& mediumPath, std::string& error) {
    auto config = LoadPlayerConfig(mediumPath, error);
    if (!config) {
        return std::nullopt;
    }
    auto mapped =
        media_format::MappedFile::Open(mediumPath, media_format::MappedFile::Access::ReadOnly, error);
    if (!mapped) {
        return std::nullopt;
    }
    auto reader = media_format::MediumReader::Open(mapped->Bytes(), 0, error);
    if (!reader) {
        return std::nullopt;
    }
    std::ostringstream out;
    out << "Medium: " << mediumPath << "\n";
    DescribeMedium(out, mapped->Bytes(), *reader);
    DescribeSystemFiles(out, mapped->Bytes(), *reader);
    DescribeBoot(out, mapped->Bytes(), *reader);
    DescribeSettings(out, *config);
    if (config->cardFile.empty()) {
        out << "Card: none\n";
    } else {
        std::string cardError;
        const std::string cardPath = CardPathOf(mediumPath, *config);
        auto card = MemoryCard::Open(cardPath, cardError);
        out << "Card: " << cardPath;
        if (card) {
            out << ", " << card->SectorCount() << " sectors (" << card->SectorCount() / 2048 << " MB)\n";
        } else {
            out << " (" << cardError << ")\n";
        }
    }
    return out.str();
}

}  // namespace player
