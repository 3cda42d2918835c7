#include "machine/default_configuration.h"

#include <filesystem>
#include <system_error>

#include "firmware_image/samples/sample_folder.h"
#include "machine/configuration.h"

namespace machine {

bool LoadDefaultConfiguration(platform::Platform& pc, std::string* error) {
    auto result = pc.Reg().LoadRegedit4(DefaultConfiguration());
    if (!result.ok) {
        *error = "default configuration: " + result.Message();
    }
    return result.ok;
}

std::string CreateInstallFolder(platform::Platform& pc) {
    auto& registry = pc.Reg();
    auto params = registry.OpenPath(ParamsKeyFullPath());
    auto value = params ? registry.QueryValue(params, "Install Folder") : std::nullopt;
    if (!value || value->type != platform::REG_SZ) {
        return {};
    }
    std::string folder = value->AsString();
    auto hostPath = pc.Drive().Resolve(folder);
    std::error_code error;
    if (folder.empty() || !hostPath || (!std::filesystem::create_directories(*hostPath, error) && error)) {
        return {};
    }
    // The sample firmware set, so that the machine has firmware to update a player with; files
    // already there (a machine booted over an existing C: drive) are kept. A failed copy leaves
    // the folder without them, which the programs report as a missing file.
    std::filesystem::copy(
        firmware_image::kSampleFirmwareFolder, *hostPath,
        std::filesystem::copy_options::skip_existing | std::filesystem::copy_options::recursive, error);
    return folder;
}

}  // namespace machine
