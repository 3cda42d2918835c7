// The player's NAND flash array: pages of 512 data bytes and a 16-byte redundant area, erased in
// blocks to 0xFF and programmed by clearing bits only. The medium is a plain file of pages in order,
// mapped shared, so every change is in the file at once and a medium of any size opens without a copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "media_format/geometry.h"
#include "media_format/mapped_file.h"

namespace player {

inline constexpr std::size_t PAGE_BYTES = media_format::kPageBytes;

class NandMedium {
  public:
    // Maps an existing medium file; its size must be that of a known geometry.
    static std::optional<NandMedium> Open(const std::string& path, std::string& error);
    // Creates a factory-fresh medium: all 0xFF, and on each factory bad block the first two pages
    // carry block status 0x00. Bad block numbers outside the medium are an error.
    static std::optional<NandMedium> Create(const std::string& path, const media_format::Geometry& geometry,
                                            std::span<const std::uint32_t> badBlocks, std::string& error);

    const media_format::Geometry& Geometry() const { return *geometry_; }
    std::uint32_t PagesPerBlock() const { return geometry_->pagesPerBlock; }
    std::uint32_t BlockCount() const { return geometry_->physicalBlocks; }
    std::uint64_t PageCount() const { return geometry_->PhysicalPages(); }
    const std::string& Path() const { return file_.Path(); }

    // The page's 528 bytes as they lie in the file; the caller keeps `page` below PageCount().
    std::span<const std::uint8_t, PAGE_BYTES> Page(std::uint64_t page) const;
    // Clears the bits that are clear in `data` (the result is the AND of old and new), over the
    // first data.size() bytes of the page, at most 528.
    void ProgramPage(std::uint64_t page, std::span<const std::uint8_t> data);
    // Sets every byte of the first `pages` pages of the block to 0xFF (a whole block by default).
    void EraseBlock(std::uint32_t block, std::uint32_t pages = UINT32_MAX);

  private:
    NandMedium(media_format::MappedFile file, const media_format::Geometry& geometry)
        : file_(std::move(file)), geometry_(&geometry) {}
    std::uint8_t* PageBytes(std::uint64_t page) const {
        return file_.WritableBytes().data() + page * PAGE_BYTES;
    }

    media_format::MappedFile file_;
    const media_format::Geometry* geometry_;
};

// Offset within a page of its redundant area's block status byte.
inline constexpr std::size_t BLOCK_STATUS_OFFSET = media_format::kPageDataBytes + 5;

}  // namespace player
