#include "machine/default_configuration.h"

#include <filesystem>
#include <system_error>

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
    return folder;
}

}  // namespace machine
