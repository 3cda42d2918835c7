#include "machine/configuration.h"

namespace machine {

std::uint32_t TotalKiloBytesReserved(platform::Registry& registry) {
    auto params = registry.OpenPath(kParamsKeyPath);
    auto value = params ? registry.QueryValue(params, "TotalKiloBytesReserved") : std::nullopt;
    return value ? value->AsDword().value_or(0) : 0;
}

}  // namespace machine
