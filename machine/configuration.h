// Where the machine keeps the product's configuration, and the values rpxsim reads of it.
#pragma once

#include <cstdint>

#include "platform/registry/registry.h"

namespace machine {

inline constexpr const char* kParamsKeyPath =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Zephtal\\Zephtal RPX-7300 MP3 Player\\Params";

// "TotalKiloBytesReserved" of the Params key; 0 when absent or not a DWORD.
std::uint32_t TotalKiloBytesReserved(platform::Registry& registry);

}  // namespace machine
