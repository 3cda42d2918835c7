#include "player/memory_card.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace player {

std::optional<MemoryCard> MemoryCard::FromFile(std::optional<media_format::MappedFile> file,
                                               std::string& error) {
    if (!file) {
        return std::nullopt;
    }
    if (file->Size() % CARD_SECTOR_BYTES != 0 ||
        file->Size() / CARD_SECTOR_BYTES > std::numeric_limits<std::uint32_t>::max()) {
        error = file->Path() + " is not a whole number of 512-byte sectors";
        return std::nullopt;
    }
    return MemoryCard(std::move(*file));
}

std::optional<MemoryCard> MemoryCard::Open(const std::string& path, std::string& error) {
    return FromFile(media_format::MappedFile::Open(path, media_format::MappedFile::Access::ReadWrite, error),
                    error);
}

std::optional<MemoryCard> MemoryCard::Create(const std::string& path, std::uint32_t sectors,
                                             std::string& error) {
    return FromFile(
        media_format::MappedFile::Create(path, std::size_t{sectors} * CARD_SECTOR_BYTES, 0x00, error), error);
}

std::span<const std::uint8_t, CARD_SECTOR_BYTES> MemoryCard::Sector(std::uint32_t sector) const {
    return std::span<const std::uint8_t, CARD_SECTOR_BYTES>(
        file_.Bytes().data() + std::size_t{sector} * CARD_SECTOR_BYTES, CARD_SECTOR_BYTES);
}

void MemoryCard::WriteSector(std::uint32_t sector, std::span<const std::uint8_t, CARD_SECTOR_BYTES> data) {
    std::memcpy(file_.WritableBytes().data() + std::size_t{sector} * CARD_SECTOR_BYTES, data.data(),
                CARD_SECTOR_BYTES);
}

void MemoryCard::EraseSectors(std::uint32_t first, std::uint32_t last) {
    auto bytes = file_.WritableBytes();
    std::fill(bytes.begin() + std::size_t{first} * CARD_SECTOR_BYTES,
              bytes.begin() + (std::size_t{last} + 1) * CARD_SECTOR_BYTES, std::uint8_t{0});
}

}  // namespace player
