// The simulated player as a USB function sees it: its hardware, its identity, and the firmware
// personality that currently answers the bulk pipes. Pure and synchronous: every call returns the
// simulated time it took, and the transport waits that long in the machine's clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "player/boot_check.h"
#include "player/firmware.h"
#include "player/hardware.h"
#include "player/identity.h"
#include "player/memory_card.h"
#include "player/nand_medium.h"
#include "player/player_settings.h"
#include "player/timing.h"

namespace player {

struct BulkOutResult {
    bool accepted = false;  // false: the player is off and the transfer is not acknowledged
    ElapsedTime time;
};

struct BulkInResult {
    bool answered = false;  // false: nothing comes and the host's read times out
    std::vector<std::uint8_t> data;
    ElapsedTime time;
};

class Player {
  public:
    // A player with the command processor of normal mode running.
    Player(PlayerSettings settings, PlayerOptions options, std::optional<NandMedium> medium,
           std::optional<MemoryCard> card = std::nullopt);

    BulkOutResult HandleBulkOut(std::span<const std::uint8_t> bytes);
    BulkInResult HandleBulkIn(std::size_t maxLength);
    void HandleReset();

    // Power on after a power cut (or a fresh start): the firmware starts over, the media count as
    // changed, and the boot ROM checks the boot manager again.
    void PowerOn(PlayButton play = PlayButton::RELEASED);
    bool PoweredOn() const { return hardware_->PoweredOn(); }
    // What the boot ROM decided at the last power on (the player is powered on when it is made).
    // The command processor answers either way: the decision is recorded, not acted on.
    const BootDecision& BootedInto() const { return bootDecision_; }

    // Replaces the personality that answers the bulk pipes (recovery ROM, mass storage, ...).
    void SetFirmware(std::unique_ptr<Firmware> firmware);

    UsbIds NormalModeIds() const { return NormalModeUsbIds(hardware_->Settings().variant); }
    std::uint16_t ReleaseNumber() const { return hardware_->Settings().releaseNumber; }
    std::uint8_t InterfaceSubclass() const;

    PlayerHardware& Hardware() { return *hardware_; }
    const PlayerHardware& Hardware() const { return *hardware_; }
    const ProtocolErrorLog& ProtocolErrors() const { return hardware_->ProtocolErrors(); }

  private:
    // The firmware keeps a reference to the hardware, so the hardware stays put when a player moves.
    std::unique_ptr<PlayerHardware> hardware_;
    std::unique_ptr<Firmware> firmware_;
    BootDecision bootDecision_;
};

}  // namespace player
