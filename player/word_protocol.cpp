#include "player/word_protocol.h"

namespace player {

std::uint32_t ReadLittleEndian(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        if (offset + i < bytes.size()) {
            value |= static_cast<std::uint32_t>(bytes[offset + i]) << (8 * i);
        }
    }
    return value;
}

void WriteLittleEndian(std::span<std::uint8_t> bytes, std::size_t offset, std::size_t width,
                       std::uint32_t value) {
    for (std::size_t i = 0; i < width && offset + i < bytes.size(); ++i) {
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

}  // namespace player
