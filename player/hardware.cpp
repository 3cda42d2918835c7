#include "player/hardware.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace player {

PlayerHardware::PlayerHardware(PlayerSettings settings, PlayerOptions options,
                               std::optional<NandMedium> medium)
    : settings_(std::move(settings)),
      options_(std::move(options)),
      faults_(options_.faults, options_.seed),
      medium_(std::move(medium)) {}

void PlayerHardware::PowerOn() {
    poweredOn_ = true;
    mediumChanged_ = true;
    cardChanged_ = true;
    programFailures_ = 0;
}

void PlayerHardware::SwapMedium(std::optional<NandMedium> medium) {
    medium_ = std::move(medium);
    mediumChanged_ = true;
}

bool PlayerHardware::TakeMediumChanged() {
    return std::exchange(mediumChanged_, false);
}

std::uint32_t PlayerHardware::TakeProgramFailures() {
    return std::exchange(programFailures_, 0);
}

bool PlayerHardware::PowerCutTears() {
    if (!faults_.TearsNextOperation()) {
        return false;
    }
    poweredOn_ = false;
    return true;
}

nanoseconds PlayerHardware::ReadPage(std::uint64_t page, std::span<std::uint8_t, PAGE_BYTES> out) {
    PowerCutTears();  // a read torn by a power cut has no effect on the medium
    std::memcpy(out.data(), medium_->Page(page).data(), PAGE_BYTES);
    faults_.ApplyReadFaults(page, out);
    return options_.timing.PageRead(PAGE_BYTES);
}

nanoseconds PlayerHardware::ReadRedundantArea(std::uint64_t page,
                                              std::span<std::uint8_t, media_format::kRedundantBytes> out) {
    std::array<std::uint8_t, PAGE_BYTES> bytes;
    ReadPage(page, bytes);
    std::memcpy(out.data(), bytes.data() + media_format::kPageDataBytes, out.size());
    return options_.timing.PageRead(out.size());
}

nanoseconds PlayerHardware::ProgramPage(std::uint64_t page, std::span<const std::uint8_t> data) {
    const std::uint32_t block = static_cast<std::uint32_t>(page / medium_->PagesPerBlock());
    if (PowerCutTears()) {
        medium_->ProgramPage(page, data.first(faults_.TearPoint(data.size())));
        return options_.timing.pageProgram;
    }
    if (auto programmed = faults_.ProgramFailure(page, block, data.size())) {
        medium_->ProgramPage(page, data.first(*programmed));
        ++programFailures_;
    } else {
        medium_->ProgramPage(page, data);
    }
    return options_.timing.pageProgram;
}

nanoseconds PlayerHardware::EraseBlock(std::uint32_t block, bool& failed) {
    if (PowerCutTears()) {
        // A torn erase leaves the block's first pages erased and the rest as they were.
        medium_->EraseBlock(block, static_cast<std::uint32_t>(faults_.TearPoint(medium_->PagesPerBlock())));
        failed = true;
        return options_.timing.blockErase;
    }
    failed = faults_.EraseFails(block);
    if (!failed) {
        medium_->EraseBlock(block);
    }
    return options_.timing.blockErase;
}

void PlayerHardware::InsertCard(MemoryCard card) {
    card_ = std::move(card);
    cardChanged_ = true;
}

void PlayerHardware::RemoveCard() {
    card_.reset();
    cardChanged_ = true;
}

bool PlayerHardware::TakeCardChanged() {
    return std::exchange(cardChanged_, false);
}

nanoseconds PlayerHardware::ReadCardSector(std::uint32_t sector,
                                           std::span<std::uint8_t, CARD_SECTOR_BYTES> out) {
    PowerCutTears();
    std::memcpy(out.data(), card_->Sector(sector).data(), CARD_SECTOR_BYTES);
    return options_.timing.cardSectorRead;
}

nanoseconds PlayerHardware::WriteCardSector(std::uint32_t sector,
                                            std::span<const std::uint8_t, CARD_SECTOR_BYTES> data) {
    if (PowerCutTears()) {
        // The card's controller writes whole sectors: a torn write leaves the sector as it was.
        return options_.timing.cardSectorWrite;
    }
    card_->WriteSector(sector, data);
    return options_.timing.cardSectorWrite;
}

nanoseconds PlayerHardware::EraseCardSectors(std::uint32_t first, std::uint32_t last) {
    if (!PowerCutTears()) {
        card_->EraseSectors(first, last);
    }
    return options_.timing.cardErase;
}

void PlayerHardware::RecordProtocolError(ProtocolErrorKind kind, std::string detail) {
    protocolErrors_.push_back({kind, faults_.PacketCount(), std::move(detail)});
}

}  // namespace player
