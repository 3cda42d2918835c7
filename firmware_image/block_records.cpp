#include "firmware_image/block_records.h"

#include "firmware_image/allocation_guard.h"

namespace firmware_image {

namespace {

struct MemorySpace {
    uint8_t memoryType;  // as the S0 record names it
    uint8_t memoryCode;  // as the device's block header names it
    std::size_t wordBytes;
};
constexpr MemorySpace kMemorySpaces[] = {
    {1, 2, kDeviceWordBytes},
    {2, 1, kDeviceWordBytes},
    {3, 3, 2 * kDeviceWordBytes},
    {4, 4, kDeviceWordBytes},
};

const MemorySpace* MemorySpaceOf(std::optional<uint8_t> memoryType) {
    for (const auto& space : kMemorySpaces) {
        if (memoryType == space.memoryType) {
            return &space;
        }
    }
    return nullptr;
}

std::array<uint8_t, 2> LittleEndian16(uint32_t value) {
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
}

}  // namespace

BlockHeaderResult BlockHeaderOf(const SRecord& record, std::optional<uint8_t> memoryType,
                                const ImageOptions& options) {
    const MemorySpace* space = MemorySpaceOf(memoryType);
    if (space == nullptr && options.unknownMemoryType == UnknownMemoryType::REJECT) {
        return {ImageStatus::UNKNOWN_MEMORY_TYPE, {}};
    }
    const uint32_t memoryCode = space != nullptr ? space->memoryCode : record.address & 0xFFu;
    const std::size_t wordBytes = space != nullptr ? space->wordBytes : kDeviceWordBytes;
    const std::size_t dataBytes = record.Data().size();
    // The device reads a block's data by its word count: a partial word would be taken as the
    // start of the next header.
    if (dataBytes % wordBytes != 0) {
        return {ImageStatus::PARTIAL_WORD, {}};
    }
    BlockRecordHeader header{};
    header.address = LittleEndian16(record.address);
    header.memoryCode = static_cast<uint8_t>(memoryCode << 4);
    header.wordCount = LittleEndian16(static_cast<uint32_t>(dataBytes / wordBytes));
    header.last = options.headerByte5;
    return {ImageStatus::OK, header};
}

void ReverseByteGroups(std::span<uint8_t> bytes) {
    for (std::size_t at = 0; at + kDeviceWordBytes <= bytes.size(); at += kDeviceWordBytes) {
        std::swap(bytes[at], bytes[at + 2]);
    }
}

ImageBody ConvertSRecords(std::span<const uint8_t> text, std::span<const uint8_t> companion,
                          const ImageOptions& options) {
    return WithoutAllocationFailure<ImageBody>([&] {
        ImageBody body;
        // A record of length byte c takes at least 2c + 4 characters and becomes c + 3 bytes, so
        // the block records never outgrow the text: the buffer is sized once, from the input.
        body.bytes.reserve(companion.size() + text.size() + kTerminator.size());
        body.bytes.assign(companion.begin(), companion.end());

        SRecordScanner scanner(text);
        SRecord record;
        std::optional<uint8_t> memoryType;
        bool anyDataRecord = false;
        while (scanner.Next(record)) {
            switch (record.type) {
                case RecordType::S0:
                    // The last digit of the address field.
                    memoryType = static_cast<uint8_t>(record.address & 0x0F);
                    break;
                case RecordType::S1: {
                    const BlockHeaderResult header = BlockHeaderOf(record, memoryType, options);
                    if (header.status != ImageStatus::OK) {
                        return ImageBody{header.status, {}, {}};
                    }
                    const auto* headerBytes = reinterpret_cast<const uint8_t*>(&header.header);
                    body.bytes.insert(body.bytes.end(), headerBytes, headerBytes + sizeof header.header);
                    const auto data = record.Data();
                    body.bytes.insert(body.bytes.end(), data.begin(), data.end());
                    anyDataRecord = true;
                    break;
                }
                case RecordType::S9:
                    body.version = VersionOfEndRecord(record);
                    break;
            }
        }
        if (scanner.Status() != ImageStatus::OK) {
            return ImageBody{scanner.Status(), {}, {}};
        }
        if (!anyDataRecord) {
            return ImageBody{ImageStatus::NO_DATA_RECORDS, {}, {}};
        }
        if (body.bytes.size() % kDeviceWordBytes != 0) {
            return ImageBody{ImageStatus::PARTIAL_WORD, {}, {}};
        }
        if (options.reverseByteGroups) {
            ReverseByteGroups(body.bytes);
        }
        body.bytes.insert(body.bytes.end(), kTerminator.begin(), kTerminator.end());
        return body;
    });
}

}  // namespace firmware_image
