// The player's command packet protocol: 24-bit little-endian words, the header word, the command
// codes and the 64-byte units in which replies travel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace player {

inline constexpr std::size_t WORD_BYTES = 3;
inline constexpr std::size_t UNIT_BYTES = 64;

// Number of 64-byte units that carry `length` bytes.
constexpr std::size_t UnitCount(std::size_t length) {
    return (length + UNIT_BYTES - 1) / UNIT_BYTES;
}
constexpr std::size_t RoundUpToUnits(std::size_t length) {
    return UnitCount(length) * UNIT_BYTES;
}

// Little-endian fields at byte offsets; the reader returns 0 for bytes past the end.
std::uint32_t ReadLittleEndian(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t width);
void WriteLittleEndian(std::span<std::uint8_t> bytes, std::size_t offset, std::size_t width,
                       std::uint32_t value);

// Word `index` (24 bits) and a 32-bit quantity held in words `index` and `index` + 1: the low 24 bits
// in the first word, the high 8 bits in the low byte of the second.
inline std::uint32_t ReadWord(std::span<const std::uint8_t> bytes, std::size_t index) {
    return ReadLittleEndian(bytes, index * WORD_BYTES, WORD_BYTES);
}
inline void WriteWord(std::span<std::uint8_t> bytes, std::size_t index, std::uint32_t value) {
    WriteLittleEndian(bytes, index * WORD_BYTES, WORD_BYTES, value & 0xFFFFFF);
}
inline std::uint32_t ReadLongWord(std::span<const std::uint8_t> bytes, std::size_t index) {
    return ReadLittleEndian(bytes, index * WORD_BYTES, 4);
}
inline void WriteLongWord(std::span<std::uint8_t> bytes, std::size_t index, std::uint32_t value) {
    WriteLittleEndian(bytes, index * WORD_BYTES, 4, value);
}

// Header word of every packet.
struct PacketHeader {
    std::uint8_t opcode;
    std::uint8_t commandClass;
    std::uint8_t flags;
};
static_assert(sizeof(PacketHeader) == WORD_BYTES);

enum class CommandClass : std::uint8_t { DEVICE = 0, NAND = 1, MMC = 2 };

inline constexpr std::uint8_t FLAG_RETURNS_DATA = 0x80;
inline constexpr std::uint8_t FLAG_CARRIES_DATA = 0x40;

// Device commands (class 0).
inline constexpr std::uint8_t CMD_GET_PARAMETERS = 0x03;
inline constexpr std::uint8_t CMD_GET_POWER_STATUS = 0x0A;
inline constexpr std::uint8_t CMD_GET_CHIP_ID = 0x0C;

// NAND commands (class 1).
inline constexpr std::uint8_t NAND_WRITE_PAGE = 0x00;
inline constexpr std::uint8_t NAND_WRITE_PAGES = 0x01;
inline constexpr std::uint8_t NAND_READ_PAGES = 0x03;
inline constexpr std::uint8_t NAND_ERASE_BLOCK = 0x04;
inline constexpr std::uint8_t NAND_READ_ID = 0x06;
inline constexpr std::uint8_t NAND_READ_BLOCK_STATUS = 0x0C;
inline constexpr std::uint8_t NAND_READ_SERIAL = 0x0D;

// MMC commands (class 2).
inline constexpr std::uint8_t MMC_DETECT = 0x00;
inline constexpr std::uint8_t MMC_READ_STATUS = 0x01;
inline constexpr std::uint8_t MMC_READ_CID = 0x02;
inline constexpr std::uint8_t MMC_READ_OCR = 0x03;
inline constexpr std::uint8_t MMC_READ_CSD = 0x04;
inline constexpr std::uint8_t MMC_PROGRAM_CSD = 0x05;
inline constexpr std::uint8_t MMC_READ_BLOCK = 0x06;
inline constexpr std::uint8_t MMC_READ_MULTIPLE = 0x07;
inline constexpr std::uint8_t MMC_WRITE_BLOCK = 0x08;
inline constexpr std::uint8_t MMC_WRITE_MULTIPLE = 0x09;
inline constexpr std::uint8_t MMC_ERASE = 0x0A;
inline constexpr std::uint8_t MMC_READ_SERIAL = 0x0B;

// A zeroed reply of `length` meaningful bytes, padded to whole 64-byte units.
inline std::vector<std::uint8_t> MakeReply(std::size_t length) {
    return std::vector<std::uint8_t>(RoundUpToUnits(length), 0);
}

}  // namespace player
