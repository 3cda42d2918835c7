// The boot ROM's check at power on: it looks for the boot manager in the boot window, the blocks
// just after the card information structure block, and starts the player normally only when it
// finds a sealed image there whose seal holds. A player without one, or with PLAY held, starts in
// recovery mode so that the host can load firmware into it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "media_format/geometry.h"

namespace player {

enum class BootMode : std::uint8_t {
    NORMAL,
    RECOVERY,
};

enum class BootReason : std::uint8_t {
    BOOT_MANAGER_VALID,   // normal: the boot window holds a sealed boot manager
    PLAY_HELD,            // recovery: the user asked for it
    NO_MEDIUM,            // recovery: the player has no NAND medium
    NO_CIS_BLOCK,         // recovery: no good block, so no boot window either
    NO_BOOT_MANAGER,      // recovery: the boot window holds no boot manager blocks, or only empty ones
    BOOT_MANAGER_DAMAGED  // recovery: the boot manager's seal does not hold
};

enum class PlayButton : std::uint8_t {
    RELEASED,
    HELD,
};

struct BootDecision {
    BootMode mode = BootMode::RECOVERY;
    BootReason reason = BootReason::NO_MEDIUM;
    // The boot window blocks that carry the boot manager's markers, when there are any.
    std::optional<std::uint32_t> firstBootBlock;
    std::uint32_t bootBlocks = 0;

    friend bool operator==(const BootDecision&, const BootDecision&) = default;
};

// The blocks the boot ROM examines after the card information structure block, bad ones not
// counted: the writer's boot window.
inline constexpr std::uint32_t BOOT_WINDOW_BLOCKS = 3;

// One 528-byte page of the medium by physical page number (below the geometry's page count).
using PageSource = std::function<std::span<const std::uint8_t, media_format::kPageBytes>(std::uint64_t)>;

// The decision for a medium of this geometry whose pages `page` gives.
BootDecision CheckBootWindow(const media_format::Geometry& geometry, const PageSource& page);

// The decision at power on: recovery when PLAY is held or there is no medium, else the boot
// window's.
BootDecision DecideBoot(const media_format::Geometry* geometry, const PageSource& page, PlayButton play);

// "normal (boot manager valid)", "recovery (PLAY held)", ...
const char* BootDecisionText(const BootDecision& decision);

}  // namespace player
