#include "firmware_image/image.h"

#include "firmware_image/block_records.h"
#include "firmware_image/sealing.h"

namespace firmware_image {

Image BuildSRecordImage(std::span<const uint8_t> text, std::span<const uint8_t> companion,
                        const ImageOptions& options) {
    if (text.size() > kMaxFirmwareFileBytes || companion.size() > kMaxFirmwareFileBytes) {
        return {ImageStatus::TOO_LARGE, {}, {}};
    }
    const ImageBody body = ConvertSRecords(text, companion, options);
    if (body.status != ImageStatus::OK) {
        return {body.status, {}, {}};
    }
    SealedBytes sealed = Seal(body.bytes);
    if (sealed.status != ImageStatus::OK) {
        return {sealed.status, {}, {}};
    }
    return {ImageStatus::OK, std::move(sealed.bytes), body.version};
}

Image BuildSystemImage(std::span<const uint8_t> file, std::span<const uint8_t> companion, FileFormat format) {
    if (file.empty()) {
        return {};
    }
    if (format == FileFormat::RAW) {
        return BuildRawImage(file);
    }
    return BuildSRecordImage(file, companion, ImageOptions::ForSystemArea());
}

}  // namespace firmware_image
