#include "platform/storage/c_volume.h"

#include "platform/base/status.h"
#include "platform/platform.h"

namespace platform {

namespace {

constexpr std::uint32_t kGenericRead = 0x80000000;
constexpr std::uint32_t kGenericWrite = 0x40000000;

}  // namespace

bool IsCVolumeName(std::string_view deviceName) {
    return deviceName == "C:" || deviceName == "c:";
}

std::shared_ptr<HandleObject> OpenCVolume(const Platform& platform, std::uint32_t access,
                                          std::uint32_t* error) {
    const bool dataAccess = (access & (kGenericRead | kGenericWrite)) != 0;
    if (platform.IsNtFamily() && dataAccess && !platform.UserIsAdministrator()) {
        *error = win::ERROR_ACCESS_DENIED;
        return nullptr;
    }
    *error = win::ERROR_SUCCESS;
    return std::make_shared<CVolumeHandle>();
}

}  // namespace platform
