// The card commands: a thin layer over the MMC packets. The status byte of a reply (0 = success) is
// handed to the caller where the export has a parameter for it; a nonzero status or a failed
// exchange fails the export. None of them takes the library lock: the library's own callers hold it.
#include <array>
#include <cstring>
#include <span>

#include "library/VxMp3.h"
#include "library/card_commands.h"
#include "library/channel.h"

namespace vxmp3 {

namespace {

constexpr ULONG kRegisterOffset = WORD_BYTES;  // register bytes follow the status word
constexpr ULONG kStatusReplyBytes = WORD_BYTES;
constexpr ULONG kDetectCapacityOffset = 3;
constexpr ULONG kDetectPropertyOffset = 9;
constexpr ULONG kDetectEraseGroupOffset = 12;
constexpr ULONG kOcrBytes = 4;
// Reply lengths of the register reads.
constexpr ULONG kCidReplyBytes = 21;
constexpr ULONG kOcrReplyBytes = 9;
constexpr ULONG kCsdReplyBytes = 21;
constexpr ULONG kLastAddressableSector = 0xFFFFFFFFu / CARD_SECTOR_BYTES;
constexpr UCHAR kCardStatusOk = 0;

template <typename T>
void StoreIfGiven(T* out, T value) {
    if (out != nullptr) {
        *out = value;
    }
}

// Sends a card command whose reply starts with the card status byte. True when the exchange went
// through and the card reported success; the status is stored when the exchange went through.
bool ExchangeWithStatus(const Packet& packet, std::span<UCHAR> reply, UCHAR* status) {
    if (!Exchange(packet, reply)) {
        return false;
    }
    StoreIfGiven(status, reply[0]);
    return reply[0] == kCardStatusOk;
}

// A register read: a reply of `replyBytes` with the status byte, then the register's bytes, which
// are copied to `value` on success.
bool ReadRegister(UCHAR opcode, UCHAR card, ULONG replyBytes, std::span<UCHAR> value, UCHAR* status) {
    std::array<UCHAR, kCidReplyBytes> reply{};
    auto used = std::span<UCHAR>(reply).first(replyBytes);
    if (!ExchangeWithStatus(MmcPacket(opcode, card), used, status)) {
        return false;
    }
    std::memcpy(value.data(), used.data() + kRegisterOffset, value.size());
    return true;
}

// A block command followed by its data phase: a read of the reply or a write of the data.
bool ReadSectors(const Packet& packet, UCHAR* data, ULONG count) {
    return SendPacket(packet) && ReadFromDevice(data, count * CARD_SECTOR_BYTES);
}
bool WriteSectors(const Packet& packet, const UCHAR* data, ULONG count) {
    return SendPacket(packet) && WriteToDevice(data, count * CARD_SECTOR_BYTES);
}

}  // namespace

bool CardSectorsAddressable(ULONG first, ULONG count) {
    return count != 0 && first <= kLastAddressableSector && count - 1 <= kLastAddressableSector - first;
}

bool WriteZeroSectors(UCHAR card, ULONG first, ULONG count) {
    std::array<UCHAR, CARD_SECTOR_BYTES> zeros{};
    for (ULONG i = 0; i < count; ++i) {
        if (!VxMp3MMCWriteBlock(card, first + i, zeros.data())) {
            return false;
        }
    }
    return true;
}

}  // namespace vxmp3

using namespace vxmp3;

int VxMp3MMCDetectMedia(UCHAR card, ULONG* sectors, UCHAR* status, UCHAR* property, UCHAR* eraseGroup) {
    std::array<UCHAR, MMC_DETECT_REPLY_BYTES> reply{};
    bool present = ExchangeWithStatus(MmcPacket(MMC_DETECT, card), reply, status);
    StoreIfGiven(sectors, present ? ReplyLittleEndian(reply, kDetectCapacityOffset, 4) : 0);
    StoreIfGiven(property, present ? reply[kDetectPropertyOffset] : UCHAR{0});
    StoreIfGiven(eraseGroup, present ? reply[kDetectEraseGroupOffset] : DEFAULT_ERASE_GROUP_SECTORS);
    return present ? 1 : 0;
}

