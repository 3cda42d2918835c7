// How the three users of an S-record firmware file turn it into a device image. The system area
// (the library), the DCC load (vxscsi) and the recovery load (the tools) share one parser and one
// sealing routine; they differ only in the choices below.
#pragma once

#include <cstdint>

namespace firmware_image {

// What a data record gets when its memory type is not 1..4, including every data record before
// the first S0 record, where no memory type has been named yet.
enum class UnknownMemoryType : uint8_t {
    ADDRESS_LOW_BYTE,  // the memory code is the low byte of the record's address
    REJECT,            // the file fails with UNKNOWN_MEMORY_TYPE
};

struct ImageOptions {
    // Swap bytes 0 and 2 of every 3-byte group of the companion and block records before the
    // terminator: the system area stores its words most significant byte first.
    bool reverseByteGroups = false;
    // Byte 5 of every block record header.
    uint8_t headerByte5 = 0x00;
    UnknownMemoryType unknownMemoryType = UnknownMemoryType::ADDRESS_LOW_BYTE;

    // A system file written into the boot window and the reserved area of the medium.
    static constexpr ImageOptions ForSystemArea() {
        return {true, 0x00, UnknownMemoryType::ADDRESS_LOW_BYTE};
    }
    // The working firmware that the miniport sends to a player waiting for it. A record for an
    // unnamed memory space has no place on the device, so the load fails instead of guessing one.
    static constexpr ImageOptions ForDcc() { return {false, 0x00, UnknownMemoryType::REJECT}; }
    // The boot image that the recovery loader writes into a player's boot ROM; the ROM's headers
    // carry 0x30 in their last byte.
    static constexpr ImageOptions ForRecovery() { return {false, 0x30, UnknownMemoryType::ADDRESS_LOW_BYTE}; }

    friend constexpr bool operator==(const ImageOptions&, const ImageOptions&) = default;
};

}  // namespace firmware_image
