#include "firmware_image/sealing.h"

#include "firmware_image/allocation_guard.h"

namespace firmware_image {

namespace {

constexpr std::size_t kWordBytes = 3;
constexpr uint32_t kWordMask = 0xFFFFFF;
constexpr uint32_t kTopBit = 1u << 23;

uint32_t WordAt(std::span<const uint8_t> bytes, std::size_t word) {
    const std::size_t at = word * kWordBytes;
    return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16;
}

void AppendWord(std::vector<uint8_t>& bytes, uint32_t word) {
    bytes.push_back(static_cast<uint8_t>(word));
    bytes.push_back(static_cast<uint8_t>(word >> 8));
    bytes.push_back(static_cast<uint8_t>(word >> 16));
}

uint32_t Checksum(std::span<const uint8_t> body) {
    uint32_t sum = kSealConstant;
    for (std::size_t k = 0; k < body.size() / kWordBytes; ++k) {
        sum = (sum + WordAt(body, k)) & kWordMask;
    }
    return sum;
}

}  // namespace

SealedBytes Seal(std::span<const uint8_t> body) {
    if (body.size() % kWordBytes != 0) {
        return {ImageStatus::PARTIAL_WORD, {}};
    }
    return WithoutAllocationFailure<SealedBytes>([&] {
        const std::size_t words = body.size() / kWordBytes;
        const uint32_t checksum = Checksum(body);
        // The sequence that is shifted: the checksum, the constant, then the body's words.
        const auto sequence = [&](std::size_t k) -> uint32_t {
            if (k == 0) {
                return checksum;
            }
            if (k == 1) {
                return kSealConstant;
            }
            return k - 2 < words ? WordAt(body, k - 2) : 0;
        };
        SealedBytes sealed;
        sealed.bytes.reserve(body.size() + kSealBytes);
        AppendWord(sealed.bytes, checksum & 1);
        for (std::size_t k = 0; k < words + 2; ++k) {
            AppendWord(sealed.bytes, sequence(k) >> 1 | (sequence(k + 1) & 1) << 23);
        }
        return sealed;
    });
}

SealedBytes VerifySeal(std::span<const uint8_t> sealed) {
    if (sealed.size() % kWordBytes != 0) {
        return {ImageStatus::PARTIAL_WORD, {}};
    }
    const std::size_t sealedWords = sealed.size() / kWordBytes;
    if (sealedWords < kSealBytes / kWordBytes || WordAt(sealed, 0) > 1 ||
        (WordAt(sealed, sealedWords - 1) & kTopBit) != 0) {
        return {ImageStatus::BAD_SEAL, {}};
    }
    // Sealed word k + 1 holds bits 1..23 of sequence word k and, in bit 23, bit 0 of word k + 1;
    // bit 0 of the checksum travels in sealed word 0.
    const auto sequence = [&](std::size_t k) -> uint32_t {
        const uint32_t lowBit = k == 0 ? WordAt(sealed, 0) : WordAt(sealed, k) >> 23;
        return (WordAt(sealed, k + 1) << 1 & kWordMask) | lowBit;
    };
    if (sequence(1) != kSealConstant) {
        return {ImageStatus::BAD_SEAL, {}};
    }
    return WithoutAllocationFailure<SealedBytes>([&] {
        SealedBytes body;
        body.bytes.reserve(sealed.size() - kSealBytes);
        for (std::size_t k = 2; k + 1 < sealedWords; ++k) {
            AppendWord(body.bytes, sequence(k));
        }
        if (Checksum(body.bytes) != sequence(0)) {
            return SealedBytes{ImageStatus::BAD_SEAL, {}};
        }
        return body;
    });
}

}  // namespace firmware_image
