// The outcome of reading or building a firmware image. Every failure of a file's contents means
// the file is bad (the library answers PROGRAM_MEDIA_BAD_FILE, the loaders fail the load);
// NO_MEMORY is the one failure of the host itself.
#pragma once

#include <cstdint>

namespace firmware_image {

enum class ImageStatus : uint8_t {
    OK,
    BAD_CHECKSUM,         // a record's checksum byte does not match its bytes
    BAD_DIGIT,            // a record holds a character other than '0'..'9', 'A'..'F'
    SHORT_RECORD,         // a record's length byte is below 3: no room for address and checksum
    TRUNCATED_RECORD,     // a record runs past the end of the text
    UNKNOWN_MEMORY_TYPE,  // a data record for a memory type outside 1..4, where the user refuses it
    PARTIAL_WORD,         // data that is not a whole number of device words
    NO_DATA_RECORDS,      // an S-record text without a single S1 record
    TOO_LARGE,            // larger than any firmware file or image can be
    BAD_SEAL,             // a sealed image whose checksum, constant or last bit does not hold
    NO_MEMORY,            // the host could not allocate the image
};

// The enumerator's name, "OK" to "NO_MEMORY"; "?" for a value outside the enumeration.
const char* ImageStatusName(ImageStatus status);

}  // namespace firmware_image
