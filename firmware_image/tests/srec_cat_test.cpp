// S-record files made by srecord's srec_cat, not by us, parse into exactly the bytes they were
// made from.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "firmware_image/block_records.h"
#include "firmware_image/image.h"
#include "firmware_image/sealing.h"
#include "firmware_image/tests/file_helpers.h"

namespace firmware_image {
namespace {

using ByteVector = std::vector<uint8_t>;

// Runs srec_cat over `bytes` as a binary file with the given options and returns its S-record text.
ByteVector SRecordsBySrecCat(const ByteVector& bytes, const std::string& options) {
    const testing::ScratchFolder folder;
    const auto input = folder.Path() / "input.bin";
    const auto output = folder.Path() / "output.s";
    testing::WriteFile(input, bytes);
    const std::string command = std::string(RPX_SREC_CAT) + " '" + input.string() + "' -binary " + options +
                                " -o '" + output.string() + "' -motorola -address-length=2";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return testing::ReadFile(output);
}

struct LoadedBlock {
    uint16_t address;
    uint8_t memoryCode;
    ByteVector data;
};

// Walks the block records of a body the way the device reads them: header, then the header's
// word count of 3-byte words, up to the terminator.
std::vector<LoadedBlock> WalkBlocks(const ByteVector& body) {
    std::vector<LoadedBlock> blocks;
    size_t at = 0;
    while (
        at + sizeof(BlockRecordHeader) <= body.size() &&
        !std::equal(kTerminator.begin(), kTerminator.end(), body.begin() + static_cast<std::ptrdiff_t>(at))) {
        const size_t words = body[at + 3] | body[at + 4] << 8;
        LoadedBlock block{
            static_cast<uint16_t>(body[at] | body[at + 1] << 8), static_cast<uint8_t>(body[at + 2] >> 4), {}};
        const size_t dataAt = at + sizeof(BlockRecordHeader);
        EXPECT_LE(dataAt + words * kDeviceWordBytes, body.size());
        block.data.assign(body.begin() + static_cast<std::ptrdiff_t>(dataAt),
                          body.begin() + static_cast<std::ptrdiff_t>(dataAt + words * kDeviceWordBytes));
        blocks.push_back(block);
        at = dataAt + words * kDeviceWordBytes;
    }
    EXPECT_EQ(at + kTerminator.size(), body.size()) << "the terminator ends the body";
    return blocks;
}

ByteVector Pattern(size_t length) {
    ByteVector bytes(length);
    for (size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    }
    return bytes;
}

TEST(SrecCatTest, ParsedImageHoldsTheBytesSrecCatWasGiven) {
    const struct {
        size_t length;
        std::string options;
        uint16_t firstAddress;
    } cases[] = {
        {3, "-obs=3", 0x0000},
        {48, "-obs=24", 0x0000},
        {300, "-obs=30", 0x0000},
        {756, "-obs=252", 0x0000},
        {96, "-offset 0x4000 -obs=24", 0x4000},
        {60, "-obs=12 -header 'Qorvsys test'", 0x0000},
    };
    for (const auto& c : cases) {
        const ByteVector bytes = Pattern(c.length);
        const ByteVector text = SRecordsBySrecCat(bytes, c.options);
        ASSERT_FALSE(text.empty()) << c.options;
        // srec_cat's S0 record has address 0000, which names no memory type: the recovery loader
        // takes the low address byte as memory code, the DCC load refuses the file.
        const ImageBody body = ConvertSRecords(text, {}, ImageOptions::ForRecovery());
        ASSERT_EQ(body.status, ImageStatus::OK) << c.options << ": " << ImageStatusName(body.status);
        EXPECT_EQ(ConvertSRecords(text, {}, ImageOptions::ForDcc()).status, ImageStatus::UNKNOWN_MEMORY_TYPE);
        EXPECT_EQ(body.version, FirmwareVersion{}) << "srec_cat's S9 record carries no version";

        ByteVector loaded;
        for (const LoadedBlock& block : WalkBlocks(body.bytes)) {
            EXPECT_EQ(block.address, c.firstAddress + loaded.size()) << c.options;
            EXPECT_EQ(block.memoryCode, block.address & 0x0F) << c.options;
            loaded.insert(loaded.end(), block.data.begin(), block.data.end());
        }
        EXPECT_EQ(loaded, bytes) << c.options;

        // The sealed image gives the same body back.
        const Image image = BuildSRecordImage(text, {}, ImageOptions::ForRecovery());
        ASSERT_EQ(image.status, ImageStatus::OK);
        EXPECT_EQ(VerifySeal(image.bytes).bytes, body.bytes) << c.options;
    }
}

TEST(SrecCatTest, RecordsSplitInsideAWordAreRefused) {
    const ByteVector text = SRecordsBySrecCat(Pattern(48), "-obs=16");
    EXPECT_EQ(BuildSRecordImage(text, {}, ImageOptions::ForRecovery()).status, ImageStatus::PARTIAL_WORD);
}

TEST(SrecCatTest, WrongChecksumInASrecCatFileFails) {
    ByteVector text = SRecordsBySrecCat(Pattern(24), "-obs=24");
    const auto record = std::search(text.begin(), text.end(), std::begin("S1"), std::end("S1") - 1);
    ASSERT_NE(record, text.end());
    // The first data digit: a different digit changes the data, not the stored checksum.
    auto& digit = *(record + 8);
    digit = digit == '0' ? '1' : '0';
    for (const ImageOptions& options :
         {ImageOptions::ForSystemArea(), ImageOptions::ForDcc(), ImageOptions::ForRecovery()}) {
        EXPECT_EQ(BuildSRecordImage(text, {}, options).status, ImageStatus::BAD_CHECKSUM);
    }
}

}  // namespace
}  // namespace firmware_image
