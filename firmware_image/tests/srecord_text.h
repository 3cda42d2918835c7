// Builds S-record lines for the tests: a record of any type, address and data with its checksum.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace firmware_image::testing {

inline std::string Hex(uint8_t byte) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", byte);
    return text;
}

inline std::string Record(char type, uint16_t address, std::vector<uint8_t> data) {
    const auto count = static_cast<uint8_t>(data.size() + 3);
    std::string line = std::string("S") + type + Hex(count);
    unsigned sum = count;
    for (const uint8_t byte : {static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)}) {
        line += Hex(byte);
        sum += byte;
    }
    for (const uint8_t byte : data) {
        line += Hex(byte);
        sum += byte;
    }
    return line + Hex(static_cast<uint8_t>(~sum)) + "\r\n";
}

inline std::span<const uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

}  // namespace firmware_image::testing
