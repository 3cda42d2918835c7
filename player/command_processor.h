// The normal-mode firmware with its DCC running: the command processor that answers every device,
// NAND and card command packet with the protocol's reply layouts in 64-byte units. Malformed input is
// answered as the device answers it, by not answering, and is recorded as a protocol error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "player/faults.h"
#include "player/firmware.h"
#include "player/hardware.h"

namespace player {

// Card status bytes of the replies that carry one.
inline constexpr std::uint8_t CARD_STATUS_OK = 0x00;
inline constexpr std::uint8_t CARD_STATUS_NO_CARD = 0x01;
inline constexpr std::uint8_t CARD_STATUS_ADDRESS_ERROR = 0x02;

// Erase reply word 0; word 1 counts the page programs that failed since the previous erase reply.
inline constexpr std::uint32_t ERASE_STATUS_OK = 0;
inline constexpr std::uint32_t ERASE_STATUS_FAILED = 1;

// NAND_READ_ID status when no flash answers at the selector.
inline constexpr std::uint32_t NAND_STATUS_NO_MEDIUM = 1;

// Serial numbers are reported with at most this many bytes.
inline constexpr std::size_t MAX_SERIAL_BYTES = 20;

class CommandProcessor : public Firmware {
  public:
    explicit CommandProcessor(PlayerHardware& hardware) : hardware_(hardware) {}

    nanoseconds HandleBulkOut(std::span<const std::uint8_t> bytes) override;
    BulkInReply HandleBulkIn(std::size_t maxLength) override;
    void HandleReset() override;

  private:
    using Packet = std::span<const std::uint8_t>;
    struct Command;
    static const Command* FindCommand(std::uint8_t commandClass, std::uint8_t opcode);

    // A data phase that a write command expects after its packet.
    struct DataPhase {
        enum class Target { NAND_PAGES, CARD_SECTORS };
        Target target;
        std::uint64_t first;  // first page or sector
        std::size_t expectedBytes;
        bool discard;  // the command was refused: take its data and drop them
        std::size_t receivedBytes;
        std::vector<std::uint8_t> bytes;
    };

    nanoseconds HandlePacket(Packet packet);
    nanoseconds HandleData(std::span<const std::uint8_t> bytes);
    bool IsAvailable(const Command& command) const;
    bool CheckFraming(const Command& command, Packet packet);
    std::uint8_t ExpectedFlags(const Command& command) const;

    void Reply(std::vector<std::uint8_t> reply);
    void ExpectData(DataPhase::Target target, std::uint64_t first, std::size_t bytes, bool discard);
    void Refuse(ProtocolErrorKind kind, std::string detail);

    // NAND helpers: the medium when the selector names it, else a recorded refusal.
    const NandMedium* SelectedMedium(std::uint32_t selector);
    bool CheckPageRange(std::uint32_t byteAddress, std::uint64_t pages, std::uint64_t& firstPage);
    MemoryCard* SelectedCard(Packet packet);
    bool CheckSectorRange(std::uint32_t byteAddress, std::uint64_t sectors, std::uint32_t& firstSector);

    nanoseconds GetParameters(Packet packet);
    nanoseconds GetPowerStatus(Packet packet);
    nanoseconds GetChipId(Packet packet);
    nanoseconds NandWritePage(Packet packet);
    nanoseconds NandWritePages(Packet packet);
    nanoseconds NandReadPages(Packet packet);
    nanoseconds NandEraseBlock(Packet packet);
    nanoseconds NandReadId(Packet packet);
    nanoseconds NandReadBlockStatus(Packet packet);
    nanoseconds NandReadSerial(Packet packet);
    nanoseconds MmcDetect(Packet packet);
    nanoseconds MmcReadStatus(Packet packet);
    nanoseconds MmcReadCid(Packet packet);
    nanoseconds MmcReadOcr(Packet packet);
    nanoseconds MmcReadCsd(Packet packet);
    nanoseconds MmcProgramCsd(Packet packet);
    nanoseconds MmcRead(Packet packet);
    nanoseconds MmcWrite(Packet packet);
    nanoseconds MmcErase(Packet packet);
    nanoseconds MmcReadSerial(Packet packet);

    nanoseconds ProgramPages(const DataPhase& phase);
    nanoseconds WriteSectors(const DataPhase& phase);

    PlayerHardware& hardware_;
    std::vector<std::uint8_t> reply_;
    std::size_t replyOffset_ = 0;
    bool replyPending_ = false;
    bool replySuppressed_ = false;  // the fault plan swallowed the reply: reads go unanswered quietly
    PacketFate fate_;
    std::optional<DataPhase> dataPhase_;
};

}  // namespace player
