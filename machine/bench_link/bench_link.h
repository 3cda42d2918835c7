// The bench link: a small kernel driver that presents a player's firmware directly as its
// control device, without USB. It answers the user-mode control codes as the USB driver does and
// carries command packets by write and read requests, each taking the player's simulated time.
// It lets the library run against a player before the USB stack exists, and keeps its tests fast.
#pragma once

#include <optional>

#include "platform/kernel/kernel.h"
#include "player/player.h"

namespace machine {

class BenchLink {
  public:
    static constexpr const char* kDriverName = "RpxBenchLink";

    // Registers and loads the driver in the kernel of the calling thread's machine.
    static bool Install(platform::Kernel& kernel);
    // Presents a player as the next free unit: "\Device\ZPRPX73u<unit>" with its link, and the
    // "ZPRPX73r<unit>" link on the NT family and Windows Me. The player must outlive the unit.
    static std::optional<unsigned> Attach(platform::Kernel& kernel, player::Player& player);
    // The player leaves: requests in flight fail, later ones too, and the names disappear.
    static void Unplug(platform::Kernel& kernel, unsigned unit);
};

}  // namespace machine
