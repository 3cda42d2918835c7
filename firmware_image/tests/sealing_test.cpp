#include <gtest/gtest.h>

#include <vector>

#include "firmware_image/sealing.h"

namespace firmware_image {
namespace {

using ByteVector = std::vector<uint8_t>;

// Body words 0x000003 and 0xFFFFFF: T = (3 + 0xFFFFFF + 512) mod 2^24 = 0x000202.
const ByteVector kBody{0x03, 0x00, 0x00, 0xFF, 0xFF, 0xFF};
const ByteVector kSealed{
    0x00, 0x00, 0x00,  // T & 1
    0x01, 0x01, 0x00,  // T >> 1 = 0x000101, bit 0 of 512 in bit 23
    0x00, 0x01, 0x80,  // 512 >> 1 = 0x000100, bit 0 of 0x000003 in bit 23
    0x01, 0x00, 0x80,  // 0x000003 >> 1, bit 0 of 0xFFFFFF in bit 23
    0xFF, 0xFF, 0x7F,  // 0xFFFFFF >> 1, nothing above it
};

TEST(SealingTest, ChecksumPairAndShiftOfASmallBody) {
    const SealedBytes sealed = Seal(kBody);
    ASSERT_EQ(sealed.status, ImageStatus::OK);
    EXPECT_EQ(sealed.bytes, kSealed);
}

TEST(SealingTest, OddChecksumGoesIntoWordZero) {
    // Body word 0x000001: T = 0x000201, odd.
    const SealedBytes sealed = Seal(ByteVector{0x01, 0x00, 0x00});
    ASSERT_EQ(sealed.status, ImageStatus::OK);
    EXPECT_EQ(sealed.bytes,
              (ByteVector{0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0x80, 0x00, 0x00, 0x00}));
}

TEST(SealingTest, BodyOfPartialWordsIsRefused) {
    EXPECT_EQ(Seal(ByteVector{1, 2, 3, 4}).status, ImageStatus::PARTIAL_WORD);
}

TEST(SealingTest, VerifyGivesTheBodyBack) {
    const SealedBytes body = VerifySeal(kSealed);
    ASSERT_EQ(body.status, ImageStatus::OK);
    EXPECT_EQ(body.bytes, kBody);
    const ByteVector longer{0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80, 0x90, 0xFF, 0xFF, 0xFF, 0, 0, 0};
    EXPECT_EQ(VerifySeal(Seal(longer).bytes).bytes, longer);
    EXPECT_EQ(VerifySeal(Seal(ByteVector{}).bytes).bytes, ByteVector{});
}

TEST(SealingTest, VerifyRefusesABrokenSeal) {
    const auto changed = [](size_t index, uint8_t value) {
        ByteVector bytes = kSealed;
        bytes[index] = value;
        return bytes;
    };
    const struct {
        const char* name;
        ByteVector sealed;
        ImageStatus status;
    } cases[] = {
        {"checksum bit 0", changed(0, 0x01), ImageStatus::BAD_SEAL},
        {"word 0 above 1", changed(0, 0x02), ImageStatus::BAD_SEAL},
        {"checksum", changed(3, 0x02), ImageStatus::BAD_SEAL},
        {"constant", changed(7, 0x02), ImageStatus::BAD_SEAL},
        {"body bit", changed(9, 0x03), ImageStatus::BAD_SEAL},
        {"last bit 23", changed(14, 0xFF), ImageStatus::BAD_SEAL},
        {"too short", ByteVector(kSealed.begin(), kSealed.begin() + 6), ImageStatus::BAD_SEAL},
        {"partial word", ByteVector(kSealed.begin(), kSealed.end() - 1), ImageStatus::PARTIAL_WORD},
        {"empty", {}, ImageStatus::BAD_SEAL},
    };
    for (const auto& c : cases) {
        const SealedBytes body = VerifySeal(c.sealed);
        EXPECT_EQ(body.status, c.status) << c.name;
        EXPECT_TRUE(body.bytes.empty()) << c.name;
    }
}

}  // namespace
}  // namespace firmware_image
