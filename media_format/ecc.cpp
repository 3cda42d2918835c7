#include "media_format/ecc.h"

#include <bit>
#include <cstring>

namespace media_format {
namespace {

// The code works on the half as 32 little-endian 64-bit words, so byte i of the half is byte (i mod 8)
// of word (i / 8).
static_assert(std::endian::native == std::endian::little, "ECC word loads assume a little-endian host");

constexpr uint32_t kWordsPerHalf = kEccHalfBytes / sizeof(uint64_t);

constexpr uint8_t kByteParityBit = 0x40;

// Per byte value: bits 0..5 hold its column parities CP0..CP5, bit 6 the parity of all its bits.
constexpr std::array<uint8_t, 256> BuildByteParities() {
    std::array<uint8_t, 256> table{};
    for (uint32_t value = 0; value < 256; ++value) {
        auto bit = [value](uint32_t n) { return (value >> n) & 1; };
        const uint32_t columns =
            (bit(0) ^ bit(2) ^ bit(4) ^ bit(6)) << 0 | (bit(1) ^ bit(3) ^ bit(5) ^ bit(7)) << 1 |
            (bit(0) ^ bit(1) ^ bit(4) ^ bit(5)) << 2 | (bit(2) ^ bit(3) ^ bit(6) ^ bit(7)) << 3 |
            (bit(0) ^ bit(1) ^ bit(2) ^ bit(3)) << 4 | (bit(4) ^ bit(5) ^ bit(6) ^ bit(7)) << 5;
        const uint32_t parity = static_cast<uint32_t>(std::popcount(value) & 1);
        table[value] = static_cast<uint8_t>(columns | parity << 6);
    }
    return table;
}
constexpr std::array<uint8_t, 256> kByteParities = BuildByteParities();

// Spreads bit k of a byte to bit 2k + 1 of a 16-bit value: the odd line parities LP(2k+1).
constexpr std::array<uint16_t, 256> BuildOddLineSpread() {
    std::array<uint16_t, 256> table{};
    for (uint32_t value = 0; value < 256; ++value) {
        uint32_t spread = 0;
        for (uint32_t k = 0; k < 8; ++k) {
            spread |= ((value >> k) & 1) << (2 * k + 1);
        }
        table[value] = static_cast<uint16_t>(spread);
    }
    return table;
}
constexpr std::array<uint16_t, 256> kOddLineSpread = BuildOddLineSpread();

uint32_t ParityOfByte(uint32_t value) {
    return (kByteParities[value & 0xFF] & kByteParityBit) != 0 ? 1 : 0;
}

uint32_t ParityOfWord(uint64_t word) {
    word ^= word >> 32;
    word ^= word >> 16;
    word ^= word >> 8;
    return ParityOfByte(static_cast<uint32_t>(word));
}

}  // namespace

// The line parity LP(2k+1) is the parity of the bytes whose index has bit k set, so the eight odd line
// parities together are the exclusive-or of the indexes of all bytes of odd parity; LP(2k) is LP(2k+1)
// corrected by the parity of the whole half. Whole words give the index bits 3..7; the byte lanes of the
// exclusive-or of all words give the bits 0..2 and the column parities.
Ecc ComputeEcc(std::span<const uint8_t, kEccHalfBytes> half) {
    uint64_t lanes = 0;
    uint32_t oddWordIndexes = 0;
    for (uint32_t word = 0; word < kWordsPerHalf; ++word) {
        uint64_t value;
        std::memcpy(&value, half.data() + word * sizeof(uint64_t), sizeof value);
        lanes ^= value;
        oddWordIndexes ^= word & (0u - ParityOfWord(value));
    }
    uint32_t column = 0;
    uint32_t oddLaneIndexes = 0;
    for (uint32_t lane = 0; lane < sizeof(uint64_t); ++lane) {
        const uint32_t laneByte = static_cast<uint32_t>(lanes >> (8 * lane)) & 0xFF;
        column ^= laneByte;
        oddLaneIndexes ^= lane & (0u - ParityOfByte(laneByte));
    }
    const uint32_t oddIndexes = oddWordIndexes << 3 | oddLaneIndexes;
    const uint32_t evenIndexes = oddIndexes ^ (0xFFu & (0u - ParityOfByte(column)));
    const uint32_t lineParities = kOddLineSpread[oddIndexes] | kOddLineSpread[evenIndexes] >> 1;
    const uint32_t columnParities = kByteParities[column] & 0x3Fu;
    return Ecc{static_cast<uint8_t>(~lineParities), static_cast<uint8_t>(~(lineParities >> 8)),
               static_cast<uint8_t>(~(columnParities << 2))};
}

EccCheck CheckAndCorrect(std::span<uint8_t, kEccHalfBytes> half, const Ecc& stored, const Ecc& computed) {
    auto asNumber = [](const Ecc& ecc) {
        return uint32_t{ecc[0]} | uint32_t{ecc[1]} << 8 | uint32_t{ecc[2]} << 16;
    };
    const uint32_t difference = asNumber(stored) ^ asNumber(computed);
    if (difference == 0) {
        return EccCheck::kGood;
    }
    // A single wrong data bit inverts exactly one parity of every pair (LP0/LP1 .. LP14/LP15, CP0/CP1 ..
    // CP4/CP5) and never the two constant bits, which makes 11 one bits. Other 11-bit patterns come from
    // several wrong bits and must not be "corrected" into different wrong data.
    constexpr uint32_t kPairLowBits = 0x545555;  // the even bit of each of the 11 pairs
    const bool oneBitPerPair =
        ((difference ^ (difference >> 1)) & kPairLowBits) == kPairLowBits && (difference & 0x030000) == 0;
    if (oneBitPerPair) {
        // The odd line parities LP15 .. LP1 spell the byte offset, CP5 CP3 CP1 the bit number.
        uint32_t byteOffset = 0;
        for (uint32_t k = 8; k-- > 0;) {
            byteOffset = byteOffset << 1 | ((difference >> (2 * k + 1)) & 1);
        }
        const uint32_t bitNumber =
            ((difference >> 23) & 1) << 2 | ((difference >> 21) & 1) << 1 | ((difference >> 19) & 1);
        half[byteOffset] ^= static_cast<uint8_t>(1u << bitNumber);
        return EccCheck::kCorrected;
    }
    if (std::popcount(difference) == 1) {
        return EccCheck::kEccFieldError;
    }
    return EccCheck::kUncorrectable;
}

}  // namespace media_format
