#include <algorithm>

#include "firmware_image/allocation_guard.h"
#include "firmware_image/image.h"

namespace firmware_image {

Image BuildRawImage(std::span<const uint8_t> file) {
    if (file.size() > kMaxFirmwareFileBytes) {
        return {ImageStatus::TOO_LARGE, {}, {}};
    }
    return WithoutAllocationFailure<Image>([&] {
        Image image;
        image.version = RawFileVersion(file);
        const std::size_t pages = (file.size() + kRawBytesPerPage - 1) / kRawBytesPerPage;
        image.bytes.assign(pages * kImagePageBytes, 0);
        for (std::size_t page = 0; page < pages; ++page) {
            const auto part = file.subspan(page * kRawBytesPerPage,
                                           std::min(kRawBytesPerPage, file.size() - page * kRawBytesPerPage));
            std::copy(part.begin(), part.end(), image.bytes.begin() + page * kImagePageBytes);
        }
        return image;
    });
}

}  // namespace firmware_image
