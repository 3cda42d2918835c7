#include "player/command_processor.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "player/word_protocol.h"

namespace player {
namespace {

constexpr std::size_t NAND_PAGE_DATA_BYTES = media_format::kPageDataBytes;
constexpr std::size_t BLOCK_STATUS_RECORD_BYTES = 6;
// The block status record is redundant-area bytes 4..9 of a block's first page.
constexpr std::size_t BLOCK_STATUS_RECORD_OFFSET = 4;
constexpr std::size_t MAX_SWALLOWED_DATA_BYTES = 65536;

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

std::vector<std::uint8_t> SerialReply(const std::string& serial) {
    std::vector<std::uint8_t> reply = MakeReply(UNIT_BYTES);
    const std::size_t length = std::min(serial.size(), MAX_SERIAL_BYTES);
    reply[0] = static_cast<std::uint8_t>(length);
    std::memcpy(reply.data() + WORD_BYTES, serial.data(), length);
    return reply;
}

bool NeedsChipIdCapability(const PlayerSettings& settings) {
    return settings.Parameter(PARAMETER_CAPABILITIES) > FIRST_FIRMWARE_VERSION;
}
// The miniport asks for the NAND serial from DCC version 258 and for the card serial above 256; the
// firmware has the commands from those versions on.
bool HasNandSerial(const PlayerSettings& settings) {
    return settings.DccVersion() >= 258;
}
bool HasCardSerial(const PlayerSettings& settings) {
    return settings.DccVersion() > FIRST_FIRMWARE_VERSION;
}

}  // namespace

struct CommandProcessor::Command {
    CommandClass commandClass;
    std::uint8_t opcode;
    const char* name;
    std::size_t packetLength;
    std::uint8_t flags;
    bool (*available)(const PlayerSettings&);  // nullptr: always there
    nanoseconds (CommandProcessor::*handler)(Packet);
};

const CommandProcessor::Command* CommandProcessor::FindCommand(std::uint8_t commandClass,
                                                               std::uint8_t opcode) {
    using Processor = CommandProcessor;
    constexpr std::uint8_t IN = FLAG_RETURNS_DATA;
    constexpr std::uint8_t OUT = FLAG_CARRIES_DATA;
    static const std::array<Command, 22> COMMANDS{{
        {CommandClass::DEVICE, CMD_GET_PARAMETERS, "CMD_GET_PARAMETERS", 3, 0, nullptr,
         &Processor::GetParameters},
        {CommandClass::DEVICE, CMD_GET_POWER_STATUS, "CMD_GET_POWER_STATUS", 3, 0, nullptr,
         &Processor::GetPowerStatus},
        {CommandClass::DEVICE, CMD_GET_CHIP_ID, "CMD_GET_CHIP_ID", 3, 0, NeedsChipIdCapability,
         &Processor::GetChipId},
        {CommandClass::NAND, NAND_WRITE_PAGE, "NAND_WRITE_PAGE", 15, OUT, nullptr, &Processor::NandWritePage},
        {CommandClass::NAND, NAND_WRITE_PAGES, "NAND_WRITE_PAGES", 21, OUT, nullptr,
         &Processor::NandWritePages},
        {CommandClass::NAND, NAND_READ_PAGES, "NAND_READ_PAGES", 21, IN, nullptr, &Processor::NandReadPages},
        {CommandClass::NAND, NAND_ERASE_BLOCK, "NAND_ERASE_BLOCK", 15, OUT, nullptr,
         &Processor::NandEraseBlock},
        {CommandClass::NAND, NAND_READ_ID, "NAND_READ_ID", 6, IN, nullptr, &Processor::NandReadId},
        {CommandClass::NAND, NAND_READ_BLOCK_STATUS, "NAND_READ_BLOCK_STATUS", 24, IN, nullptr,
         &Processor::NandReadBlockStatus},
        {CommandClass::NAND, NAND_READ_SERIAL, "NAND_READ_SERIAL", 6, 0, HasNandSerial,
         &Processor::NandReadSerial},
        {CommandClass::MMC, MMC_DETECT, "MMC_DETECT", 6, 0, nullptr, &Processor::MmcDetect},
        {CommandClass::MMC, MMC_READ_STATUS, "MMC_READ_STATUS", 6, 0, nullptr, &Processor::MmcReadStatus},
        {CommandClass::MMC, MMC_READ_CID, "MMC_READ_CID", 6, IN, nullptr, &Processor::MmcReadCid},
        {CommandClass::MMC, MMC_READ_OCR, "MMC_READ_OCR", 6, IN, nullptr, &Processor::MmcReadOcr},
        {CommandClass::MMC, MMC_READ_CSD, "MMC_READ_CSD", 6, IN, nullptr, &Processor::MmcReadCsd},
        {CommandClass::MMC, MMC_PROGRAM_CSD, "MMC_PROGRAM_CSD", 24, OUT, nullptr, &Processor::MmcProgramCsd},
        {CommandClass::MMC, MMC_READ_BLOCK, "MMC_READ_BLOCK", 12, IN, nullptr, &Processor::MmcRead},
        {CommandClass::MMC, MMC_READ_MULTIPLE, "MMC_READ_MULTIPLE", 15, IN, nullptr, &Processor::MmcRead},
        {CommandClass::MMC, MMC_WRITE_BLOCK, "MMC_WRITE_BLOCK", 12, OUT, nullptr, &Processor::MmcWrite},
        {CommandClass::MMC, MMC_WRITE_MULTIPLE, "MMC_WRITE_MULTIPLE", 15, OUT, nullptr, &Processor::MmcWrite},
        {CommandClass::MMC, MMC_ERASE, "MMC_ERASE", 18, OUT, nullptr, &Processor::MmcErase},
        {CommandClass::MMC, MMC_READ_SERIAL, "MMC_READ_SERIAL", 6, 0, HasCardSerial,
         &Processor::MmcReadSerial},
    }};
    for (const Command& command : COMMANDS) {
        if (static_cast<std::uint8_t>(command.commandClass) == commandClass && command.opcode == opcode) {
            return &command;
        }
    }
    return nullptr;
}

// ---- Transfers ----

nanoseconds CommandProcessor::HandleBulkOut(std::span<const std::uint8_t> bytes) {
    if (dataPhase_) {
        return HandleData(bytes);
    }
    return HandlePacket(bytes);
}

BulkInReply CommandProcessor::HandleBulkIn(std::size_t maxLength) {
    if (!replyPending_) {
        if (!replySuppressed_) {
            hardware_.RecordProtocolError(ProtocolErrorKind::READ_WITHOUT_REPLY,
                                          "read of " + std::to_string(maxLength) + " bytes");
        }
        return {};
    }
    const std::size_t length = std::min(maxLength, reply_.size() - replyOffset_);
    BulkInReply result{
        true,
        std::vector<std::uint8_t>(reply_.begin() + static_cast<std::ptrdiff_t>(replyOffset_),
                                  reply_.begin() + static_cast<std::ptrdiff_t>(replyOffset_ + length)),
        nanoseconds(0)};
    replyOffset_ += length;
    if (replyOffset_ == reply_.size()) {
        replyPending_ = false;
        reply_.clear();
        replyOffset_ = 0;
    }
    return result;
}

void CommandProcessor::HandleReset() {
    reply_.clear();
    replyOffset_ = 0;
    replyPending_ = false;
    replySuppressed_ = false;
    dataPhase_.reset();
}

nanoseconds CommandProcessor::HandlePacket(Packet packet) {
    fate_ = hardware_.Faults().NextPacket();
    replySuppressed_ = false;
    if (replyPending_) {
        hardware_.RecordProtocolError(ProtocolErrorKind::REPLY_DISCARDED,
                                      std::to_string(reply_.size() - replyOffset_) + " bytes not read");
        reply_.clear();
        replyOffset_ = 0;
        replyPending_ = false;
    }
    if (packet.size() < WORD_BYTES) {
        Refuse(ProtocolErrorKind::WRONG_LENGTH, "packet of " + std::to_string(packet.size()) + " bytes");
        return nanoseconds(0);
    }
    const Command* command = FindCommand(packet[1], packet[0]);
    if (command == nullptr || !IsAvailable(*command)) {
        Refuse(ProtocolErrorKind::UNKNOWN_COMMAND, "class " + Hex(packet[1]) + " opcode " + Hex(packet[0]));
        return nanoseconds(0);
    }
    if (!CheckFraming(*command, packet)) {
        return nanoseconds(0);
    }
    return (this->*command->handler)(packet);
}

bool CommandProcessor::IsAvailable(const Command& command) const {
    return command.available == nullptr || command.available(hardware_.Settings());
}

std::uint8_t CommandProcessor::ExpectedFlags(const Command& command) const {
    // Firmware up to DCC version 256 takes NAND packets with a zero flags byte.
    if (command.commandClass == CommandClass::NAND &&
        hardware_.Settings().DccVersion() <= FIRST_FIRMWARE_VERSION) {
        return 0;
    }
    return command.flags;
}

bool CommandProcessor::CheckFraming(const Command& command, Packet packet) {
    const bool strict = hardware_.Options().strict;
    if (packet.size() < command.packetLength || (strict && packet.size() != command.packetLength)) {
        Refuse(ProtocolErrorKind::WRONG_LENGTH, std::string(command.name) + " of " +
                                                    std::to_string(packet.size()) + " bytes, expected " +
                                                    std::to_string(command.packetLength));
        return false;
    }
    if (strict && packet[2] != ExpectedFlags(command)) {
        Refuse(ProtocolErrorKind::WRONG_FLAGS, std::string(command.name) + " with flags " + Hex(packet[2]) +
                                                   ", expected " + Hex(ExpectedFlags(command)));
        return false;
    }
    return true;
}

void CommandProcessor::Reply(std::vector<std::uint8_t> reply) {
    if (fate_.unanswered) {
        replySuppressed_ = true;
        return;
    }
    if (fate_.replyLength && *fate_.replyLength < reply.size()) {
        reply.resize(*fate_.replyLength);
    }
    if (!hardware_.PoweredOn()) {
        return;
    }
    reply_ = std::move(reply);
    replyOffset_ = 0;
    replyPending_ = !reply_.empty();
}

void CommandProcessor::ExpectData(DataPhase::Target target, std::uint64_t first, std::size_t bytes,
                                  bool discard) {
    // A refused command with an absurd length must not leave the player deaf for gigabytes: its data
    // are swallowed only when they are no more than one transfer buffer of the host.
    if (discard && bytes > MAX_SWALLOWED_DATA_BYTES) {
        return;
    }
    dataPhase_ = DataPhase{target, first, bytes, discard, 0, {}};
    dataPhase_->bytes.reserve(discard ? 0 : std::min(bytes, MAX_SWALLOWED_DATA_BYTES));
}

void CommandProcessor::Refuse(ProtocolErrorKind kind, std::string detail) {
    hardware_.RecordProtocolError(kind, std::move(detail));
}

nanoseconds CommandProcessor::HandleData(std::span<const std::uint8_t> bytes) {
    DataPhase& phase = *dataPhase_;
    const std::size_t remaining = phase.expectedBytes - phase.receivedBytes;
    if (bytes.size() > remaining) {
        Refuse(ProtocolErrorKind::DATA_PHASE_SIZE, "data write of " + std::to_string(bytes.size()) +
                                                       " bytes, expected at most " +
                                                       std::to_string(remaining));
        dataPhase_.reset();
        return nanoseconds(0);
    }
    phase.receivedBytes += bytes.size();
    if (!phase.discard) {
        phase.bytes.insert(phase.bytes.end(), bytes.begin(), bytes.end());
    }
    if (phase.receivedBytes != phase.expectedBytes) {
        return nanoseconds(0);
    }
    const DataPhase done = std::move(phase);
    dataPhase_.reset();
    if (done.discard) {
        return nanoseconds(0);
    }
    return done.target == DataPhase::Target::NAND_PAGES ? ProgramPages(done) : WriteSectors(done);
}

// ---- Device commands ----

nanoseconds CommandProcessor::GetParameters(Packet) {
    std::vector<std::uint8_t> reply = MakeReply(UNIT_BYTES);
    const auto& parameters = hardware_.Settings().parameters;
    const std::size_t count = std::min(parameters.size(), MAX_DEVICE_PARAMETERS);
    WriteWord(reply, 0, static_cast<std::uint32_t>(count));
    for (std::size_t i = 0; i < count; ++i) {
        WriteWord(reply, 1 + 2 * i, parameters[i].type);
        WriteWord(reply, 2 + 2 * i, parameters[i].value);
    }
    Reply(std::move(reply));
    return nanoseconds(0);
}

nanoseconds CommandProcessor::GetPowerStatus(Packet) {
    std::vector<std::uint8_t> reply = MakeReply(WORD_BYTES);
    WriteWord(reply, 0, hardware_.Settings().batteryLow ? 1 : 0);
    Reply(std::move(reply));
    return nanoseconds(0);
}

nanoseconds CommandProcessor::GetChipId(Packet) {
    std::vector<std::uint8_t> reply = MakeReply(WORD_BYTES);
    WriteLittleEndian(reply, 1, 2, ChipVariantId(hardware_.Settings().variant));
    Reply(std::move(reply));
    return nanoseconds(0);
}

// ---- NAND commands ----

const NandMedium* CommandProcessor::SelectedMedium(std::uint32_t selector) {
    if (selector != 0 || !hardware_.Medium()) {
        Refuse(ProtocolErrorKind::NO_MEDIUM, "no flash at selector " + std::to_string(selector));
        return nullptr;
    }
    return &*hardware_.Medium();
}

bool CommandProcessor::CheckPageRange(std::uint32_t byteAddress, std::uint64_t pages,
                                      std::uint64_t& firstPage) {
    if (byteAddress % NAND_PAGE_DATA_BYTES != 0) {
        Refuse(ProtocolErrorKind::BAD_FIELD, "byte address " + Hex(byteAddress) + " is not a page address");
        return false;
    }
    firstPage = byteAddress / NAND_PAGE_DATA_BYTES;
    if (pages == 0 || firstPage + pages > hardware_.Medium()->PageCount()) {
        Refuse(ProtocolErrorKind::OUT_OF_RANGE, std::to_string(pages) + " pages from page " +
                                                    std::to_string(firstPage) + " outside the medium");
        return false;
    }
    return true;
}

nanoseconds CommandProcessor::NandWritePage(Packet packet) {
    const std::uint32_t address = ReadLongWord(packet, 1);
    const std::uint32_t pageBytes = ReadWord(packet, 3);
    std::uint64_t page = 0;
    bool valid = SelectedMedium(ReadWord(packet, 4) & 0xFF) != nullptr;
    if (valid && pageBytes != PAGE_BYTES) {
        Refuse(ProtocolErrorKind::BAD_FIELD, "page size " + std::to_string(pageBytes));
        valid = false;
    }
    valid = valid && CheckPageRange(address, 1, page);
    ExpectData(DataPhase::Target::NAND_PAGES, page, PAGE_BYTES, !valid);
    return nanoseconds(0);
}

nanoseconds CommandProcessor::NandWritePages(Packet packet) {
    const std::uint32_t address = ReadLongWord(packet, 1);
    const std::uint32_t pageBytes = ReadWord(packet, 3);
    const std::uint32_t pages = ReadWord(packet, 4);
    const std::uint32_t units = ReadWord(packet, 5);
    std::uint64_t page = 0;
    bool valid = SelectedMedium(ReadWord(packet, 6) & 0xFF) != nullptr;
    if (valid && (pageBytes != PAGE_BYTES || units != UnitCount(std::size_t{pages} * PAGE_BYTES))) {
        Refuse(ProtocolErrorKind::BAD_FIELD,
               "page size " + std::to_string(pageBytes) + " with " + std::to_string(units) + " units");
        valid = false;
    }
    valid = valid && CheckPageRange(address, pages, page);
    ExpectData(DataPhase::Target::NAND_PAGES, page, std::size_t{pages} * PAGE_BYTES, !valid);
    return nanoseconds(0);
}

nanoseconds CommandProcessor::ProgramPages(const DataPhase& phase) {
    nanoseconds time(0);
    const std::size_t pages = phase.bytes.size() / PAGE_BYTES;
    for (std::size_t i = 0; i < pages && hardware_.PoweredOn(); ++i) {
        time += hardware_.ProgramPage(
            phase.first + i, std::span<const std::uint8_t>(phase.bytes).subspan(i * PAGE_BYTES, PAGE_BYTES));
    }
    return time;
}

nanoseconds CommandProcessor::NandReadPages(Packet packet) {
    const std::uint32_t address = ReadLongWord(packet, 1);
    const std::uint32_t pageBytes = ReadWord(packet, 3);
    const std::uint32_t pages = ReadWord(packet, 4);
    const std::uint32_t units = ReadWord(packet, 5);
    std::uint64_t page = 0;
    if (SelectedMedium(ReadWord(packet, 6) & 0xFF) == nullptr) {
        return nanoseconds(0);
    }
    if (pageBytes != PAGE_BYTES || units != UnitCount(std::size_t{pages} * PAGE_BYTES)) {
        Refuse(ProtocolErrorKind::BAD_FIELD,
               "page size " + std::to_string(pageBytes) + " with " + std::to_string(units) + " units");
        return nanoseconds(0);
    }
    if (!CheckPageRange(address, pages, page)) {
        return nanoseconds(0);
    }
    std::vector<std::uint8_t> reply = MakeReply(std::size_t{pages} * PAGE_BYTES);
    nanoseconds time(0);
    for (std::uint32_t i = 0; i < pages && hardware_.PoweredOn(); ++i) {
        time += hardware_.ReadPage(
            page + i, std::span<std::uint8_t, PAGE_BYTES>(reply.data() + i * PAGE_BYTES, PAGE_BYTES));
    }
    Reply(std::move(reply));
    return time;
}

nanoseconds CommandProcessor::NandEraseBlock(Packet packet) {
    const std::uint32_t address = ReadLongWord(packet, 1);
    const std::uint32_t pagesPerBlock = ReadWord(packet, 3);
    const NandMedium* medium = SelectedMedium(ReadWord(packet, 4) & 0xFF);
    if (medium == nullptr) {
        return nanoseconds(0);
    }
    const std::uint64_t blockBytes = std::uint64_t{medium->PagesPerBlock()} * NAND_PAGE_DATA_BYTES;
    if (pagesPerBlock != medium->PagesPerBlock() || address % blockBytes != 0) {
        Refuse(ProtocolErrorKind::BAD_FIELD,
               "erase at " + Hex(address) + " with " + std::to_string(pagesPerBlock) + " pages per block");
        return nanoseconds(0);
    }
    const std::uint64_t block = address / blockBytes;
    if (block >= medium->BlockCount()) {
        Refuse(ProtocolErrorKind::OUT_OF_RANGE, "block " + std::to_string(block) + " outside the medium");
        return nanoseconds(0);
    }
    bool failed = false;
    const nanoseconds time = hardware_.EraseBlock(static_cast<std::uint32_t>(block), failed);
    std::vector<std::uint8_t> reply = MakeReply(2 * WORD_BYTES);
    WriteWord(reply, 0, failed ? ERASE_STATUS_FAILED : ERASE_STATUS_OK);
    WriteWord(reply, 1, hardware_.TakeProgramFailures());
    Reply(std::move(reply));
    return time;
}

nanoseconds CommandProcessor::NandReadId(Packet packet) {
    const std::uint32_t selector = ReadWord(packet, 1) & 0xFF;
    std::vector<std::uint8_t> reply = MakeReply(2 * WORD_BYTES);
    const auto& medium = hardware_.Medium();
    if (selector == 0 && medium) {
        const NandId id = ReportedNandId(hardware_.Settings().nandId, medium->Geometry().megabytes);
        reply[3] = id.maker;
        reply[4] = id.device;
    } else {
        WriteWord(reply, 0, NAND_STATUS_NO_MEDIUM);
    }
    if (selector == 0) {
        reply[6] = hardware_.TakeMediumChanged() ? 1 : 0;
    }
    Reply(std::move(reply));
    return nanoseconds(0);
}

nanoseconds CommandProcessor::NandReadBlockStatus(Packet packet) {
    const std::uint32_t address = ReadLongWord(packet, 1);
    const std::uint32_t pageBytes = ReadWord(packet, 3);
    const std::uint32_t blocks = ReadWord(packet, 4);
    const std::uint32_t blockDataBytes = ReadWord(packet, 5);
    const std::uint32_t units = ReadWord(packet, 6);
    const NandMedium* medium = SelectedMedium(ReadWord(packet, 7) & 0xFF);
    if (medium == nullptr) {
        return nanoseconds(0);
    }
    const std::uint32_t expectedBlockBytes = medium->PagesPerBlock() * NAND_PAGE_DATA_BYTES;
    if (pageBytes != PAGE_BYTES || blockDataBytes != expectedBlockBytes ||
        address % expectedBlockBytes != 0 ||
        units != UnitCount(std::size_t{blocks} * BLOCK_STATUS_RECORD_BYTES)) {
        Refuse(ProtocolErrorKind::BAD_FIELD, "block status at " + Hex(address) + " with block size " +
                                                 std::to_string(blockDataBytes) + ", " +
                                                 std::to_string(units) + " units");
        return nanoseconds(0);
    }
    const std::uint64_t firstBlock = address / expectedBlockBytes;
    if (blocks == 0 || firstBlock + blocks > medium->BlockCount()) {
        Refuse(ProtocolErrorKind::OUT_OF_RANGE, std::to_string(blocks) + " blocks from block " +
                                                    std::to_string(firstBlock) + " outside the medium");
        return nanoseconds(0);
    }
    std::vector<std::uint8_t> reply = MakeReply(std::size_t{blocks} * BLOCK_STATUS_RECORD_BYTES);
    nanoseconds time(0);
    std::array<std::uint8_t, media_format::kRedundantBytes> area;
    for (std::uint32_t i = 0; i < blocks && hardware_.PoweredOn(); ++i) {
        time += hardware_.ReadRedundantArea((firstBlock + i) * medium->PagesPerBlock(), area);
        std::memcpy(reply.data() + std::size_t{i} * BLOCK_STATUS_RECORD_BYTES,
                    area.data() + BLOCK_STATUS_RECORD_OFFSET, BLOCK_STATUS_RECORD_BYTES);
    }
    Reply(std::move(reply));
    return time;
}

nanoseconds CommandProcessor::NandReadSerial(Packet packet) {
    if (SelectedMedium(ReadWord(packet, 1) & 0xFF) != nullptr) {
        Reply(SerialReply(hardware_.Settings().nandSerial));
    }
    return nanoseconds(0);
}

// ---- Card commands ----

MemoryCard* CommandProcessor::SelectedCard(Packet packet) {
    return (ReadWord(packet, 1) & 0xFF) == 0 ? hardware_.Card() : nullptr;
}

bool CommandProcessor::CheckSectorRange(std::uint32_t byteAddress, std::uint64_t sectors,
                                        std::uint32_t& firstSector) {
    if (byteAddress % CARD_SECTOR_BYTES != 0) {
        Refuse(ProtocolErrorKind::BAD_FIELD, "byte address " + Hex(byteAddress) + " is not a sector address");
        return false;
    }
    firstSector = byteAddress / CARD_SECTOR_BYTES;
    if (sectors == 0 || firstSector + sectors > hardware_.Card()->SectorCount()) {
        Refuse(ProtocolErrorKind::OUT_OF_RANGE, std::to_string(sectors) + " sectors from sector " +
                                                    std::to_string(firstSector) + " outside the card");
        return false;
    }
    return true;
}

nanoseconds CommandProcessor::MmcDetect(Packet packet) {
    std::vector<std::uint8_t> reply = MakeReply(16);
    if (const MemoryCard* card = SelectedCard(packet)) {
        WriteLittleEndian(reply, 3, 4, card->SectorCount());
        reply[9] = card->Registers().property;
        reply[12] = card->Registers().eraseGroupSectors;
    } else {
        reply[0] = CARD_STATUS_NO_CARD;
    }
    if ((ReadWord(packet, 1) & 0xFF) == 0) {
        reply[15] = hardware_.TakeCardChanged() ? 1 : 0;
    }
    Reply(std::move(reply));
    return nanoseconds(0);
}

nanoseconds CommandProcessor::MmcReadStatus(Packet packet) {
    std::vector<std::uint8_t> reply = MakeReply(WORD_BYTES);
    if (const MemoryCard* card = SelectedCard(packet)) {
        WriteLittleEndian(reply, 0, 2, card->Registers().status);
    }
    Reply(std::move(reply));
    return nanoseconds(0);
}

namespace {

// A register reply: status byte 0, the register's bytes from byte 3.
std::vector<std::uint8_t> RegisterReply(const MemoryCard* card, std::span<const std::uint8_t> value) {
    std::vector<std::uint8_t> reply = MakeReply(WORD_BYTES + value.size());
    if (card == nullptr) {
        reply[0] = CARD_STATUS_NO_CARD;
    } else {
        std::copy(value.begin(), value.end(), reply.begin() + WORD_BYTES);
    }
    return reply;
}

}  // namespace

nanoseconds CommandProcessor::MmcReadCid(Packet packet) {
    const MemoryCard* card = SelectedCard(packet);
    Reply(RegisterReply(card,
                        card ? std::span<const std::uint8_t>(card->Registers().cid) : CardRegisters{}.cid));
    return nanoseconds(0);
}

nanoseconds CommandProcessor::MmcReadOcr(Packet packet) {
    const MemoryCard* card = SelectedCard(packet);
    std::array<std::uint8_t, 4> ocr{};
    if (card != nullptr) {
        WriteLittleEndian(ocr, 0, 4, card->Registers().ocr);
    }
    Reply(RegisterReply(card, ocr));
    return nanoseconds(0);
}

nanoseconds CommandProcessor::MmcReadCsd(Packet packet) {
    const MemoryCard* card = SelectedCard(packet);
    Reply(RegisterReply(card,
                        card ? std::span<const std::uint8_t>(card->Registers().csd) : CardRegisters{}.csd));
    return nanoseconds(0);
}

nanoseconds CommandProcessor::MmcProgramCsd(Packet packet) {
    std::vector<std::uint8_t> reply = MakeReply(WORD_BYTES);
    MemoryCard* card = SelectedCard(packet);
    if (card == nullptr) {
        reply[0] = CARD_STATUS_NO_CARD;
    } else {
        auto& csd = card->Registers().csd;
        std::copy(packet.begin() + 6, packet.begin() + 6 + static_cast<std::ptrdiff_t>(csd.size()),
                  csd.begin());
    }
    Reply(std::move(reply));
    return hardware_.Options().timing.cardSectorWrite;
}

nanoseconds CommandProcessor::MmcRead(Packet packet) {
    const std::uint32_t address = ReadLittleEndian(packet, 6, 4);
    const std::uint32_t sectors = packet[0] == MMC_READ_BLOCK ? 1 : ReadLittleEndian(packet, 12, 2);
    std::uint32_t sector = 0;
    if (SelectedCard(packet) == nullptr) {
        Refuse(ProtocolErrorKind::NO_MEDIUM, "no card in the slot");
        return nanoseconds(0);
    }
    if (!CheckSectorRange(address, sectors, sector)) {
        return nanoseconds(0);
    }
    std::vector<std::uint8_t> reply = MakeReply(std::size_t{sectors} * CARD_SECTOR_BYTES);
    nanoseconds time(0);
    for (std::uint32_t i = 0; i < sectors && hardware_.PoweredOn(); ++i) {
        time += hardware_.ReadCardSector(
            sector + i, std::span<std::uint8_t, CARD_SECTOR_BYTES>(reply.data() + i * CARD_SECTOR_BYTES,
                                                                   CARD_SECTOR_BYTES));
    }
    Reply(std::move(reply));
    return time;
}

nanoseconds CommandProcessor::MmcWrite(Packet packet) {
    const std::uint32_t address = ReadLittleEndian(packet, 6, 4);
    const std::uint32_t sectors = packet[0] == MMC_WRITE_BLOCK ? 1 : ReadLittleEndian(packet, 12, 2);
    std::uint32_t sector = 0;
    bool valid = SelectedCard(packet) != nullptr;
    if (!valid) {
        Refuse(ProtocolErrorKind::NO_MEDIUM, "no card in the slot");
    }
    valid = valid && CheckSectorRange(address, sectors, sector);
    ExpectData(DataPhase::Target::CARD_SECTORS, sector, std::size_t{sectors} * CARD_SECTOR_BYTES, !valid);
    return nanoseconds(0);
}

nanoseconds CommandProcessor::WriteSectors(const DataPhase& phase) {
    nanoseconds time(0);
    const std::size_t sectors = phase.bytes.size() / CARD_SECTOR_BYTES;
    for (std::size_t i = 0; i < sectors && hardware_.PoweredOn(); ++i) {
        time += hardware_.WriteCardSector(static_cast<std::uint32_t>(phase.first + i),
                                          std::span<const std::uint8_t, CARD_SECTOR_BYTES>(
                                              phase.bytes.data() + i * CARD_SECTOR_BYTES, CARD_SECTOR_BYTES));
    }
    return time;
}

nanoseconds CommandProcessor::MmcErase(Packet packet) {
    const std::uint32_t firstAddress = ReadLittleEndian(packet, 6, 4);
    const std::uint32_t lastAddress = ReadLittleEndian(packet, 12, 4);
    std::vector<std::uint8_t> reply = MakeReply(WORD_BYTES);
    MemoryCard* card = SelectedCard(packet);
    nanoseconds time(0);
    if (card == nullptr) {
        reply[0] = CARD_STATUS_NO_CARD;
    } else if (firstAddress % CARD_SECTOR_BYTES != 0 || lastAddress % CARD_SECTOR_BYTES != 0 ||
               firstAddress > lastAddress || lastAddress / CARD_SECTOR_BYTES >= card->SectorCount()) {
        reply[0] = CARD_STATUS_ADDRESS_ERROR;
    } else {
        time = hardware_.EraseCardSectors(firstAddress / CARD_SECTOR_BYTES, lastAddress / CARD_SECTOR_BYTES);
    }
    Reply(std::move(reply));
    return time;
}

nanoseconds CommandProcessor::MmcReadSerial(Packet packet) {
    if (const MemoryCard* card = SelectedCard(packet)) {
        Reply(SerialReply(card->Registers().serial));
    } else {
        Refuse(ProtocolErrorKind::NO_MEDIUM, "no card in the slot");
    }
    return nanoseconds(0);
}

}  // namespace player
