// The Hamming code that guards each 256-byte half of a page: 22 parity bits in 3 bytes, able to correct
// one flipped data bit and to detect two.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace media_format {

inline constexpr uint32_t kEccHalfBytes = 256;
inline constexpr uint32_t kEccBytes = 3;

using Ecc = std::array<uint8_t, kEccBytes>;

enum class EccCheck : uint8_t {
    kGood,           // stored and computed ECC agree
    kCorrected,      // one data bit was wrong and has been flipped back
    kEccFieldError,  // the stored ECC itself has one wrong bit; the data is good and unchanged
    kUncorrectable,  // more than one bit is wrong; the data is left as it was
};

// True for every outcome after which the half holds good data.
inline bool IsGood(EccCheck check) {
    return check != EccCheck::kUncorrectable;
}

Ecc ComputeEcc(std::span<const uint8_t, kEccHalfBytes> half);

// Compares the ECC stored with a half against the one computed from it and repairs a single data bit in
// place.
EccCheck CheckAndCorrect(std::span<uint8_t, kEccHalfBytes> half, const Ecc& stored, const Ecc& computed);

}  // namespace media_format
