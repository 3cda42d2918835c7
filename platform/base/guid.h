// GUIDs in Windows' layout, with the registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

struct GUID {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::array<std::uint8_t, 8> Data4{};

    friend auto operator<=>(const GUID&, const GUID&) = default;
};
static_assert(sizeof(GUID) == 16);

// Accepts the form with or without braces; nullopt for anything else.
std::optional<GUID> ParseGuid(std::string_view text);
// Upper-case hexadecimal with braces, as the registry stores class and interface ids.
std::string FormatGuid(const GUID& guid);

}  // namespace platform
