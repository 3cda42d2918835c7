#include "player/player.h"

#include "player/command_processor.h"

namespace player {
namespace {

BootDecision CheckMedium(const std::optional<NandMedium>& medium, PlayButton play) {
    if (!medium) {
        return DecideBoot(nullptr, {}, play);
    }
    return DecideBoot(&medium->Geometry(), [&](std::uint64_t page) { return medium->Page(page); }, play);
}

}  // namespace

Player::Player(PlayerSettings settings, PlayerOptions options, std::optional<NandMedium> medium,
               std::optional<MemoryCard> card)
    : hardware_(std::make_unique<PlayerHardware>(std::move(settings), std::move(options), std::move(medium))),
      firmware_(std::make_unique<CommandProcessor>(*hardware_)) {
    if (card) {
        hardware_->InsertCard(std::move(*card));
    }
    bootDecision_ = CheckMedium(hardware_->Medium(), PlayButton::RELEASED);
}

BulkOutResult Player::HandleBulkOut(std::span<const std::uint8_t> bytes) {
    if (!hardware_->PoweredOn()) {
        return {};
    }
    BulkOutResult result{true, {}};
    result.time.device = firmware_->HandleBulkOut(bytes);
    result.time.bus = hardware_->Options().timing.BusTransfer(bytes.size());
    return result;
}

BulkInResult Player::HandleBulkIn(std::size_t maxLength) {
    if (!hardware_->PoweredOn()) {
        return {};
    }
    BulkInReply reply = firmware_->HandleBulkIn(maxLength);
    BulkInResult result{reply.answered, std::move(reply.data), {}};
    result.time.device = reply.deviceTime;
    if (result.answered) {
        result.time.bus = hardware_->Options().timing.BusTransfer(result.data.size());
    }
    return result;
}

void Player::HandleReset() {
    firmware_->HandleReset();
}

void Player::PowerOn(PlayButton play) {
    hardware_->PowerOn();
    firmware_->HandleReset();
    bootDecision_ = CheckMedium(hardware_->Medium(), play);
}

void Player::SetFirmware(std::unique_ptr<Firmware> firmware) {
    firmware_ = std::move(firmware);
}

std::uint8_t Player::InterfaceSubclass() const {
    return hardware_->Settings().dccRunning ? SUBCLASS_DCC_RUNNING : SUBCLASS_AWAITING_DCC;
}

}  // namespace player
