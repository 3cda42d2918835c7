// The MultiMediaCard in the player's card slot: a plain file of 512-byte sectors and the card's
// registers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "media_format/mapped_file.h"

namespace player {

inline constexpr std::size_t CARD_SECTOR_BYTES = 512;

struct CardRegisters {
    std::array<std::uint8_t, 18> cid{};
    std::array<std::uint8_t, 16> csd{};
    std::uint32_t ocr = 0x80FF8000;  // powered up, 2.7-3.6 V
    std::uint16_t status = 0;
    std::uint8_t property = 0;
    std::uint8_t eraseGroupSectors = 32;
    std::string serial = "RPXCARD0001";
};

class MemoryCard {
  public:
    // Maps an existing card file; its size must be a whole number of sectors.
    static std::optional<MemoryCard> Open(const std::string& path, std::string& error);
    // Creates a zeroed card file of `sectors` sectors.
    static std::optional<MemoryCard> Create(const std::string& path, std::uint32_t sectors,
                                            std::string& error);

    std::uint32_t SectorCount() const { return static_cast<std::uint32_t>(file_.Size() / CARD_SECTOR_BYTES); }
    const std::string& Path() const { return file_.Path(); }

    // Sector access; the caller keeps `sector` below SectorCount().
    std::span<const std::uint8_t, CARD_SECTOR_BYTES> Sector(std::uint32_t sector) const;
    void WriteSector(std::uint32_t sector, std::span<const std::uint8_t, CARD_SECTOR_BYTES> data);
    // Erased sectors read as zeros.
    void EraseSectors(std::uint32_t first, std::uint32_t last);

    CardRegisters& Registers() { return registers_; }
    const CardRegisters& Registers() const { return registers_; }

  private:
    explicit MemoryCard(media_format::MappedFile file) : file_(std::move(file)) {}
    static std::optional<MemoryCard> FromFile(std::optional<media_format::MappedFile> file,
                                              std::string& error);

    media_format::MappedFile file_;
    CardRegisters registers_;
};

}  // namespace player
