#include "player/player_info.h"

#include <cstdio>
#include <sstream>
#include <vector>

#include "media_format/mapped_medium.h"
#include "media_format/medium_reader.h"
#include "media_format/redundant_area.h"
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
    out << "Bad blocks: " << bad.size();
    for (std::size_t i = 0; i < bad.size(); ++i) {
        out << (i == 0 ? " (" : ", ") << bad[i];
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
    auto mapped = media_format::MappedMedium::Open(mediumPath, error);
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
