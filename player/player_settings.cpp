#include "player/player_settings.h"

namespace player {

std::uint32_t PlayerSettings::Parameter(std::uint32_t type) const {
    for (const DeviceParameter& parameter : parameters) {
        if (parameter.type == type) {
            return parameter.value;
        }
    }
    return 0;
}

}  // namespace player
