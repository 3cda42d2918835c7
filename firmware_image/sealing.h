// The seal that the player checks before it takes an image. The body, read as little-endian
// 24-bit words w0 .. w(m-1), gets the checksum T = (w0 + ... + w(m-1) + 512) mod 2^24 and the
// constant 512 in front, and that whole sequence is shifted right by one bit as one little-endian
// number: each word's bit 0 moves into bit 23 of the word before it, and bit 0 of T, which the
// shift drops, goes first as a word of its own. The sealed image is
//     T & 1, T >> 1, 256 | (w0 & 1) << 23, (w0 >> 1) | (w1 & 1) << 23, ..., w(m-1) >> 1
// and 9 bytes longer than the body.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "firmware_image/image_status.h"

namespace firmware_image {

inline constexpr std::size_t kSealBytes = 9;
inline constexpr uint32_t kSealConstant = 512;

struct SealedBytes {
    ImageStatus status = ImageStatus::OK;
    std::vector<uint8_t> bytes;
};

// The sealed image of `body`; PARTIAL_WORD when the body is not whole 24-bit words.
SealedBytes Seal(std::span<const uint8_t> body);

// The body of a sealed image, when its seal holds: whole words, at least the three seal words,
// the constant 512, the checksum over the body, and bit 23 of the last word clear. BAD_SEAL or
// PARTIAL_WORD otherwise, with no bytes.
SealedBytes VerifySeal(std::span<const uint8_t> sealed);

}  // namespace firmware_image
