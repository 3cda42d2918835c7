#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware_image/block_records.h"
#include "firmware_image/tests/srecord_text.h"

namespace firmware_image {
namespace {

using testing::Bytes;
using testing::Record;
using ByteVector = std::vector<uint8_t>;

const ImageOptions kSystemArea = ImageOptions::ForSystemArea();
const ImageOptions kDcc = ImageOptions::ForDcc();
const ImageOptions kRecovery = ImageOptions::ForRecovery();

ByteVector WithTerminator(ByteVector bytes) {
    bytes.insert(bytes.end(), kTerminator.begin(), kTerminator.end());
    return bytes;
}

TEST(BlockRecordsTest, HeaderOfEachMemoryType) {
    const struct {
        std::string memoryDigit;
        size_t dataBytes;
        uint8_t byte2;
        uint8_t wordCount;
    } cases[] = {
        {"1", 6, 0x20, 2}, {"2", 6, 0x10, 2}, {"3", 6, 0x30, 1}, {"3", 12, 0x30, 2}, {"4", 3, 0x40, 1},
    };
    for (const auto& c : cases) {
        // The memory type is the last digit of the S0 address field; the rest of the field is ignored.
        const std::string text =
            Record('0', static_cast<uint16_t>(std::stoi("A" + c.memoryDigit, nullptr, 16)), {'h', 'd', 'r'}) +
            Record('1', 0x1234, ByteVector(c.dataBytes, 0x5A));
        for (const ImageOptions& options : {kSystemArea, kDcc, kRecovery}) {
            const ImageBody body = ConvertSRecords(Bytes(text), {}, options);
            ASSERT_EQ(body.status, ImageStatus::OK) << c.memoryDigit;
            ByteVector expected{0x34, 0x12, c.byte2, c.wordCount, 0x00, options.headerByte5};
            expected.insert(expected.end(), c.dataBytes, 0x5A);
            if (options.reverseByteGroups) {
                ReverseByteGroups(expected);
            }
            EXPECT_EQ(body.bytes, WithTerminator(expected)) << "memory type " << c.memoryDigit;
        }
    }
}

TEST(BlockRecordsTest, HeaderByte5AndByteGroupReversalPerUser) {
    const std::string text = "S0030001FB\nS106001011223383\nS9030000FC\n";
    const struct {
        const char* user;
        ImageOptions options;
        ByteVector body;
    } cases[] = {
        {"system area", kSystemArea, {0x20, 0x00, 0x10, 0x00, 0x00, 0x01, 0x33, 0x22, 0x11}},
        {"DCC", kDcc, {0x10, 0x00, 0x20, 0x01, 0x00, 0x00, 0x11, 0x22, 0x33}},
        {"recovery", kRecovery, {0x10, 0x00, 0x20, 0x01, 0x00, 0x30, 0x11, 0x22, 0x33}},
    };
    for (const auto& c : cases) {
        const ImageBody body = ConvertSRecords(Bytes(text), {}, c.options);
        ASSERT_EQ(body.status, ImageStatus::OK) << c.user;
        EXPECT_EQ(body.bytes, WithTerminator(c.body)) << c.user;
    }
}

TEST(BlockRecordsTest, UnknownMemoryTypesPerUser) {
    // Before any S0 record, and after an S0 naming a type outside 1..4.
    const std::string texts[] = {
        Record('1', 0x0107, {1, 2, 3}),
        Record('0', 0x0000, {}) + Record('1', 0x0107, {1, 2, 3}),
        Record('0', 0x0005, {}) + Record('1', 0x0107, {1, 2, 3}),
        Record('0', 0x000F, {}) + Record('1', 0x0107, {1, 2, 3}),
    };
    for (const std::string& text : texts) {
        // The low address byte 0x07 as memory code: 0x70 in byte 2; one 24-bit word.
        EXPECT_EQ(ConvertSRecords(Bytes(text), {}, kRecovery).bytes,
                  WithTerminator({0x07, 0x01, 0x70, 0x01, 0x00, 0x30, 1, 2, 3}))
            << text;
        EXPECT_EQ(ConvertSRecords(Bytes(text), {}, kSystemArea).bytes,
                  WithTerminator({0x70, 0x01, 0x07, 0x00, 0x00, 0x01, 3, 2, 1}))
            << text;
        EXPECT_EQ(ConvertSRecords(Bytes(text), {}, kDcc).status, ImageStatus::UNKNOWN_MEMORY_TYPE) << text;
    }
    // A later S0 naming a known type ends the unknown stretch.
    const std::string named = Record('0', 0x0002, {}) + Record('1', 0x0107, {1, 2, 3});
    EXPECT_EQ(ConvertSRecords(Bytes(named), {}, kDcc).status, ImageStatus::OK);
}

TEST(BlockRecordsTest, CompanionGoesFirstAndIsReversedWithTheRecords) {
    const std::string text = Record('0', 0x0001, {}) + Record('1', 0x0000, {7, 8, 9});
    const ImageBody body =
        ConvertSRecords(Bytes(text), ByteVector{0xA1, 0xA2, 0xA3, 0xB1, 0xB2, 0xB3}, kSystemArea);
    ASSERT_EQ(body.status, ImageStatus::OK);
    EXPECT_EQ(body.bytes, WithTerminator({0xA3, 0xA2, 0xA1, 0xB3, 0xB2, 0xB1, 0x20, 0x00, 0x00, 0x00, 0x00,
                                          0x01, 9, 8, 7}));
}

TEST(BlockRecordsTest, PartialWordsFail) {
    const struct {
        const char* name;
        std::string text;
        ByteVector companion;
    } cases[] = {
        {"4 data bytes", Record('0', 0x0001, {}) + Record('1', 0, {1, 2, 3, 4}), {}},
        {"3 bytes in pair memory", Record('0', 0x0003, {}) + Record('1', 0, {1, 2, 3}), {}},
        {"9 bytes in pair memory", Record('0', 0x0003, {}) + Record('1', 0, ByteVector(9, 1)), {}},
        {"companion of 2 bytes", Record('0', 0x0001, {}) + Record('1', 0, {1, 2, 3}), {1, 2}},
    };
    for (const auto& c : cases) {
        for (const ImageOptions& options : {kSystemArea, kDcc, kRecovery}) {
            EXPECT_EQ(ConvertSRecords(Bytes(c.text), c.companion, options).status, ImageStatus::PARTIAL_WORD)
                << c.name;
        }
    }
    // A record without data is a whole number of words.
    EXPECT_EQ(ConvertSRecords(Bytes(Record('0', 1, {}) + Record('1', 0, {})), {}, kDcc).bytes,
              WithTerminator({0, 0, 0x20, 0, 0, 0}));
}

TEST(BlockRecordsTest, TextWithoutDataRecordsFails) {
    for (const std::string text : {"", "no records here", "S0030001FB\nS9030000FC\n"}) {
        EXPECT_EQ(ConvertSRecords(Bytes(text), {}, kRecovery).status, ImageStatus::NO_DATA_RECORDS) << text;
    }
}

TEST(BlockRecordsTest, ReverseByteGroupsSwapsTheOuterBytesOfWholeGroups) {
    ByteVector bytes{1, 2, 3, 4, 5, 6, 7, 8};
    ReverseByteGroups(bytes);
    EXPECT_EQ(bytes, (ByteVector{3, 2, 1, 6, 5, 4, 7, 8}));
}

}  // namespace
}  // namespace firmware_image