int VxMp3MMCReadStatus(UCHAR card, USHORT* cardStatus) {
    std::array<UCHAR, kStatusReplyBytes> reply{};
    if (!Exchange(MmcPacket(MMC_READ_STATUS, card), reply)) {
        return 0;
    }
    StoreIfGiven(cardStatus, static_cast<USHORT>(ReplyLittleEndian(reply, 0, 2)));
    return 1;
}

int VxMp3MMCReadCID(UCHAR card, _MMC_CID* cid, UCHAR* status) {
    _MMC_CID value{};
    if (!ReadRegister(MMC_READ_CID, card, kCidReplyBytes, value.bytes, status)) {
        return 0;
    }
    StoreIfGiven(cid, value);
    return 1;
}

int VxMp3MMCReadOCR(UCHAR card, ULONG* ocr, UCHAR* status) {
    std::array<UCHAR, kOcrBytes> value{};
    if (!ReadRegister(MMC_READ_OCR, card, kOcrReplyBytes, value, status)) {
        return 0;
    }
    StoreIfGiven(ocr, ReplyLittleEndian(value, 0, kOcrBytes));
    return 1;
}

int VxMp3MMCReadCSD(UCHAR card, _MMC_CSD* csd, UCHAR* status) {
    _MMC_CSD value{};
    if (!ReadRegister(MMC_READ_CSD, card, kCsdReplyBytes, value.bytes, status)) {
        return 0;
    }
    StoreIfGiven(csd, value);
    return 1;
}

int VxMp3MMCProgramCSD(UCHAR card, _MMC_CSD* csd, UCHAR* status) {
    if (csd == nullptr) {
        return 0;
    }
    std::array<UCHAR, kStatusReplyBytes> reply{};
    return ExchangeWithStatus(MmcProgramCsdPacket(card, csd->bytes), reply, status) ? 1 : 0;
}

int VxMp3MMCReadBlock(UCHAR card, ULONG sector, UCHAR* data) {
    if (data == nullptr || !CardSectorsAddressable(sector, 1)) {
        return 0;
    }
    return ReadSectors(MmcBlockPacket(MMC_READ_BLOCK, card, sector * CARD_SECTOR_BYTES), data, 1) ? 1 : 0;
}

int VxMp3MMCReadMultipleBlock(UCHAR card, ULONG sector, USHORT count, UCHAR* data) {
    if (count == 0) {
        return 1;
    }
    if (data == nullptr || !CardSectorsAddressable(sector, count)) {
        return 0;
    }
    return ReadSectors(MmcMultiplePacket(MMC_READ_MULTIPLE, card, sector * CARD_SECTOR_BYTES, count), data,
                       count)
               ? 1
               : 0;
}

int VxMp3MMCWriteBlock(UCHAR card, ULONG sector, UCHAR* data) {
    if (data == nullptr || !CardSectorsAddressable(sector, 1)) {
        return 0;
    }
    return WriteSectors(MmcBlockPacket(MMC_WRITE_BLOCK, card, sector * CARD_SECTOR_BYTES), data, 1) ? 1 : 0;
}

int VxMp3MMCWriteMultipleBlock(UCHAR card, ULONG sector, USHORT count, UCHAR* data) {
    if (count == 0) {
        return 1;
    }
    if (data == nullptr || !CardSectorsAddressable(sector, count)) {
        return 0;
    }
    return WriteSectors(MmcMultiplePacket(MMC_WRITE_MULTIPLE, card, sector * CARD_SECTOR_BYTES, count), data,
                        count)
               ? 1
               : 0;
}

int VxMp3MMCErase(UCHAR card, ULONG start, ULONG count, UCHAR* status) {
    if (count == 0) {
        StoreIfGiven(status, kCardStatusOk);
        return 1;
    }
    if (!CardSectorsAddressable(start, count)) {
        return 0;
    }
    std::array<UCHAR, kStatusReplyBytes> reply{};
    return ExchangeWithStatus(MmcErasePacket(card, start, count), reply, status) ? 1 : 0;
}
