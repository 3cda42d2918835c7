#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware_image/image.h"
#include "firmware_image/sealing.h"
#include "firmware_image/tests/srecord_text.h"

namespace firmware_image {
namespace {

using testing::Bytes;
using ByteVector = std::vector<uint8_t>;

// Memory type 1, one record of one word 11 22 33 at address 0x0010, version 1.2.3.4.
const std::string kText = "S0030001FB\r\nS106001011223383\r\nS90B00000001000200030004EA\r\n";

TEST(ImageTest, SystemAreaImageComputedByHand) {
    // Block record 10 00 20 01 00 00 11 22 33, byte groups reversed: 20 00 10 | 00 00 01 | 33 22 11,
    // then the terminator: words 0x100020, 0x010000, 0x112233, 0xFFFFFF, 0x000000.
    // T = (0x100020 + 0x010000 + 0x112233 + 0xFFFFFF + 512) mod 2^24 = 0x222452.
    const ByteVector expected{
        0x00, 0x00, 0x00,  // T & 1
        0x29, 0x12, 0x11,  // T >> 1 = 0x111229
        0x00, 0x01, 0x00,  // 512 >> 1, bit 0 of 0x100020 (0) in bit 23
        0x10, 0x00, 0x08,  // 0x100020 >> 1, bit 0 of 0x010000 (0)
        0x00, 0x80, 0x80,  // 0x010000 >> 1, bit 0 of 0x112233 (1)
        0x19, 0x91, 0x88,  // 0x112233 >> 1, bit 0 of 0xFFFFFF (1)
        0xFF, 0xFF, 0x7F,  // 0xFFFFFF >> 1, bit 0 of 0 (0)
        0x00, 0x00, 0x00,  // 0 >> 1
    };
    const Image image = BuildSystemImage(Bytes(kText), {}, FileFormat::S_RECORD);
    ASSERT_EQ(image.status, ImageStatus::OK);
    EXPECT_EQ(image.bytes, expected);
    EXPECT_EQ(image.version, (FirmwareVersion{{1, 2, 3, 4}}));
    EXPECT_EQ(image.Pages(), 1u);
}

TEST(ImageTest, LoaderImagesAreTheSealedBodiesOfTheirOptions) {
    const struct {
        const char* user;
        ImageOptions options;
        ByteVector body;
    } cases[] = {
        {"DCC",
         ImageOptions::ForDcc(),
         {0x10, 0x00, 0x20, 0x01, 0x00, 0x00, 0x11, 0x22, 0x33, 0xFF, 0xFF, 0xFF, 0, 0, 0}},
        {"recovery",
         ImageOptions::ForRecovery(),
         {0x10, 0x00, 0x20, 0x01, 0x00, 0x30, 0x11, 0x22, 0x33, 0xFF, 0xFF, 0xFF, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        const Image image = BuildSRecordImage(Bytes(kText), {}, c.options);
        ASSERT_EQ(image.status, ImageStatus::OK) << c.user;
        EXPECT_EQ(image.bytes.size(), c.body.size() + kSealBytes) << c.user;
        EXPECT_EQ(VerifySeal(image.bytes).bytes, c.body) << c.user;
    }
}

TEST(ImageTest, AnyFaultGivesAStatusAndNoImage) {
    const std::string badChecksum = "S0030001FB\nS106001011223384\nS9030000FC\n";
    const std::string shortRecord = "S0030001FB\nS1020000FD\n";
    for (const ImageOptions& options :
         {ImageOptions::ForSystemArea(), ImageOptions::ForDcc(), ImageOptions::ForRecovery()}) {
        for (const auto& [text, status] : {std::pair{badChecksum, ImageStatus::BAD_CHECKSUM},
                                           std::pair{shortRecord, ImageStatus::SHORT_RECORD}}) {
            const Image image = BuildSRecordImage(Bytes(text), {}, options);
            EXPECT_EQ(image.status, status);
            EXPECT_TRUE(image.bytes.empty());
            EXPECT_FALSE(image.Ok());
        }
    }
}

TEST(ImageTest, AbsurdSizesAreRefusedBeforeAnyWork) {
    const ByteVector huge(kMaxFirmwareFileBytes + 1, 'S');
    EXPECT_EQ(BuildSRecordImage(huge, {}, ImageOptions::ForRecovery()).status, ImageStatus::TOO_LARGE);
    EXPECT_EQ(BuildSRecordImage(Bytes(kText), huge, ImageOptions::ForSystemArea()).status,
              ImageStatus::TOO_LARGE);
    EXPECT_EQ(BuildRawImage(huge).status, ImageStatus::TOO_LARGE);
}

ByteVector Counting(size_t length) {
    ByteVector bytes(length);
    for (size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 + 1);
    }
    return bytes;
}

TEST(ImageTest, RawFileOf1020BytesFillsTwoPages) {
    const ByteVector file = Counting(1020);
    const Image image = BuildSystemImage(file, ByteVector{1, 2, 3}, FileFormat::RAW);
    ASSERT_EQ(image.status, ImageStatus::OK);
    ByteVector expected(file.begin(), file.begin() + 510);
    expected.insert(expected.end(), {0, 0});
    expected.insert(expected.end(), file.begin() + 510, file.end());
    expected.insert(expected.end(), {0, 0});
    EXPECT_EQ(image.bytes, expected);
    EXPECT_EQ(image.Pages(), 2u);
    EXPECT_EQ(image.version, FirmwareVersion{});
}

TEST(ImageTest, RawFileSizesAndTrailer) {
    const struct {
        size_t length;
        size_t imageBytes;
    } cases[] = {{1, 512}, {15, 512}, {510, 512}, {511, 1024}, {1021, 1536}};
    for (const auto& c : cases) {
        ByteVector file = Counting(c.length);
        if (c.length >= 15) {
            const ByteVector trailer{'V', 'e', 'r', 's', 'i', 'o', 'n', 9, 0, 8, 0, 7, 0, 6, 0};
            std::copy(trailer.begin(), trailer.end(), file.end() - 15);
        }
        const Image image = BuildRawImage(file);
        ASSERT_EQ(image.status, ImageStatus::OK);
        ASSERT_EQ(image.bytes.size(), c.imageBytes) << c.length;
        // The last page holds the remainder, then zeros.
        const size_t lastPage = c.imageBytes - 512;
        const size_t remainder = c.length - lastPage / 512 * 510;
        EXPECT_TRUE(std::equal(file.end() - static_cast<std::ptrdiff_t>(remainder), file.end(),
                               image.bytes.begin() + static_cast<std::ptrdiff_t>(lastPage)))
            << c.length;
        EXPECT_TRUE(std::all_of(image.bytes.begin() + static_cast<std::ptrdiff_t>(lastPage + remainder),
                                image.bytes.end(), [](uint8_t b) { return b == 0; }))
            << c.length;
        const FirmwareVersion expected = c.length >= 15 ? FirmwareVersion{{9, 8, 7, 6}} : FirmwareVersion{};
        EXPECT_EQ(image.version, expected) << c.length;
    }
}

TEST(ImageTest, EmptySystemFileHasAnEmptyImage) {
    for (const FileFormat format : {FileFormat::RAW, FileFormat::S_RECORD}) {
        const Image image = BuildSystemImage({}, ByteVector{1, 2, 3}, format);
        EXPECT_EQ(image.status, ImageStatus::OK);
        EXPECT_TRUE(image.bytes.empty());
        EXPECT_EQ(image.Pages(), 0u);
    }
}

TEST(ImageTest, StatusNames) {
    EXPECT_STREQ(ImageStatusName(ImageStatus::OK), "OK");
    EXPECT_STREQ(ImageStatusName(ImageStatus::TRUNCATED_RECORD), "TRUNCATED_RECORD");
    EXPECT_STREQ(ImageStatusName(ImageStatus::NO_MEMORY), "NO_MEMORY");
    EXPECT_STREQ(ImageStatusName(static_cast<ImageStatus>(200)), "?");
}

}  // namespace
}  // namespace firmware_image
