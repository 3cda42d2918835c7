#include "library/packets.h"

#include <algorithm>

namespace vxmp3 {

namespace {

// The direction flags a NAND packet carries: only firmware newer than DCC version 256 reads them.
UCHAR NandFlags(UCHAR flags, ULONG dccVersion) {
    return dccVersion > FIRST_FIRMWARE_VERSION ? flags : 0;
}

constexpr ULONG kPageTransferBytes = 528;
constexpr ULONG kPageDataBytes = 512;

// The NAND packets that move pages: address, bytes per page, page count, units, selector.
Packet NandPagesPacket(UCHAR opcode, UCHAR flags, ULONG byteAddress, ULONG pageCount, UCHAR selector,
                       ULONG dccVersion) {
    Packet packet(opcode, CLASS_NAND, NandFlags(flags, dccVersion), 7 * WORD_BYTES);
    packet.SetLongWord(1, byteAddress);
    packet.SetWord(3, kPageTransferBytes);
    packet.SetWord(4, pageCount);
    packet.SetWord(5, UnitCount(kPageTransferBytes * pageCount));
    packet.SetWord(6, selector);
    return packet;
}

}  // namespace

Packet::Packet(UCHAR opcode, UCHAR commandClass, UCHAR flags, ULONG length)
    : length_(std::min(length, MAX_PACKET_BYTES)) {
    bytes_[0] = opcode;
    bytes_[1] = commandClass;
    bytes_[2] = flags;
}

void Packet::SetWord(ULONG index, ULONG value) {
    for (ULONG i = 0; i < WORD_BYTES && index * WORD_BYTES + i < length_; ++i) {
        bytes_[index * WORD_BYTES + i] = static_cast<UCHAR>(value >> (8 * i));
    }
}

void Packet::SetLongWord(ULONG index, ULONG value) {
    SetWord(index, value & 0xFFFFFF);
    SetWord(index + 1, value >> 24);
}

void Packet::SetBytes(ULONG offset, std::span<const UCHAR> bytes) {
    for (ULONG i = 0; i < bytes.size() && offset + i < length_; ++i) {
        bytes_[offset + i] = bytes[i];
    }
}

Packet DevicePacket(UCHAR opcode) {
    return Packet(opcode, CLASS_DEVICE, 0, WORD_BYTES);
}

Packet NandWritePagePacket(ULONG byteAddress, UCHAR selector, ULONG dccVersion) {
    Packet packet(NAND_WRITE_PAGE, CLASS_NAND, NandFlags(FLAG_CARRIES_DATA, dccVersion), 5 * WORD_BYTES);
    packet.SetLongWord(1, byteAddress);
    packet.SetWord(3, kPageTransferBytes);
    packet.SetWord(4, selector);
    return packet;
}

Packet NandWritePagesPacket(ULONG byteAddress, ULONG pageCount, UCHAR selector, ULONG dccVersion) {
    return NandPagesPacket(NAND_WRITE_PAGES, FLAG_CARRIES_DATA, byteAddress, pageCount, selector, dccVersion);
}

Packet NandReadPagesPacket(ULONG byteAddress, ULONG pageCount, UCHAR selector, ULONG dccVersion) {
    return NandPagesPacket(NAND_READ_PAGES, FLAG_RETURNS_DATA, byteAddress, pageCount, selector, dccVersion);
}

Packet NandEraseBlockPacket(ULONG byteAddress, ULONG pagesPerBlock, UCHAR selector, ULONG dccVersion) {
    Packet packet(NAND_ERASE_BLOCK, CLASS_NAND, NandFlags(FLAG_CARRIES_DATA, dccVersion), 5 * WORD_BYTES);
    packet.SetLongWord(1, byteAddress);
    packet.SetWord(3, pagesPerBlock);
    packet.SetWord(4, selector);
    return packet;
}

Packet NandReadIdPacket(UCHAR selector, ULONG dccVersion) {
    Packet packet(NAND_READ_ID, CLASS_NAND, NandFlags(FLAG_RETURNS_DATA, dccVersion), 2 * WORD_BYTES);
    packet.SetWord(1, selector);
    return packet;
}

Packet NandReadBlockStatusPacket(ULONG byteAddress, ULONG blockCount, ULONG pagesPerBlock, UCHAR selector,
                                 ULONG dccVersion) {
    Packet packet(NAND_READ_BLOCK_STATUS, CLASS_NAND, NandFlags(FLAG_RETURNS_DATA, dccVersion),
                  8 * WORD_BYTES);
    packet.SetLongWord(1, byteAddress);
    packet.SetWord(3, kPageTransferBytes);
    packet.SetWord(4, blockCount);
    packet.SetWord(5, kPageDataBytes * pagesPerBlock);
    packet.SetWord(6, UnitCount(BLOCK_STATUS_RECORD_BYTES * blockCount));
    packet.SetWord(7, selector);
    return packet;
}

Packet NandReadSerialPacket(UCHAR selector, ULONG) {
    Packet packet(NAND_READ_SERIAL, CLASS_NAND, 0, 2 * WORD_BYTES);
    packet.SetWord(1, selector);
    return packet;
}

Packet MmcPacket(UCHAR opcode, UCHAR card) {
    // Only the register reads return data in the firmware's sense; detect and status do not.
    UCHAR flags =
        opcode == MMC_READ_CID || opcode == MMC_READ_OCR || opcode == MMC_READ_CSD ? FLAG_RETURNS_DATA : 0;
    Packet packet(opcode, CLASS_MMC, flags, 2 * WORD_BYTES);
    packet.SetWord(1, card);
    return packet;
}

Packet MmcProgramCsdPacket(UCHAR card, std::span<const UCHAR, 16> csd) {
    Packet packet(MMC_PROGRAM_CSD, CLASS_MMC, FLAG_CARRIES_DATA, 24);
    packet.SetWord(1, card);
    packet.SetBytes(6, csd);
    return packet;
}

Packet MmcBlockPacket(UCHAR opcode, UCHAR card, ULONG byteAddress) {
    Packet packet(opcode, CLASS_MMC, opcode == MMC_READ_BLOCK ? FLAG_RETURNS_DATA : FLAG_CARRIES_DATA, 12);
    packet.SetWord(1, card);
    packet.SetLongWord(2, byteAddress);
    return packet;
}

Packet MmcMultiplePacket(UCHAR opcode, UCHAR card, ULONG byteAddress, USHORT count) {
    Packet packet(opcode, CLASS_MMC, opcode == MMC_READ_MULTIPLE ? FLAG_RETURNS_DATA : FLAG_CARRIES_DATA, 15);
    packet.SetWord(1, card);
    packet.SetLongWord(2, byteAddress);
    packet.SetWord(4, count);
    return packet;
}

Packet MmcErasePacket(UCHAR card, ULONG firstSector, ULONG count) {
    Packet packet(MMC_ERASE, CLASS_MMC, FLAG_CARRIES_DATA, 18);
    packet.SetWord(1, card);
    packet.SetLongWord(2, firstSector * kPageDataBytes);
    packet.SetLongWord(4, (firstSector + count - 1) * kPageDataBytes);
    return packet;
}

ULONG ReplyLittleEndian(std::span<const UCHAR> reply, ULONG offset, ULONG width) {
    ULONG value = 0;
    for (ULONG i = 0; i < width && i < 4; ++i) {
        if (offset + i < reply.size()) {
            value |= ULONG{reply[offset + i]} << (8 * i);
        }
    }
    return value;
}

bool FindParameter(std::span<const UCHAR, PARAMETER_LIST_BYTES> list, ULONG type, ULONG* value) {
    // Entries of two words each follow the count word; only those inside the reply are read.
    constexpr ULONG kEntryBytes = 2 * WORD_BYTES;
    constexpr ULONG kMaxEntries = (PARAMETER_LIST_BYTES - WORD_BYTES) / kEntryBytes;
    ULONG count = std::min(ReplyWord(list, 0), kMaxEntries);
    for (ULONG entry = 0; entry < count; ++entry) {
        if (ReplyWord(list, 1 + 2 * entry) == type) {
            *value = ReplyWord(list, 2 + 2 * entry);
            return true;
        }
    }
    return false;
}

}  // namespace vxmp3
