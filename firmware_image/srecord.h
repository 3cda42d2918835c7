// Motorola S-record text as the firmware files carry it. The scanner looks at the text byte by
// byte for 'S' followed by '0', '1' or '9'; lines, other record types and any other characters
// are passed over. Each record found is decoded and its checksum checked: the length byte, the
// address and data bytes and the checksum byte add up to 0xFF. Hex digits are '0'..'9' and
// upper-case 'A'..'F' only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "firmware_image/image_status.h"

namespace firmware_image {

enum class RecordType : uint8_t {
    S0,  // header: the last digit of its address field names the memory type of the S1 records after it
    S1,  // data, with a 16-bit address
    S9,  // end: with 8 data bytes it carries the file's version
};

// The length byte counts the 2 address bytes, the data bytes and the checksum byte.
inline constexpr uint8_t kMinRecordCount = 3;
inline constexpr std::size_t kMaxRecordDataBytes = 0xFF - kMinRecordCount;

struct SRecord {
    RecordType type = RecordType::S0;
    std::size_t offset = 0;  // of its 'S' in the text
    uint8_t count = kMinRecordCount;
    uint16_t address = 0;
    std::array<uint8_t, kMaxRecordDataBytes> data{};

    std::span<const uint8_t> Data() const { return std::span(data).first(count - kMinRecordCount); }
};

enum class RecordSelection : uint8_t {
    ALL,      // S0, S1 and S9
    S9_ONLY,  // the end records; the others are passed over unchecked
};

class SRecordScanner {
  public:
    explicit SRecordScanner(std::span<const uint8_t> text, RecordSelection selection = RecordSelection::ALL);

    // Finds, decodes and checks the next selected record. False at the end of the text or at the
    // first bad record; Status() is OK at the end and tells the fault otherwise. Once false, stays
    // false.
    bool Next(SRecord& record);
    ImageStatus Status() const { return status_; }

  private:
    bool Fail(ImageStatus status);

    std::span<const uint8_t> text_;
    RecordSelection selection_;
    std::size_t position_ = 0;
    ImageStatus status_ = ImageStatus::OK;
    bool ended_ = false;
};

}  // namespace firmware_image
