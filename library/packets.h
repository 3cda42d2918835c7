// The command packets of the player's firmware, built in one place: 24-bit little-endian words,
// the header word of opcode, class and direction flags, 32-bit quantities split over two words,
// and the unit counts of 64-byte transfers. Also the readers of reply fields.
#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "platform/base/types.h"

namespace vxmp3 {

using namespace win;

inline constexpr ULONG WORD_BYTES = 3;
inline constexpr ULONG UNIT_BYTES = 64;
// The longest packet of the protocol (NAND_READ_BLOCK_STATUS, MMC_PROGRAM_CSD).
inline constexpr ULONG MAX_PACKET_BYTES = 24;

// Number of 64-byte units that carry `length` bytes, and that many units in bytes.
constexpr ULONG UnitCount(ULONG length) {
    return length / UNIT_BYTES + (length % UNIT_BYTES != 0 ? 1 : 0);
}
constexpr ULONG RoundUpToUnits(ULONG length) {
    return UnitCount(length) * UNIT_BYTES;
}

// Command classes (header byte 1) and direction flags (header byte 2).
inline constexpr UCHAR CLASS_DEVICE = 0;
inline constexpr UCHAR CLASS_NAND = 1;
inline constexpr UCHAR CLASS_MMC = 2;
inline constexpr UCHAR FLAG_RETURNS_DATA = 0x80;
inline constexpr UCHAR FLAG_CARRIES_DATA = 0x40;

// Device commands.
inline constexpr UCHAR CMD_GET_PARAMETERS = 0x03;
inline constexpr UCHAR CMD_GET_POWER_STATUS = 0x0A;
inline constexpr UCHAR CMD_GET_CHIP_ID = 0x0C;

// NAND commands.
inline constexpr UCHAR NAND_WRITE_PAGE = 0x00;
inline constexpr UCHAR NAND_WRITE_PAGES = 0x01;
inline constexpr UCHAR NAND_READ_PAGES = 0x03;
inline constexpr UCHAR NAND_ERASE_BLOCK = 0x04;
inline constexpr UCHAR NAND_READ_ID = 0x06;
inline constexpr UCHAR NAND_READ_BLOCK_STATUS = 0x0C;
inline constexpr UCHAR NAND_READ_SERIAL = 0x0D;

// MMC commands.
inline constexpr UCHAR MMC_DETECT = 0x00;
inline constexpr UCHAR MMC_READ_STATUS = 0x01;
inline constexpr UCHAR MMC_READ_CID = 0x02;
inline constexpr UCHAR MMC_READ_OCR = 0x03;
inline constexpr UCHAR MMC_READ_CSD = 0x04;
inline constexpr UCHAR MMC_PROGRAM_CSD = 0x05;
inline constexpr UCHAR MMC_READ_BLOCK = 0x06;
inline constexpr UCHAR MMC_READ_MULTIPLE = 0x07;
inline constexpr UCHAR MMC_WRITE_BLOCK = 0x08;
inline constexpr UCHAR MMC_WRITE_MULTIPLE = 0x09;
inline constexpr UCHAR MMC_ERASE = 0x0A;

// Reply lengths that the library reads (the device sends them in 64-byte units).
inline constexpr ULONG PARAMETER_LIST_BYTES = 64;
inline constexpr ULONG POWER_STATUS_REPLY_BYTES = 3;
inline constexpr ULONG CHIP_ID_REPLY_BYTES = 3;
inline constexpr ULONG ERASE_REPLY_BYTES = 6;
inline constexpr ULONG READ_ID_REPLY_BYTES = 6;
inline constexpr ULONG BLOCK_STATUS_RECORD_BYTES = 6;
inline constexpr ULONG MMC_DETECT_REPLY_BYTES = 15;

// One command packet: its bytes and its length. Bytes that a layout does not name are zero.
class Packet {
  public:
    Packet(UCHAR opcode, UCHAR commandClass, UCHAR flags, ULONG length);

    // Word `index` (its low 24 bits).
    void SetWord(ULONG index, ULONG value);
    // A 32-bit quantity in words `index` and `index` + 1: low 24 bits, then the high 8 bits.
    void SetLongWord(ULONG index, ULONG value);
    // A little-endian field at a byte offset.
    void SetBytes(ULONG offset, std::span<const UCHAR> bytes);

    UCHAR* Data() { return bytes_.data(); }
    const UCHAR* Data() const { return bytes_.data(); }
    ULONG Length() const { return length_; }
    std::span<const UCHAR> Bytes() const { return {bytes_.data(), length_}; }

  private:
    std::array<UCHAR, MAX_PACKET_BYTES> bytes_{};
    ULONG length_;
};

// Device commands: the header alone.
Packet DevicePacket(UCHAR opcode);

// NAND commands. Their direction flags depend on the DCC version read at open: with a version of
// 256 or less (older firmware, or never read) the flags byte is 0. `selector` is the medium's.
Packet NandWritePagePacket(ULONG byteAddress, UCHAR selector, ULONG dccVersion);
Packet NandWritePagesPacket(ULONG byteAddress, ULONG pageCount, UCHAR selector, ULONG dccVersion);
Packet NandReadPagesPacket(ULONG byteAddress, ULONG pageCount, UCHAR selector, ULONG dccVersion);
Packet NandEraseBlockPacket(ULONG byteAddress, ULONG pagesPerBlock, UCHAR selector, ULONG dccVersion);
Packet NandReadIdPacket(UCHAR selector, ULONG dccVersion);
Packet NandReadBlockStatusPacket(ULONG byteAddress, ULONG blockCount, ULONG pagesPerBlock, UCHAR selector,
                                 ULONG dccVersion);
Packet NandReadSerialPacket(UCHAR selector, ULONG dccVersion);

// MMC commands, which always carry their flags; the card's selector is in word 1.
// MMC_DETECT, MMC_READ_STATUS, MMC_READ_CID, MMC_READ_OCR, MMC_READ_CSD: 6 bytes.
Packet MmcPacket(UCHAR opcode, UCHAR card);
Packet MmcProgramCsdPacket(UCHAR card, std::span<const UCHAR, 16> csd);
// MMC_READ_BLOCK, MMC_WRITE_BLOCK: the byte address of the sector.
Packet MmcBlockPacket(UCHAR opcode, UCHAR card, ULONG byteAddress);
// MMC_READ_MULTIPLE, MMC_WRITE_MULTIPLE: the byte address and the sector count.
Packet MmcMultiplePacket(UCHAR opcode, UCHAR card, ULONG byteAddress, USHORT count);
// MMC_ERASE of sectors first .. first + count - 1 (addresses computed in 32 bits).
Packet MmcErasePacket(UCHAR card, ULONG firstSector, ULONG count);

// Reply fields; bytes past the end of the reply read as 0.
ULONG ReplyLittleEndian(std::span<const UCHAR> reply, ULONG offset, ULONG width);
inline ULONG ReplyWord(std::span<const UCHAR> reply, ULONG index) {
    return ReplyLittleEndian(reply, index * WORD_BYTES, WORD_BYTES);
}

// The device parameter list (CMD_GET_PARAMETERS reply): the value of the first entry of `type`
// among those that lie inside the 64-byte reply; false when there is none.
bool FindParameter(std::span<const UCHAR, PARAMETER_LIST_BYTES> list, ULONG type, ULONG* value);
inline constexpr ULONG PARAMETER_CAPABILITIES = 0;
inline constexpr ULONG PARAMETER_DCC_VERSION = 1;
// Capability values and DCC versions above this are the newer firmware's.
inline constexpr ULONG FIRST_FIRMWARE_VERSION = 256;

}  // namespace vxmp3
