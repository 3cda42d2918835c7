// The channel's transfers: overlapped writes and reads with a completion routine, an alertable wait
// of 1000 ms and cancellation on time-out; the library lock; control requests.
#include "library/channel.h"

#include <cstdint>
#include <cstring>

#include "library/channel_state.h"

namespace vxmp3 {

using namespace w32;

namespace {

constexpr DWORD kTransferTimeoutMs = 1000;

HANDLE ToEventField(ULONG value) {
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value));
}
ULONG FromEventField(HANDLE value) {
    return static_cast<ULONG>(reinterpret_cast<std::uintptr_t>(value));
}

void TransferDone(DWORD errorCode, DWORD bytesTransferred, LPOVERLAPPED overlapped) {
    ULONG expected = FromEventField(overlapped->hEvent);
    overlapped->hEvent = ToEventField(errorCode == 0 && bytesTransferred == expected ? 1 : 0);
    SetEvent(Channel().completion);
}

// Waits alertably, so that the completion routine runs on this thread, until the completion event
// is signalled or the time is up. Other user APCs end a wait early; it is then resumed.
bool WaitForCompletion(DWORD timeoutMs) {
    auto& channel = Channel();
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        DWORD result =
            WaitForSingleObjectEx(channel.completion, elapsed < timeoutMs ? timeoutMs - elapsed : 0, TRUE);
        if (result == WAIT_OBJECT_0) {
            return true;
        }
        if (result != WAIT_IO_COMPLETION) {
            return false;
        }
        if (WaitForSingleObject(channel.completion, 0) == WAIT_OBJECT_0) {
            return true;
        }
    }
}

// Starts one transfer of `length` bytes and waits for it. On time-out the request is cancelled and
// its completion routine is let run before returning, so that the buffer and the transfer record
// are no longer the device's when the caller goes on.
bool RunTransfer(const UCHAR* writeData, UCHAR* readData, ULONG length) {
    auto& channel = Channel();
    if (channel.device == INVALID_HANDLE_VALUE || channel.completion == nullptr) {
        return false;
    }
    channel.transfer.Offset = 0;
    channel.transfer.OffsetHigh = 0;
    channel.transfer.hEvent = ToEventField(length);
    ResetEvent(channel.completion);
    BOOL started = writeData != nullptr
                       ? WriteFileEx(channel.device, writeData, length, &channel.transfer, TransferDone)
                       : ReadFileEx(channel.device, readData, length, &channel.transfer, TransferDone);
    if (!started) {
        return false;
    }
    if (!WaitForCompletion(kTransferTimeoutMs)) {
        CancelIo(channel.device);
        WaitForCompletion(kTransferTimeoutMs);
        return false;
    }
    return FromEventField(channel.transfer.hEvent) == 1;
}

}  // namespace

ChannelState& Channel() {
    static ChannelState state;
    return state;
}

LibraryLock::LibraryLock() {
    EnterCriticalSection(&Channel().lock);
}

LibraryLock::~LibraryLock() {
    LeaveCriticalSection(&Channel().lock);
}

ULONG DccVersion() {
    return Channel().dccVersion;
}

bool WriteToDevice(const UCHAR* data, ULONG length) {
    if (data == nullptr) {
        return false;
    }
    return RunTransfer(data, nullptr, length);
}

bool ReadFromDevice(UCHAR* data, ULONG length) {
    auto& channel = Channel();
    if (data == nullptr) {
        return false;
    }
    if (length % UNIT_BYTES == 0) {
        return RunTransfer(nullptr, data, length);
    }
    // The device answers in whole 64-byte units; a shorter reply comes through the bounce buffer,
    // which a rounded request must not overrun.
    ULONG rounded = RoundUpToUnits(length);
    if (channel.bounceBuffer == nullptr || rounded > BOUNCE_BUFFER_BYTES) {
        return false;
    }
    if (!RunTransfer(nullptr, channel.bounceBuffer, rounded)) {
        return false;
    }
    std::memcpy(data, channel.bounceBuffer, length);
    return true;
}

bool SendPacket(const Packet& packet) {
    return WriteToDevice(packet.Data(), packet.Length());
}

bool Exchange(const Packet& packet, std::span<UCHAR> reply) {
    return SendPacket(packet) && ReadFromDevice(reply.data(), static_cast<ULONG>(reply.size()));
}

bool ReadParameterList(std::span<UCHAR, PARAMETER_LIST_BYTES> list) {
    return Exchange(DevicePacket(CMD_GET_PARAMETERS), list);
}

bool Control(DWORD code, void* input, DWORD inputSize, void* output, DWORD outputSize, DWORD* returned) {
    DWORD ignored = 0;
    return DeviceIoControl(Channel().device, code, input, inputSize, output, outputSize,
                           returned != nullptr ? returned : &ignored, nullptr) != FALSE;
}

}  // namespace vxmp3
