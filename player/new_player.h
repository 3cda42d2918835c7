// A factory-fresh player on disk: its medium file, the settings file beside it, and a card file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "player/identity.h"

namespace player {

struct NewPlayerRequest {
    std::string mediumPath;
    std::uint32_t megabytes = 64;  // 8, or 16 to 512 in steps of 16
    ChipVariant variant = ChipVariant::VARIANT_8210;
    std::vector<std::uint32_t> badBlocks;  // factory bad blocks
    std::string cardPath;                  // empty: no card
    // Sectors of the card; required when the card file does not exist yet (it is then created
    // zeroed), and checked against an existing one.
    std::optional<std::uint32_t> cardSectors;
};

// Writes the medium and its settings file, and creates the card file when it is absent. Fails with a
// one-line message (unknown size, bad block outside the medium, file errors).
bool CreateNewPlayer(const NewPlayerRequest& request, std::string& error);

}  // namespace player
