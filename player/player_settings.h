// What a player is configured with: the settings that persist with its medium, and the options of
// one simulation run (strictness, faults, timing, the random seed).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "player/faults.h"
#include "player/identity.h"
#include "player/timing.h"

namespace player {

// One entry of the firmware's parameter list.
struct DeviceParameter {
    std::uint32_t type;
    std::uint32_t value;
    bool operator==(const DeviceParameter&) const = default;
};

inline constexpr std::uint32_t PARAMETER_CAPABILITIES = 0;
inline constexpr std::uint32_t PARAMETER_DCC_VERSION = 1;
inline constexpr std::uint32_t PARAMETER_RESERVED = 2;
// Entries that fit into the 64-byte reply after its count word.
inline constexpr std::size_t MAX_DEVICE_PARAMETERS = 10;

// A capability value above this enables CMD_GET_CHIP_ID; a DCC version above it makes NAND packets
// carry their direction flags.
inline constexpr std::uint32_t FIRST_FIRMWARE_VERSION = 256;

struct PlayerSettings {
    ChipVariant variant = ChipVariant::VARIANT_8210;
    std::uint16_t releaseNumber = 0x0100;
    // The DCC is loaded and running (interface subclass 1).
    bool dccRunning = false;
    std::string nandSerial = "RPX7300-0000001";
    std::vector<DeviceParameter> parameters{
        {PARAMETER_CAPABILITIES, 0x102}, {PARAMETER_DCC_VERSION, 0x102}, {PARAMETER_RESERVED, 0}};
    bool batteryLow = false;
    NandIdSetting nandId;

    // The value of the first parameter of `type`, 0 when there is none.
    std::uint32_t Parameter(std::uint32_t type) const;
    std::uint32_t DccVersion() const { return Parameter(PARAMETER_DCC_VERSION); }
};

struct PlayerOptions {
    // Reject packets whose length or flags byte is not exactly what the firmware expects; off, longer
    // packets are accepted and the flags byte is ignored.
    bool strict = true;
    std::uint64_t seed = 0;
    FaultPlan faults;
    TimingModel timing;
};

}  // namespace player
