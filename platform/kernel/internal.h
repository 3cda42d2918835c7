// Helpers the kernel's own files share: names from counted strings, the calling thread's kernel.
#pragma once

#include <string>

#include "platform/kernel/kernel.h"

namespace platform::kernel_detail {

// The ANSI text of a counted UTF-16 name; empty for a missing one.
std::string NameOf(const wdm::UNICODE_STRING* name);
// The tag as its four characters ("VxSc").
std::string TagText(wdm::ULONG tag);
std::string Hex(const void* address);
constexpr bool IsError(wdm::NTSTATUS status) {
    return (static_cast<std::uint32_t>(status) >> 30) == 3;
}

}  // namespace platform::kernel_detail
