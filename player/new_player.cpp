#include "player/new_player.h"

#include <filesystem>

#include "player/memory_card.h"
#include "player/nand_medium.h"
#include "player/player_config.h"

namespace player {
namespace {

const media_format::Geometry* GeometryOfMegabytes(std::uint32_t megabytes) {
    for (const media_format::Geometry& geometry : media_format::LibraryGeometries()) {
        if (geometry.HasFlashSizeIndex() && geometry.megabytes == megabytes) {
            return &geometry;
        }
    }
    return nullptr;
}

// Opens or creates the card file and checks its size against the request.
bool PrepareCard(const NewPlayerRequest& request, std::string& error) {
    if (std::filesystem::exists(request.cardPath)) {
        auto card = MemoryCard::Open(request.cardPath, error);
        if (!card) {
            return false;
        }
        if (request.cardSectors && *request.cardSectors != card->SectorCount()) {
            error = request.cardPath + " has " + std::to_string(card->SectorCount()) + " sectors, not " +
                    std::to_string(*request.cardSectors);
            return false;
        }
        return true;
    }
    if (!request.cardSectors || *request.cardSectors == 0) {
        error = "the card file " + request.cardPath + " does not exist; give its size in sectors";
        return false;
    }
    return MemoryCard::Create(request.cardPath, *request.cardSectors, error).has_value();
}

}  // namespace

bool CreateNewPlayer(const NewPlayerRequest& request, std::string& error) {
    const media_format::Geometry* geometry = GeometryOfMegabytes(request.megabytes);
    if (geometry == nullptr) {
        error = "no medium of " + std::to_string(request.megabytes) +
                " MB: the sizes are 8 and 16 to 512 in steps of 16";
        return false;
    }
    if (!request.cardPath.empty() && !PrepareCard(request, error)) {
        return false;
    }
    if (!NandMedium::Create(request.mediumPath, *geometry, request.badBlocks, error)) {
        return false;
    }
    PlayerConfig config;
    config.settings.variant = request.variant;
    if (!request.cardPath.empty()) {
        // Kept as an absolute path, so the settings hold wherever rpxsim runs from.
        config.cardFile = std::filesystem::absolute(request.cardPath).string();
    }
    return SavePlayerConfig(request.mediumPath, config, error);
}

}  // namespace player
