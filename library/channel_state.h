// The process-wide channel state, shared by the transfer and the open/close code of the channel.
#pragma once

#include "platform/win32/win32.h"

namespace vxmp3 {

inline constexpr w32::DWORD BOUNCE_BUFFER_BYTES = 4096;

struct ChannelState {
    w32::HANDLE device = w32::INVALID_HANDLE_VALUE;
    // Manual reset; the completion routine signals it.
    w32::HANDLE completion = nullptr;
    w32::UCHAR* bounceBuffer = nullptr;
    // The record of every write and read. Its event field carries the expected byte count into the
    // completion routine and the transfer result (1 or 0) back out.
    w32::OVERLAPPED transfer{};
    w32::ULONG dccVersion = 0;
    w32::CRITICAL_SECTION lock{};
};

ChannelState& Channel();

// A control request on the channel, waiting for its completion.
bool Control(w32::DWORD code, void* input, w32::DWORD inputSize, void* output, w32::DWORD outputSize,
             w32::DWORD* returned);

}  // namespace vxmp3
