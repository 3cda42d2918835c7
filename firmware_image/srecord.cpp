#include "firmware_image/srecord.h"

#include <algorithm>
#include <optional>

namespace firmware_image {

namespace {

// 'S', the type digit and the two digits of the length byte.
constexpr std::size_t kRecordPrefixChars = 4;

std::optional<uint8_t> HexDigitValue(uint8_t c) {
    if (c >= '0' && c <= '9') {
        return static_cast<uint8_t>(c - '0');
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<uint8_t>(c - 'A' + 10);
    }
    return std::nullopt;
}

// The byte written as two hex digits at `at`; the caller has checked that they lie in the text.
std::optional<uint8_t> HexByteAt(std::span<const uint8_t> text, std::size_t at) {
    const auto high = HexDigitValue(text[at]);
    const auto low = HexDigitValue(text[at + 1]);
    if (!high || !low) {
        return std::nullopt;
    }
    return static_cast<uint8_t>(*high << 4 | *low);
}

std::optional<RecordType> RecordTypeOf(uint8_t c) {
    switch (c) {
        case '0':
            return RecordType::S0;
        case '1':
            return RecordType::S1;
        case '9':
            return RecordType::S9;
        default:
            return std::nullopt;
    }
}

bool IsSelected(RecordType type, RecordSelection selection) {
    return selection == RecordSelection::ALL || type == RecordType::S9;
}

}  // namespace

SRecordScanner::SRecordScanner(std::span<const uint8_t> text, RecordSelection selection)
    : text_(text), selection_(selection) {}

bool SRecordScanner::Fail(ImageStatus status) {
    status_ = status;
    ended_ = true;
    return false;
}

bool SRecordScanner::Next(SRecord& record) {
    while (!ended_ && position_ + 1 < text_.size()) {
        const std::size_t at = position_;
        const auto type = text_[at] == 'S' ? RecordTypeOf(text_[at + 1]) : std::nullopt;
        if (!type || !IsSelected(*type, selection_)) {
            ++position_;
            continue;
        }
        if (at + kRecordPrefixChars > text_.size()) {
            return Fail(ImageStatus::TRUNCATED_RECORD);
        }
        const auto count = HexByteAt(text_, at + 2);
        if (!count) {
            return Fail(ImageStatus::BAD_DIGIT);
        }
        if (*count < kMinRecordCount) {
            return Fail(ImageStatus::SHORT_RECORD);
        }
        // The length byte counts the bytes after it, the checksum included.
        const std::size_t recordChars = kRecordPrefixChars + 2 * std::size_t{*count};
        if (recordChars > text_.size() - at) {
            return Fail(ImageStatus::TRUNCATED_RECORD);
        }
        std::array<uint8_t, 0xFF> bytes{};
        unsigned sum = *count;
        for (std::size_t k = 0; k < *count; ++k) {
            const auto byte = HexByteAt(text_, at + kRecordPrefixChars + 2 * k);
            if (!byte) {
                return Fail(ImageStatus::BAD_DIGIT);
            }
            bytes[k] = *byte;
            sum += *byte;
        }
        if ((sum & 0xFF) != 0xFF) {
            return Fail(ImageStatus::BAD_CHECKSUM);
        }
        record.type = *type;
        record.offset = at;
        record.count = *count;
        record.address = static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
        std::copy_n(bytes.begin() + 2, *count - kMinRecordCount, record.data.begin());
        // A checked record holds hex digits only, so no record can start inside it.
        position_ = at + recordChars;
        return true;
    }
    ended_ = true;
    return false;
}

}  // namespace firmware_image
