#include "firmware_image/image_status.h"

#include <array>

namespace firmware_image {

const char* ImageStatusName(ImageStatus status) {
    static constexpr std::array kNames{
        "OK",           "BAD_CHECKSUM",     "BAD_DIGIT",
        "SHORT_RECORD", "TRUNCATED_RECORD", "UNKNOWN_MEMORY_TYPE",
        "PARTIAL_WORD", "NO_DATA_RECORDS",  "TOO_LARGE",
        "BAD_SEAL",     "NO_MEMORY",
    };
    const auto index = static_cast<std::size_t>(status);
    return index < kNames.size() ? kNames[index] : "?";
}

}  // namespace firmware_image
