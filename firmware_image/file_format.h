// The two kinds of firmware file of a file set.
#pragma once

#include <cstdint>

namespace firmware_image {

enum class FileFormat : uint8_t {
    RAW,       // raw binary, packed 510 bytes to a page, version in a "Version" trailer
    S_RECORD,  // Motorola S-record text, version in its S9 record
};

// The file set's format type: 0 is a raw binary file, every other value an S-record text.
constexpr FileFormat FileFormatOfType(uint32_t formatType) {
    return formatType == 0 ? FileFormat::RAW : FileFormat::S_RECORD;
}

}  // namespace firmware_image
