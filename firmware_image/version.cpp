#include "firmware_image/version.h"

#include <algorithm>

namespace firmware_image {

FirmwareVersion VersionOfEndRecord(const SRecord& record) {
    FirmwareVersion version;
    if (record.type != RecordType::S9 || record.count != kVersionRecordCount) {
        return version;
    }
    const auto data = record.Data();
    for (std::size_t k = 0; k < version.words.size(); ++k) {
        version.words[k] = static_cast<uint16_t>(data[2 * k] << 8 | data[2 * k + 1]);
    }
    return version;
}

FirmwareVersion RawFileVersion(std::span<const uint8_t> file) {
    FirmwareVersion version;
    if (file.size() < kVersionTrailerBytes) {
        return version;
    }
    const auto trailer = file.last(kVersionTrailerBytes);
    if (!std::equal(kVersionTag.begin(), kVersionTag.end(), trailer.begin())) {
        return version;
    }
    const auto words = trailer.subspan(kVersionTag.size());
    for (std::size_t k = 0; k < version.words.size(); ++k) {
        version.words[k] = static_cast<uint16_t>(words[2 * k] | words[2 * k + 1] << 8);
    }
    return version;
}

VersionRead ReadFileVersion(std::span<const uint8_t> file, FileFormat format) {
    if (format == FileFormat::RAW) {
        return {ImageStatus::OK, RawFileVersion(file)};
    }
    VersionRead read;
    SRecordScanner scanner(file, RecordSelection::S9_ONLY);
    SRecord record;
    while (scanner.Next(record)) {
        read.version = VersionOfEndRecord(record);
    }
    if (scanner.Status() != ImageStatus::OK) {
        return {scanner.Status(), {}};
    }
    return read;
}

}  // namespace firmware_image
