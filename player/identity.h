// Who the player says it is: its chip variant, USB identity, NAND id and serial numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace player {

enum class ChipVariant { VARIANT_8200, VARIANT_8210 };

// 0x8200 or 0x8210, as CMD_GET_CHIP_ID reports it.
std::uint16_t ChipVariantId(ChipVariant variant);
// The decimal model number 8200 or 8210.
unsigned ModelNumber(ChipVariant variant);
std::optional<ChipVariant> ChipVariantOfModelNumber(unsigned modelNumber);

struct UsbIds {
    std::uint16_t vendorId;
    std::uint16_t productId;
};

// The vendor interface of normal mode, and the recovery boot ROM under the chip maker's ids.
UsbIds NormalModeUsbIds(ChipVariant variant);
UsbIds RecoveryModeUsbIds(ChipVariant variant);

// Interface subclass of the vendor interface: 1 once the player runs its loaded DCC, else 0.
inline constexpr std::uint8_t SUBCLASS_AWAITING_DCC = 0;
inline constexpr std::uint8_t SUBCLASS_DCC_RUNNING = 1;

// The maker code the player's flash answers with in the standard form.
inline constexpr std::uint8_t STANDARD_NAND_MAKER = 0x98;

struct NandId {
    std::uint8_t maker;
    std::uint8_t device;
    bool operator==(const NandId&) const = default;
};

enum class NandIdForm {
    STANDARD,    // a maker code with the device code of the size where one exists, else maker 0
    MAKER_ZERO,  // always maker 0 and the size in 4 MB units
    EXPLICIT,    // the configured maker and device codes, whatever the medium
};

struct NandIdSetting {
    NandIdForm form = NandIdForm::STANDARD;
    NandId explicitId{0, 0};  // used by NandIdForm::EXPLICIT only
};

// The id that NAND_READ_ID reports for a medium of `megabytes`.
NandId ReportedNandId(const NandIdSetting& setting, std::uint32_t megabytes);

}  // namespace player
