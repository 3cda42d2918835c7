#include "media_format/ecc.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <random>

namespace media_format {
namespace {

using Half = std::array<uint8_t, kEccHalfBytes>;

// The code as it is defined, bit by bit: the oracle for the table-driven implementation.
Ecc EccByDefinition(const Half& half) {
    std::array<uint32_t, 16> line{};
    uint32_t all = 0;
    for (uint32_t i = 0; i < kEccHalfBytes; ++i) {
        const uint32_t parity = static_cast<uint32_t>(std::popcount(half[i]) & 1);
        for (uint32_t k = 0; k < 8; ++k) {
            line[2 * k + ((i >> k) & 1)] ^= parity;
        }
        all ^= half[i];
    }
    auto bit = [all](uint32_t n) { return (all >> n) & 1; };
    const std::array<uint32_t, 6> column{
        bit(0) ^ bit(2) ^ bit(4) ^ bit(6), bit(1) ^ bit(3) ^ bit(5) ^ bit(7),
        bit(0) ^ bit(1) ^ bit(4) ^ bit(5), bit(2) ^ bit(3) ^ bit(6) ^ bit(7),
        bit(0) ^ bit(1) ^ bit(2) ^ bit(3), bit(4) ^ bit(5) ^ bit(6) ^ bit(7)};
    uint32_t byte0 = 0;
    uint32_t byte1 = 0;
    uint32_t byte2 = 0;
    for (uint32_t k = 0; k < 8; ++k) {
        byte0 |= line[k] << k;
        byte1 |= line[8 + k] << k;
    }
    for (uint32_t k = 0; k < 6; ++k) {
        byte2 |= column[k] << (k + 2);
    }
    return Ecc{static_cast<uint8_t>(~byte0), static_cast<uint8_t>(~byte1), static_cast<uint8_t>(~byte2)};
}

Half HalfWithByte(uint32_t offset, uint8_t value) {
    Half half{};
    half[offset] = value;
    return half;
}

Half FilledHalf(uint8_t value) {
    Half half;
    half.fill(value);
    return half;
}

Half CountingHalf() {
    Half half;
    for (uint32_t i = 0; i < kEccHalfBytes; ++i) {
        half[i] = static_cast<uint8_t>(i);
    }
    return half;
}

Half RandomHalf(uint32_t seed) {
    std::mt19937 random(seed);
    Half half;
    for (auto& byte : half) {
        byte = static_cast<uint8_t>(random());
    }
    return half;
}

struct KnownEcc {
    const char* name;
    Half half;
    Ecc ecc;
};

TEST(EccTest, KnownVectors) {
    const KnownEcc cases[] = {
        {"byte 0 = 0x01", HalfWithByte(0, 0x01), {0xAA, 0xAA, 0xAB}},
        {"all 0xFF", FilledHalf(0xFF), {0xFF, 0xFF, 0xFF}},
        {"all 0x00", FilledHalf(0x00), {0xFF, 0xFF, 0xFF}},
        {"0, 1 .. 255", CountingHalf(), {0xFF, 0xFF, 0xFF}},
    };
    for (const auto& known : cases) {
        EXPECT_EQ(ComputeEcc(known.half), known.ecc) << known.name;
        EXPECT_EQ(EccByDefinition(known.half), known.ecc) << known.name;
    }
}

TEST(EccTest, AgreesWithDefinitionOnAsymmetricAndRandomHalves) {
    std::vector<std::pair<std::string, Half>> cases{
        {"byte 1 = 0x01", HalfWithByte(1, 0x01)},
        {"byte 128 = 0x01", HalfWithByte(128, 0x01)},
        {"byte 37 = 0x80", HalfWithByte(37, 0x80)},
        {"byte 255 = 0x7F", HalfWithByte(255, 0x7F)},
    };
    for (uint32_t seed = 1; seed <= 200; ++seed) {
        cases.emplace_back("random seed " + std::to_string(seed), RandomHalf(seed));
    }
    for (const auto& [name, half] : cases) {
        EXPECT_EQ(ComputeEcc(half), EccByDefinition(half)) << name;
    }
    // Fixed values from the definition, so a shared mistake in both would still show.
    EXPECT_EQ(ComputeEcc(HalfWithByte(1, 0x01)), (Ecc{0xA9, 0xAA, 0xAB}));
    EXPECT_EQ(ComputeEcc(HalfWithByte(128, 0x01)), (Ecc{0xAA, 0x6A, 0xAB}));
    EXPECT_EQ(ComputeEcc(HalfWithByte(37, 0x80)), (Ecc{0x99, 0xA6, 0x57}));
}

TEST(EccTest, EverySingleDataBitFlipIsCorrected) {
    const Half original = RandomHalf(7);
    const Ecc stored = ComputeEcc(original);
    for (uint32_t position = 0; position < kEccHalfBytes * 8; ++position) {
        Half half = original;
        half[position / 8] ^= static_cast<uint8_t>(1u << (position % 8));
        EXPECT_EQ(CheckAndCorrect(half, stored, ComputeEcc(half)), EccCheck::kCorrected) << position;
        EXPECT_EQ(half, original) << position;
    }
}

TEST(EccTest, SingleBitErrorInStoredEccLeavesDataUntouched) {
    const Half original = RandomHalf(8);
    const Ecc computed = ComputeEcc(original);
    for (uint32_t position = 0; position < kEccBytes * 8; ++position) {
        Half half = original;
        Ecc stored = computed;
        stored[position / 8] ^= static_cast<uint8_t>(1u << (position % 8));
        EXPECT_EQ(CheckAndCorrect(half, stored, computed), EccCheck::kEccFieldError) << position;
        EXPECT_EQ(half, original) << position;
    }
}

TEST(EccTest, TwoDataBitErrorsAreUncorrectable) {
    const Half original = RandomHalf(9);
    const Ecc stored = ComputeEcc(original);
    std::mt19937 random(10);
    for (int trial = 0; trial < 2000; ++trial) {
        const uint32_t first = random() % (kEccHalfBytes * 8);
        uint32_t second = random() % (kEccHalfBytes * 8 - 1);
        second += second >= first ? 1 : 0;
        Half half = original;
        half[first / 8] ^= static_cast<uint8_t>(1u << (first % 8));
        half[second / 8] ^= static_cast<uint8_t>(1u << (second % 8));
        const Half damaged = half;
        EXPECT_EQ(CheckAndCorrect(half, stored, ComputeEcc(half)), EccCheck::kUncorrectable)
            << first << " " << second;
        EXPECT_EQ(half, damaged);
    }
}

struct Syndrome {
    const char* name;
    Ecc stored;
    EccCheck expected;
};

// Differences between stored and computed ECC that are not a single-bit error must never flip a bit,
// even when they have 11 one bits.
TEST(EccTest, DifferencesThatAreNoSingleBitErrorAreUncorrectable) {
    const Ecc computed{0xFF, 0xFF, 0xFF};
    const Syndrome cases[] = {
        {"both bits of pair LP0/LP1 and none of LP2/LP3", {0xF0, 0xAA, 0xAB}, EccCheck::kUncorrectable},
        {"constant bit 16 in place of CP0/CP1", {0xAA, 0xAA, 0xAA}, EccCheck::kUncorrectable},
        {"two bits", {0xFC, 0xFF, 0xFF}, EccCheck::kUncorrectable},
        {"all bits", {0x00, 0x00, 0x00}, EccCheck::kUncorrectable},
        {"data bit 0 of byte 0", {0xAA, 0xAA, 0xAB}, EccCheck::kCorrected},
    };
    for (const auto& syndrome : cases) {
        Half half = FilledHalf(0x00);
        const Half before = half;
        EXPECT_EQ(CheckAndCorrect(half, syndrome.stored, computed), syndrome.expected) << syndrome.name;
        if (syndrome.expected == EccCheck::kUncorrectable) {
            EXPECT_EQ(half, before) << syndrome.name;
        }
    }
}

}  // namespace
}  // namespace media_format
