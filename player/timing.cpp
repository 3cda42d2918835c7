#include "player/timing.h"

#include <algorithm>

namespace player {

nanoseconds TimingModel::BusTransfer(std::size_t bytes) const {
    if (busBitsPerSecond == 0 || busPacketBytes == 0) {
        return nanoseconds(0);
    }
    const std::uint64_t packets = std::max<std::uint64_t>(1, (bytes + busPacketBytes - 1) / busPacketBytes);
    const std::uint64_t wireBits = (bytes + packets * busPacketOverheadBytes) * 8;
    return nanoseconds(wireBits * 1'000'000'000ULL / busBitsPerSecond);
}

}  // namespace player
