// Device images of firmware files, for the three places a player gets them: the system area of
// its medium (S-record or raw files), the DCC load and the recovery load (S-record files). An
// image and its status come back together; nothing throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "firmware_image/file_format.h"
#include "firmware_image/image_options.h"
#include "firmware_image/image_status.h"
#include "firmware_image/version.h"

namespace firmware_image {

// No firmware file comes near this; larger files (or companions) are refused with TOO_LARGE
// before anything is allocated.
inline constexpr std::size_t kMaxFirmwareFileBytes = 16 * 1024 * 1024;

// A raw file fills 510 bytes of every 512-byte page; the last two bytes of a page are zero.
inline constexpr std::size_t kRawBytesPerPage = 510;
inline constexpr std::size_t kImagePageBytes = 512;

struct Image {
    ImageStatus status = ImageStatus::OK;
    std::vector<uint8_t> bytes;  // empty unless status is OK
    FirmwareVersion version;     // of the S9 record or the raw trailer

    bool Ok() const { return status == ImageStatus::OK; }
    // Pages of the medium that the image takes; the last one is padded with zeros.
    std::size_t Pages() const { return (bytes.size() + kImagePageBytes - 1) / kImagePageBytes; }
};

// The sealed image of an S-record text: the companion's bytes (the system area's ".ppd" file;
// empty for the loaders) and the block records, as `options` say, then the terminator and the
// seal. Every record is checked; the first fault fails the image.
Image BuildSRecordImage(std::span<const uint8_t> text, std::span<const uint8_t> companion,
                        const ImageOptions& options);

// The paged image of a raw file: ceiling(length / 510) pages of 512 bytes, each holding the next
// 510 file bytes and then zeros. The version comes from the file's trailer.
Image BuildRawImage(std::span<const uint8_t> file);

// The image of a system file as the library writes it into the system area: by the file's
// format, with the system area's options; the companion serves S-record files only. An empty
// file has an empty image and is not written.
Image BuildSystemImage(std::span<const uint8_t> file, std::span<const uint8_t> companion, FileFormat format);

}  // namespace firmware_image
