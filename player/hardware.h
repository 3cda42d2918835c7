// The player's hardware as the firmware sees it: the NAND medium, the card slot, the battery, the
// fault plan and the timing of every medium operation. Each operation returns its device time.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "player/faults.h"
#include "player/memory_card.h"
#include "player/nand_medium.h"
#include "player/player_settings.h"
#include "player/protocol_errors.h"
#include "player/timing.h"

namespace player {

class PlayerHardware {
  public:
    PlayerHardware(PlayerSettings settings, PlayerOptions options, std::optional<NandMedium> medium);

    PlayerSettings& Settings() { return settings_; }
    const PlayerSettings& Settings() const { return settings_; }
    const PlayerOptions& Options() const { return options_; }
    FaultInjector& Faults() { return faults_; }

    bool PoweredOn() const { return poweredOn_; }
    // Power on: the medium and the card count as changed until the firmware reports them.
    void PowerOn();

    // NAND medium.
    const std::optional<NandMedium>& Medium() const { return medium_; }
    void SwapMedium(std::optional<NandMedium> medium);
    // The medium-changed flag: read-and-clear, as NAND_READ_ID reports it once.
    bool TakeMediumChanged();
    // Reads a page into `out` with the read faults applied.
    nanoseconds ReadPage(std::uint64_t page, std::span<std::uint8_t, PAGE_BYTES> out);
    // Reads only the redundant area of a page.
    nanoseconds ReadRedundantArea(std::uint64_t page,
                                  std::span<std::uint8_t, media_format::kRedundantBytes> out);
    // Programs a page; a failed program leaves part of the page programmed and is remembered until
    // TakeProgramFailures().
    nanoseconds ProgramPage(std::uint64_t page, std::span<const std::uint8_t> data);
    // Erases a block; `failed` tells whether the erase failed.
    nanoseconds EraseBlock(std::uint32_t block, bool& failed);
    // Number of programs that failed since the last call.
    std::uint32_t TakeProgramFailures();

    // Card slot.
    MemoryCard* Card() { return card_ ? &*card_ : nullptr; }
    void InsertCard(MemoryCard card);
    void RemoveCard();
    bool TakeCardChanged();
    nanoseconds ReadCardSector(std::uint32_t sector, std::span<std::uint8_t, CARD_SECTOR_BYTES> out);
    nanoseconds WriteCardSector(std::uint32_t sector, std::span<const std::uint8_t, CARD_SECTOR_BYTES> data);
    nanoseconds EraseCardSectors(std::uint32_t first, std::uint32_t last);

    // Protocol errors seen so far.
    const ProtocolErrorLog& ProtocolErrors() const { return protocolErrors_; }
    void RecordProtocolError(ProtocolErrorKind kind, std::string detail);
    void ClearProtocolErrors() { protocolErrors_.clear(); }

  private:
    // Counts a medium operation; true when a power cut tears it (the player is then off).
    bool PowerCutTears();

    PlayerSettings settings_;
    PlayerOptions options_;
    FaultInjector faults_;
    std::optional<NandMedium> medium_;
    std::optional<MemoryCard> card_;
    bool poweredOn_ = true;
    bool mediumChanged_ = true;
    bool cardChanged_ = true;
    std::uint32_t programFailures_ = 0;
    ProtocolErrorLog protocolErrors_;
};

}  // namespace player
