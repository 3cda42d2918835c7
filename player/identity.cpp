#include "player/identity.h"

#include <array>

namespace player {
namespace {

struct DeviceCode {
    std::uint32_t megabytes;
    std::uint8_t device;
};

// Device codes of the flash parts that exist for the smaller sizes.
constexpr std::array<DeviceCode, 5> DEVICE_CODES{
    {{8, 0xE6}, {16, 0x73}, {32, 0x75}, {64, 0x76}, {128, 0x79}}};

constexpr std::uint32_t MAKER_ZERO_UNIT_MEGABYTES = 4;

}  // namespace

std::uint16_t ChipVariantId(ChipVariant variant) {
    return variant == ChipVariant::VARIANT_8200 ? 0x8200 : 0x8210;
}

unsigned ModelNumber(ChipVariant variant) {
    return variant == ChipVariant::VARIANT_8200 ? 8200 : 8210;
}

std::optional<ChipVariant> ChipVariantOfModelNumber(unsigned modelNumber) {
    switch (modelNumber) {
        case 8200:
            return ChipVariant::VARIANT_8200;
        case 8210:
            return ChipVariant::VARIANT_8210;
        default:
            return std::nullopt;
    }
}

UsbIds NormalModeUsbIds(ChipVariant variant) {
    return {0x3A6E, static_cast<std::uint16_t>(variant == ChipVariant::VARIANT_8200 ? 0x0C07 : 0x0C08)};
}

UsbIds RecoveryModeUsbIds(ChipVariant variant) {
    return {0x2F4D, ChipVariantId(variant)};
}

NandId ReportedNandId(const NandIdSetting& setting, std::uint32_t megabytes) {
    if (setting.form == NandIdForm::EXPLICIT) {
        return setting.explicitId;
    }
    if (setting.form == NandIdForm::STANDARD) {
        for (const DeviceCode& code : DEVICE_CODES) {
            if (code.megabytes == megabytes) {
                return {STANDARD_NAND_MAKER, code.device};
            }
        }
    }
    return {0x00, static_cast<std::uint8_t>(megabytes / MAKER_ZERO_UNIT_MEGABYTES)};
}

}  // namespace player
