#include "platform/base/guid.h"

#include <cstdio>

namespace platform {

namespace {

std::optional<std::uint64_t> ParseHex(std::string_view text) {
    std::uint64_t value = 0;
    for (char c : text) {
        int digit = (c >= '0' && c <= '9')   ? c - '0'
                    : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                    : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                             : -1;
        if (digit < 0) {
            return std::nullopt;
        }
        value = value << 4 | static_cast<std::uint64_t>(digit);
    }
    return value;
}

}  // namespace

std::optional<GUID> ParseGuid(std::string_view text) {
    if (text.size() == 38 && text.front() == '{' && text.back() == '}') {
        text = text.substr(1, 36);
    }
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') {
        return std::nullopt;
    }
    auto d1 = ParseHex(text.substr(0, 8));
    auto d2 = ParseHex(text.substr(9, 4));
    auto d3 = ParseHex(text.substr(14, 4));
    auto d4a = ParseHex(text.substr(19, 4));
    auto d4b = ParseHex(text.substr(24, 12));
    if (!d1 || !d2 || !d3 || !d4a || !d4b) {
        return std::nullopt;
    }
    GUID guid;
    guid.Data1 = static_cast<std::uint32_t>(*d1);
    guid.Data2 = static_cast<std::uint16_t>(*d2);
    guid.Data3 = static_cast<std::uint16_t>(*d3);
    guid.Data4[0] = static_cast<std::uint8_t>(*d4a >> 8);
    guid.Data4[1] = static_cast<std::uint8_t>(*d4a);
    for (int i = 0; i < 6; ++i) {
        guid.Data4[static_cast<std::size_t>(2 + i)] = static_cast<std::uint8_t>(*d4b >> (40 - 8 * i));
    }
    return guid;
}

std::string FormatGuid(const GUID& guid) {
    char text[39];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.Data1,
                  guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3],
                  guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

}  // namespace platform
