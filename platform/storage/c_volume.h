// The system drive's volume, "\\.\C:". Programs open it to learn whether they may access disks
// raw; the data behind it (the C: folder) is reached through files, not through this handle.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/process.h"

namespace platform {

class Platform;

class CVolumeHandle : public HandleObject {
  public:
    const char* TypeName() const override { return "Volume"; }
};

// The device names of the C: volume: "C:" and "c:".
bool IsCVolumeName(std::string_view deviceName);

// Opens the C: volume with `access`. Windows 95, 98 and Me grant every open; the NT family grants
// reading or writing only to an administrator and answers anyone else with ERROR_ACCESS_DENIED.
std::shared_ptr<HandleObject> OpenCVolume(const Platform& platform, std::uint32_t access,
                                          std::uint32_t* error);

}  // namespace platform
