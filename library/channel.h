// The library's channel to the player's control device: the process-wide channel state, the
// library lock, and the packet transfers that every export builds on.
#pragma once

#include <span>

#include "library/packets.h"
#include "platform/base/types.h"

namespace vxmp3 {

using namespace win;

// Holds the library lock for its scope. The exports of the locked group take it around their
// packet exchanges so that a packet and its reply are never interleaved with another's. While
// the channel has never been opened (or after a close) the lock does not exist and the guard
// does nothing; every transfer then fails on the closed handle.
class LibraryLock {
  public:
    LibraryLock();
    ~LibraryLock();
    LibraryLock(const LibraryLock&) = delete;
    LibraryLock& operator=(const LibraryLock&) = delete;
};

// The DCC version read at open (0 until read, and after a close).
ULONG DccVersion();

// One write of exactly `length` bytes: 1 when the device took them all within 1000 ms.
bool WriteToDevice(const UCHAR* data, ULONG length);
// One read of a reply of `length` bytes. A length that is not a multiple of 64 is read rounded up
// through the 4096-byte bounce buffer and must round up to at most 4096 bytes; longer replies are
// read by their callers in whole units. True only when the device delivered every byte asked.
bool ReadFromDevice(UCHAR* data, ULONG length);

// Sends a packet.
bool SendPacket(const Packet& packet);
// Sends a packet and reads its reply of reply.size() bytes.
bool Exchange(const Packet& packet, std::span<UCHAR> reply);

// CMD_GET_PARAMETERS: success when the write and the 64-byte read succeed.
bool ReadParameterList(std::span<UCHAR, PARAMETER_LIST_BYTES> list);

}  // namespace vxmp3
