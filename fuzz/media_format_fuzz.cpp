// Arbitrary bytes as a page half with stored and computed ECC, as a block address field, and as a whole
// page with its redundant area: no crash, no access out of range, and the outcomes keep their promises.
#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "media_format/block_address.h"
#include "media_format/ecc.h"
#include "media_format/geometry.h"
#include "media_format/redundant_area.h"

namespace {

using namespace media_format;

void Require(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

// Copies what the input has into a zeroed buffer of fixed size.
template <std::size_t N>
std::array<uint8_t, N> Take(const uint8_t*& data, std::size_t& size) {
    std::array<uint8_t, N> out{};
    const std::size_t taken = std::min(size, N);
    std::memcpy(out.data(), data, taken);
    data += taken;
    size -= taken;
    return out;
}

uint32_t DifferentBits(std::span<const uint8_t> a, std::span<const uint8_t> b) {
    uint32_t bits = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        bits += static_cast<uint32_t>(std::popcount(static_cast<uint8_t>(a[i] ^ b[i])));
    }
    return bits;
}

void FuzzHalf(const uint8_t*& data, std::size_t& size) {
    auto half = Take<kEccHalfBytes>(data, size);
    const auto stored = Take<kEccBytes>(data, size);
    const auto computed = Take<kEccBytes>(data, size);
    const auto before = half;
    const EccCheck check = CheckAndCorrect(half, stored, computed);
    Require(DifferentBits(half, before) == (check == EccCheck::kCorrected ? 1u : 0u));
    Require((check == EccCheck::kGood) == (stored == computed));

    // With the half's true ECC stored, a check of the unchanged half is good.
    const Ecc own = ComputeEcc(half);
    Require(CheckAndCorrect(half, own, ComputeEcc(half)) == EccCheck::kGood);
}

void FuzzAddress(const uint8_t*& data, std::size_t& size) {
    const auto field = Take<2>(data, size);
    const uint32_t inZone = DecodeBlockAddress(field);
    Require(inZone < kZonePhysicalBlocks);
    if (inZone < kZoneLogicalBlocks) {
        const BlockAddressField encoded = EncodeBlockAddress(inZone);
        Require(DecodeBlockAddress(encoded) == inZone);
        Require(std::popcount(static_cast<uint32_t>(encoded[0] << 8 | encoded[1])) % 2 == 0);
    }
}

void FuzzPage(const uint8_t*& data, std::size_t& size) {
    auto page = Take<kPageBytes>(data, size);
    const auto dataBytes = std::span(page).first<kPageDataBytes>();
    const RedundantArea area = RedundantAreaFromBytes(std::span(page).last<kRedundantBytes>());
    IsDataStatusValid(area.dataStatus);
    IsBlockStatusGood(area.blockStatus);
    IsMiniportSystemBlock(area);
    const std::array<uint8_t, 3> tags{'P', 0x00, 0x01};
    IsLibrarySystemMarker(area.blockAddress1, tags);
    const auto before = page;
    const PageEccCheck check = CheckAndCorrectPage(dataBytes, area);
    const uint32_t corrections = (check.firstHalf == EccCheck::kCorrected ? 1u : 0u) +
                                 (check.secondHalf == EccCheck::kCorrected ? 1u : 0u);
    Require(DifferentBits(page, before) == corrections);
    if (check.IsGood()) {
        // After correction the data matches its stored ECC, up to one wrong bit in the stored field.
        Require(CheckAndCorrectPage(dataBytes, area).IsGood());
        Require(!CheckAndCorrectPage(dataBytes, area).IsCorrected());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzHalf(data, size);
    FuzzAddress(data, size);
    FuzzPage(data, size);
    return 0;
}
