// Faults the player can be told to show, all deterministic: an explicit list, rates drawn from one
// seeded source per player, or both. A plan with nothing in it costs a few comparisons per operation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <vector>

namespace player {

// Bits of a page that read back flipped: bit numbers within its 528 bytes (byte = bit / 8). The cells
// are weak, so every read of the page shows the flips; the stored page is unchanged.
struct ReadBitFlip {
    std::uint64_t page;
    std::vector<std::uint32_t> bits;
};

// A block that wears out: its erases after the first `erases` fail, and so do its programs.
struct WearOut {
    std::uint32_t block;
    std::uint32_t erases;
};

// The reply to command packet number `packet` (counted from 1) is cut to `length` bytes.
struct ShortReply {
    std::uint64_t packet;
    std::size_t length;
};

struct FaultPlan {
    std::vector<std::uint32_t> eraseFailures;    // blocks whose every erase fails
    std::vector<std::uint64_t> programFailures;  // pages whose every program fails
    std::vector<ReadBitFlip> readBitFlips;
    std::vector<WearOut> wearOuts;
    std::vector<std::uint64_t> unansweredPackets;  // command packets (from 1) whose reply never comes
    std::vector<ShortReply> shortReplies;
    // After this many medium operations the next one is torn and the player loses power.
    std::optional<std::uint64_t> powerCutAfterOperations;
    // Per-operation probabilities, drawn from the player's seeded source.
    double eraseFailureRate = 0.0;
    double programFailureRate = 0.0;
    double bitFlipRate = 0.0;  // a read of a page shows one flipped bit at a random position
};

// What the fault plan does to one command packet.
struct PacketFate {
    bool unanswered = false;
    std::optional<std::size_t> replyLength;  // cut the reply to this many bytes
};

class FaultInjector {
  public:
    FaultInjector(FaultPlan plan, std::uint64_t seed);

    // Counts the erase of `block`; true when it fails.
    bool EraseFails(std::uint32_t block);
    // For a program of `page` in `block` that fails: how many of its `length` bytes were programmed.
    std::optional<std::size_t> ProgramFailure(std::uint64_t page, std::uint32_t block, std::size_t length);
    // Flips the bits of a page just read.
    void ApplyReadFaults(std::uint64_t page, std::span<std::uint8_t> bytes);
    // Counts one medium operation; true when it is the one that the power cut tears.
    bool TearsNextOperation();
    // Where a torn operation stops: a number in [0, length).
    std::size_t TearPoint(std::size_t length);
    // Counts one command packet and tells what becomes of its reply.
    PacketFate NextPacket();

    std::uint64_t PacketCount() const { return packets_; }
    std::uint64_t OperationCount() const { return operations_; }
    // Erases counted so far of a block that the plan wears out (0 for any other block).
    std::uint32_t EraseCount(std::uint32_t block) const;

  private:
    bool Draw(double rate);
    bool IsWornOut(std::uint32_t block) const;

    FaultPlan plan_;
    std::mt19937_64 random_;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> eraseCounts_;  // (block, erases) of worn blocks
    std::uint64_t packets_ = 0;
    std::uint64_t operations_ = 0;
};

}  // namespace player
