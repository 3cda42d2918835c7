// The player's load format for the data of an S-record file. Every S1 record becomes a block
// record: a 6-byte header and then the record's data bytes in text order. The block records
// follow the companion file's bytes, and the terminator ends them; the result is the body that
// sealing turns into the device image.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "firmware_image/image_options.h"
#include "firmware_image/image_status.h"
#include "firmware_image/srecord.h"
#include "firmware_image/version.h"

namespace firmware_image {

// The device's memory is made of 24-bit words, three bytes each, least significant first.
inline constexpr std::size_t kDeviceWordBytes = 3;

struct BlockRecordHeader {
    std::array<uint8_t, 2> address;    // the record's address, least significant byte first
    uint8_t memoryCode;                // memory code x 16
    std::array<uint8_t, 2> wordCount;  // device words of the record, least significant byte first
    uint8_t last;                      // ImageOptions::headerByte5
};
static_assert(sizeof(BlockRecordHeader) == 6);
static_assert(offsetof(BlockRecordHeader, memoryCode) == 2);
static_assert(offsetof(BlockRecordHeader, wordCount) == 3);
static_assert(offsetof(BlockRecordHeader, last) == 5);

// The end words 0xFFFFFF and 0x000000 after the last block record.
inline constexpr std::array<uint8_t, 6> kTerminator{0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00};

// The header of the block record of S1 record `record` for memory type `memoryType` (nullopt
// before the first S0 record). Memory types 1 to 4 have codes 2, 1, 3 and 4; type 3 counts its
// words in pairs (6 bytes), the others singly. A record that is not a whole number of words
// fails with PARTIAL_WORD, an unknown type as `options` say.
struct BlockHeaderResult {
    ImageStatus status = ImageStatus::OK;
    BlockRecordHeader header{};
};
BlockHeaderResult BlockHeaderOf(const SRecord& record, std::optional<uint8_t> memoryType,
                                const ImageOptions& options);

// Swaps bytes 0 and 2 of every whole 3-byte group.
void ReverseByteGroups(std::span<uint8_t> bytes);

struct ImageBody {
    ImageStatus status = ImageStatus::OK;
    std::vector<uint8_t> bytes;  // companion, block records (byte groups reversed if asked), terminator
    FirmwareVersion version;     // of the last S9 record
};

// Scans and checks every S0, S1 and S9 record of `text` and builds the body. The companion and
// the block records together must be whole device words (PARTIAL_WORD otherwise); a text without
// S1 records fails with NO_DATA_RECORDS.
ImageBody ConvertSRecords(std::span<const uint8_t> text, std::span<const uint8_t> companion,
                          const ImageOptions& options);

}  // namespace firmware_image
