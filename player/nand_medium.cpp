#include "player/nand_medium.h"

#include <algorithm>
#include <cstring>

#include "media_format/redundant_area.h"

namespace player {

static_assert(BLOCK_STATUS_OFFSET ==
              media_format::kPageDataBytes + offsetof(media_format::RedundantArea, blockStatus));

std::optional<NandMedium> NandMedium::Open(const std::string& path, std::string& error) {
    auto file = media_format::MappedFile::Open(path, media_format::MappedFile::Access::ReadWrite, error);
    if (!file) {
        return std::nullopt;
    }
    const media_format::Geometry* geometry = media_format::GeometryOfMediumBytes(file->Size());
    if (geometry == nullptr) {
        error = path + " has " + std::to_string(file->Size()) + " bytes, which is no known medium size";
        return std::nullopt;
    }
    return NandMedium(std::move(*file), *geometry);
}

std::optional<NandMedium> NandMedium::Create(const std::string& path, const media_format::Geometry& geometry,
                                             std::span<const std::uint32_t> badBlocks, std::string& error) {
    for (std::uint32_t block : badBlocks) {
        if (block >= geometry.physicalBlocks) {
            error = "bad block " + std::to_string(block) + " is outside the medium of " +
                    std::to_string(geometry.physicalBlocks) + " blocks";
            return std::nullopt;
        }
    }
    auto file = media_format::MappedFile::Create(path, geometry.MediumBytes(), 0xFF, error);
    if (!file) {
        return std::nullopt;
    }
    NandMedium medium(std::move(*file), geometry);
    for (std::uint32_t block : badBlocks) {
        for (std::uint32_t page = 0; page < 2; ++page) {
            medium.PageBytes(std::uint64_t{block} * geometry.pagesPerBlock + page)[BLOCK_STATUS_OFFSET] =
                0x00;
        }
    }
    return medium;
}

std::span<const std::uint8_t, PAGE_BYTES> NandMedium::Page(std::uint64_t page) const {
    return std::span<const std::uint8_t, PAGE_BYTES>(PageBytes(page), PAGE_BYTES);
}

void NandMedium::ProgramPage(std::uint64_t page, std::span<const std::uint8_t> data) {
    std::uint8_t* target = PageBytes(page);
    const std::size_t length = std::min(data.size(), PAGE_BYTES);
    for (std::size_t i = 0; i < length; ++i) {
        target[i] &= data[i];
    }
}

void NandMedium::EraseBlock(std::uint32_t block, std::uint32_t pages) {
    const std::uint32_t erased = std::min(pages, PagesPerBlock());
    std::memset(PageBytes(std::uint64_t{block} * PagesPerBlock()), 0xFF, std::size_t{erased} * PAGE_BYTES);
}

}  // namespace player
