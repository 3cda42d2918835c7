// The version of a firmware file: four 16-bit words, numbered 0 to 3 in the order in which the
// S9 record and the raw trailer hold them and pages 2 to 5 of a file's first block carry them.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "firmware_image/file_format.h"
#include "firmware_image/image_status.h"
#include "firmware_image/srecord.h"

namespace firmware_image {

struct FirmwareVersion {
    std::array<uint16_t, 4> words{};

    // The file set's version entries hold two words each, the lower-numbered word in the low half.
    uint32_t Entry01() const { return uint32_t{words[0]} | uint32_t{words[1]} << 16; }
    uint32_t Entry23() const { return uint32_t{words[2]} | uint32_t{words[3]} << 16; }

    friend bool operator==(const FirmwareVersion&, const FirmwareVersion&) = default;
};

// An S9 record with length byte 0x0B carries the four words as its 8 data bytes, each word most
// significant byte first; any other S9 record means 0.0.0.0.
inline constexpr uint8_t kVersionRecordCount = 0x0B;
FirmwareVersion VersionOfEndRecord(const SRecord& record);

// A raw file ends in the 15-byte trailer "Version" and the four words, least significant byte
// first. A file without it, or shorter than it, has 0.0.0.0.
inline constexpr std::array<uint8_t, 7> kVersionTag{'V', 'e', 'r', 's', 'i', 'o', 'n'};
inline constexpr std::size_t kVersionTrailerBytes = kVersionTag.size() + 8;
FirmwareVersion RawFileVersion(std::span<const uint8_t> file);

struct VersionRead {
    ImageStatus status = ImageStatus::OK;
    FirmwareVersion version;
};

// The version of a firmware file without building its image. In an S-record text the last S9
// record decides; only the S9 records are checked, and a bad one fails the read.
VersionRead ReadFileVersion(std::span<const uint8_t> file, FileFormat format);

}  // namespace firmware_image
