// Arbitrary text as a REGEDIT4 file: no crash; a file that loads saves to text that loads again
// to the same tree, and a file that does not load leaves the registry as it was.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/registry/registry.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    platform::Registry registry;
    const std::string before =
        registry.SaveRegedit4("HKEY_LOCAL_MACHINE") + registry.SaveRegedit4("HKEY_USERS");
    auto result = registry.LoadRegedit4(text);
    const std::string machine = registry.SaveRegedit4("HKEY_LOCAL_MACHINE");
    const std::string users = registry.SaveRegedit4("HKEY_USERS");
    if (!result.ok) {
        Require(result.line >= 1 && !result.reason.empty());
        Require(machine + users == before);
        return 0;
    }
    platform::Registry again;
    Require(again.LoadRegedit4(machine).ok);
    Require(again.LoadRegedit4(users).ok);
    Require(again.SaveRegedit4("HKEY_LOCAL_MACHINE") == machine);
    Require(again.SaveRegedit4("HKEY_USERS") == users);
    return 0;
}
