// How long the player's work takes, in simulated time. The model never reads a clock: every
// operation returns its duration, and the transport that carries the packets waits that long in the
// machine's virtual clock.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace player {

using std::chrono::nanoseconds;

// Time spent by one call into the player: on the device (flash and card busy times) and on the bus
// (moving the bytes). A transport with its own bus model waits only the device part.
struct ElapsedTime {
    nanoseconds device{0};
    nanoseconds bus{0};

    nanoseconds Total() const { return device + bus; }
    ElapsedTime& operator+=(const ElapsedTime& other) {
        device += other.device;
        bus += other.bus;
        return *this;
    }
    bool operator==(const ElapsedTime&) const = default;
};

// Defaults are those of a SmartMedia part of 2001 behind a full-speed USB function.
struct TimingModel {
    nanoseconds pageReadSetup = std::chrono::microseconds(25);
    nanoseconds pageReadPerByte = nanoseconds(50);
    nanoseconds pageProgram = std::chrono::microseconds(200);
    nanoseconds blockErase = std::chrono::milliseconds(2);
    nanoseconds cardSectorRead = std::chrono::microseconds(150);
    nanoseconds cardSectorWrite = std::chrono::microseconds(400);
    nanoseconds cardErase = std::chrono::milliseconds(3);
    std::uint64_t busBitsPerSecond = 12'000'000;
    std::size_t busPacketBytes = 64;
    // Token, sync, CRC and handshake that travel with each data packet.
    std::size_t busPacketOverheadBytes = 13;

    // A read of `bytes` from the flash: the array access, then the bytes clocked out.
    nanoseconds PageRead(std::size_t bytes) const { return pageReadSetup + pageReadPerByte * bytes; }
    // Moving `bytes` over the bus in packets; an empty transfer still takes one packet.
    nanoseconds BusTransfer(std::size_t bytes) const;
};

}  // namespace player
