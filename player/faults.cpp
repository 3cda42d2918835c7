#include "player/faults.h"

#include <algorithm>

namespace player {
namespace {

template <typename Container, typename Value>
bool Contains(const Container& container, const Value& value) {
    return std::find(container.begin(), container.end(), value) != container.end();
}

}  // namespace

FaultInjector::FaultInjector(FaultPlan plan, std::uint64_t seed) : plan_(std::move(plan)), random_(seed) {
    for (const WearOut& wearOut : plan_.wearOuts) {
        eraseCounts_.emplace_back(wearOut.block, 0);
    }
}

bool FaultInjector::Draw(double rate) {
    if (rate <= 0.0) {
        return false;
    }
    // 53 random bits as a fraction in [0, 1), the same on every standard library.
    const double fraction = static_cast<double>(random_() >> 11) * 0x1.0p-53;
    return fraction < rate;
}

std::uint32_t FaultInjector::EraseCount(std::uint32_t block) const {
    for (const auto& [countedBlock, erases] : eraseCounts_) {
        if (countedBlock == block) {
            return erases;
        }
    }
    return 0;
}

bool FaultInjector::IsWornOut(std::uint32_t block) const {
    for (const WearOut& wearOut : plan_.wearOuts) {
        if (wearOut.block == block && EraseCount(block) > wearOut.erases) {
            return true;
        }
    }
    return false;
}

bool FaultInjector::EraseFails(std::uint32_t block) {
    for (auto& [countedBlock, erases] : eraseCounts_) {
        if (countedBlock == block) {
            ++erases;
        }
    }
    const bool listed = Contains(plan_.eraseFailures, block);
    return listed || IsWornOut(block) || Draw(plan_.eraseFailureRate);
}

std::optional<std::size_t> FaultInjector::ProgramFailure(std::uint64_t page, std::uint32_t block,
                                                         std::size_t length) {
    const bool listed = Contains(plan_.programFailures, page);
    if (listed || IsWornOut(block) || Draw(plan_.programFailureRate)) {
        return TearPoint(length);
    }
    return std::nullopt;
}

void FaultInjector::ApplyReadFaults(std::uint64_t page, std::span<std::uint8_t> bytes) {
    const std::size_t bitCount = bytes.size() * 8;
    for (const ReadBitFlip& flip : plan_.readBitFlips) {
        if (flip.page != page) {
            continue;
        }
        for (std::uint32_t bit : flip.bits) {
            if (bit < bitCount) {
                bytes[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
            }
        }
    }
    if (bitCount != 0 && Draw(plan_.bitFlipRate)) {
        const std::size_t bit = random_() % bitCount;
        bytes[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
    }
}

bool FaultInjector::TearsNextOperation() {
    ++operations_;
    return plan_.powerCutAfterOperations && operations_ == *plan_.powerCutAfterOperations + 1;
}

std::size_t FaultInjector::TearPoint(std::size_t length) {
    return length == 0 ? 0 : static_cast<std::size_t>(random_() % length);
}

PacketFate FaultInjector::NextPacket() {
    ++packets_;
    PacketFate fate;
    fate.unanswered = Contains(plan_.unansweredPackets, packets_);
    for (const ShortReply& shortReply : plan_.shortReplies) {
        if (shortReply.packet == packets_) {
            fate.replyLength = shortReply.length;
        }
    }
    return fate;
}

}  // namespace player
