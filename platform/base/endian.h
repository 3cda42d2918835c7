// Little- and big-endian loads and stores on byte buffers, including the 24-bit words of the
// player's command protocol. They read byte by byte, so any alignment is fine.
#pragma once

#include <cstdint>

namespace platform {

inline std::uint16_t LoadLe16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
inline std::uint32_t LoadLe24(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16;
}
inline std::uint32_t LoadLe32(const std::uint8_t* p) {
    return LoadLe24(p) | static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::uint64_t LoadLe64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(LoadLe32(p)) | static_cast<std::uint64_t>(LoadLe32(p + 4)) << 32;
}
inline std::uint16_t LoadBe16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}
inline std::uint32_t LoadBe32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
}

inline void StoreLe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void StoreLe24(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
}
inline void StoreLe32(std::uint8_t* p, std::uint32_t v) {
    StoreLe24(p, v);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}
inline void StoreLe64(std::uint8_t* p, std::uint64_t v) {
    StoreLe32(p, static_cast<std::uint32_t>(v));
    StoreLe32(p + 4, static_cast<std::uint32_t>(v >> 32));
}
inline void StoreBe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}
inline void StoreBe32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

}  // namespace platform
