// A player's settings between runs: a small text file beside the medium ("MEDIUM.player"), one
// key=value per line, written by `rpxsim player new` and read whenever the player is loaded. The
// medium itself stays a plain file of pages.
#pragma once

#include <optional>
#include <string>

#include "player/memory_card.h"
#include "player/player.h"
#include "player/player_settings.h"

namespace player {

struct PlayerConfig {
    PlayerSettings settings;
    std::string cardFile;  // empty: no card; relative paths are taken from the medium's folder
    CardRegisters cardRegisters;
};

std::string SidecarPath(const std::string& mediumPath);
// Where the card file of a medium's settings lies.
std::string CardPathOf(const std::string& mediumPath, const PlayerConfig& config);

std::string FormatPlayerConfig(const PlayerConfig& config);
// Fails with a one-line message naming the line for an unknown key or a value out of range.
std::optional<PlayerConfig> ParsePlayerConfig(const std::string& text, std::string& error);

bool SavePlayerConfig(const std::string& mediumPath, const PlayerConfig& config, std::string& error);
// The defaults when the medium has no sidecar.
std::optional<PlayerConfig> LoadPlayerConfig(const std::string& mediumPath, std::string& error);

// The player of a medium file with its sidecar and card.
std::optional<Player> LoadPlayer(const std::string& mediumPath, PlayerOptions options, std::string& error);

}  // namespace player
